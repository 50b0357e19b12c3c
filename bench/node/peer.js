// SPDX-License-Identifier: MIT
// Node.js peer of promfmt's benchmark. In one process, each workload in turn
// and the writers in a shuffled order, it times CPU with process.cpuUsage():
//
//   node           prom-client 15's `await registry.metrics()` and the
//                  conversion to bytes, on a registry of Gauges holding the
//                  workload's series (each sample's labels an object in the
//                  workload's order);
//   node_promfmt   promfmt's Writer, per-sample calls (help, type, sample)
//                  over the same objects, into a reused writer, to bytes;
//   node_promfmt_json  the same calls with each series' labels as JSON text
//                  built once, before the scrapes (the Writer's third form);
//   node_bridge    promfmt's `await metrics(registry)` on that registry, to bytes;
//   node_collect   each metric's get() alone, as both registries read it.
//
// With --stall it instead scrapes a registry of 100,000 series (10,000
// gauge families x 10 series x 3 labels) and reports the longest event-loop
// stall (perf_hooks.monitorEventLoopDelay, 1 ms resolution) during one
// scrape by prom-client, by metrics() and by metricsAsync(), and writes
// them as writer node_stall, workloads stall/prom-client, stall/metrics and
// stall/metricsAsync, in ns (the longest stall of one scrape, median of
// --rounds scrapes) in the field the report reads.
//
// promfmt and prom-client are resolved from NODE_PATH (bench.sh installs
// them into a project of its own).
//
// usage: node peer.js --dir DIR [--workloads a,b] [--min-time S] [--seed N] --out-prefix PREFIX
//        node peer.js --stall [--rounds N] [--out-prefix PREFIX]
//        node peer.js --dir DIR --dump ID [--writer node|node_promfmt|node_bridge]
'use strict';
const fs = require('fs');
const path = require('path');
const { monitorEventLoopDelay } = require('perf_hooks');
const client = require('prom-client');
const promfmt = require('promfmt');

function parseArgs(argv) {
  const args = { workloads: '', minTime: 0.1, seed: 1, writer: 'node', rounds: 5 };
  const names = { '--dir': 'dir', '--workloads': 'workloads', '--min-time': 'minTime',
    '--seed': 'seed', '--out-prefix': 'outPrefix', '--dump': 'dump', '--writer': 'writer',
    '--rounds': 'rounds' };
  for (let i = 0; i < argv.length; ++i) {
    if (argv[i] === '--stall') args.stall = true;
    else if (names[argv[i]]) args[names[argv[i]]] = argv[++i];
    else throw new Error(`peer.js: unknown argument ${argv[i]}`);
  }
  args.minTime = Number(args.minTime);
  return args;
}

function readIndex(dir) {
  return fs.readFileSync(path.join(dir, 'index.txt'), 'utf8').split('\n').filter((l) => l.trim())
    .map((l) => {
      const [id, name, samples] = l.split('\t');
      return { id, name, samples: +samples };
    });
}

// [{name, help, rows: [{labels, value}]}] in the file's order.
function loadFamilies(file) {
  const families = [];
  for (const line of fs.readFileSync(file, 'utf8').split('\n')) {
    const f = line.split('\t');
    if (f[0] === 'F') {
      families.push({ name: f[1], help: f[2], rows: [] });
    } else if (f[0] === 'S') {
      const labels = {};
      for (let i = 2; i + 1 < f.length; i += 2) labels[f[i]] = f[i + 1];
      families[families.length - 1].rows.push({ labels, value: Number(f[1]) });
    }
  }
  return families;
}

function gaugeRegistry(families) {
  const registry = new client.Registry();
  for (const { name, help, rows } of families) {
    const labelNames = rows.length ? Object.keys(rows[0].labels) : [];
    const gauge = new client.Gauge({ name, help, labelNames, registers: [registry] });
    for (const { labels, value } of rows) gauge.set(labels, value);
  }
  return registry;
}

function perSample(writer, families) {
  writer.reset();
  for (const { name, help, rows } of families) {
    writer.help(name, help).type(name, 'gauge');
    for (const { labels, value } of rows) writer.sample(name, labels, value);
  }
  return writer.toBuffer();
}

function withJsonLabels(families) {
  return families.map(({ name, help, rows }) => ({ name, help,
    rows: rows.map(({ labels, value }) => ({ labels: JSON.stringify(labels), value })) }));
}

function writers(families) {
  const registry = gaugeRegistry(families);
  const writer = new promfmt.Writer();
  const prepared = withJsonLabels(families);
  return {
    node: async () => Buffer.from(await registry.metrics()),
    node_promfmt: async () => perSample(writer, families),
    node_promfmt_json: async () => perSample(writer, prepared),
    node_bridge: async () => Buffer.from(await promfmt.metrics(registry)),
    node_collect: () => Promise.all(registry.getMetricsAsArray().map((m) => m.get())),
  };
}

function runtime() {
  const version = (name) => require(`${name}/package.json`).version;
  return `Node.js ${process.versions.node}, prom-client ${version('prom-client')}, ` +
    `promfmt ${version('promfmt')}`;
}

function cpuSeconds() {
  const u = process.cpuUsage();
  return (u.user + u.system) / 1e6;
}

// Runs batches of scrapes until one batch takes minTime of CPU.
async function measure(scrape, minTime) {
  await scrape();
  let n = 1;
  for (;;) {
    const start = cpuSeconds();
    for (let i = 0; i < n; ++i) await scrape();
    const spent = cpuSeconds() - start;
    if (spent >= minTime) return { spent, n };
    n *= spent > 0 ? Math.min(10, Math.floor(1.4 * minTime / spent) + 1) : 10;
  }
}

function shuffle(items, seed) {
  let s = seed >>> 0;
  for (let i = items.length - 1; i > 0; --i) {
    s = (s * 1664525 + 1013904223) >>> 0;
    const j = s % (i + 1);
    [items[i], items[j]] = [items[j], items[i]];
  }
  return items;
}

async function bench(args) {
  const index = readIndex(args.dir);
  const wanted = args.workloads ? args.workloads.split(',') : ['standard', 'labels_fixed/64',
    'labels_random/64'];
  const todo = shuffle(index.filter((w) => wanted.includes(w.id)), +args.seed);
  const results = {};
  for (const w of todo) {
    const scrapes = shuffle(Object.entries(writers(loadFamilies(path.join(args.dir, w.name)))),
      +args.seed + 1);
    for (const [writer, scrape] of scrapes) {
      global.gc?.();
      const { spent, n } = await measure(scrape, args.minTime);
      (results[writer] ||= []).push({ workload: w.id, ns_per_sample: spent * 1e9 / (n * w.samples),
        iterations: n, samples: w.samples });
    }
  }
  for (const [writer, rows] of Object.entries(results)) {
    fs.writeFileSync(`${args.outPrefix}${writer}.json`,
      JSON.stringify({ writer, runtime: runtime(), results: rows }, null, 1) + '\n');
  }
}

// The longest event-loop stall, in ms, while `scrape` runs once.
async function longestStall(scrape) {
  global.gc?.();
  await new Promise((resolve) => setTimeout(resolve, 20));
  const histogram = monitorEventLoopDelay({ resolution: 1 });
  histogram.enable();
  await new Promise((resolve) => setTimeout(resolve, 5));
  const started = process.hrtime.bigint();
  const text = await scrape();
  const wall = Number(process.hrtime.bigint() - started) / 1e6;
  await new Promise((resolve) => setTimeout(resolve, 5));
  histogram.disable();
  return { stall: histogram.max / 1e6, wall, bytes: text.length };
}

async function stall(args) {
  const families = [];
  for (let f = 0; f < 10000; ++f) {
    const rows = [];
    for (let s = 0; s < 10; ++s) {
      rows.push({ labels: { method: `m${s % 5}`, path: `/api/v1/item/${s}`, code: `${200 + s}` },
        value: f * 10 + s });
    }
    families.push({ name: `stall_family_${f}_total`, help: `Family ${f}.`, rows });
  }
  const registry = gaugeRegistry(families);
  const ways = {
    'stall/prom-client': () => registry.metrics(),
    'stall/metrics': () => promfmt.metrics(registry),
    'stall/metricsAsync': () => promfmt.metricsAsync(registry),
  };
  const runs = {};
  for (let round = 0; round < +args.rounds; ++round) {
    for (const [way, scrape] of shuffle(Object.entries(ways), round + 1)) {
      (runs[way] ||= []).push(await longestStall(scrape));
    }
  }
  const median = (xs) => xs.slice().sort((a, b) => a - b)[Math.floor(xs.length / 2)];
  const results = Object.entries(runs).map(([workload, r]) => ({ workload,
    ns_per_sample: median(r.map((x) => x.stall)) * 1e6, stalls_ms: r.map((x) => x.stall),
    wall_ms: median(r.map((x) => x.wall)), bytes: r[0].bytes, series: 100000 }));
  const text = JSON.stringify({ writer: 'node_stall', runtime: runtime(), results }, null, 1);
  if (args.outPrefix) fs.writeFileSync(`${args.outPrefix}node_stall.json`, text + '\n');
  else process.stdout.write(text + '\n');
}

async function dump(args) {
  const w = readIndex(args.dir).find((x) => x.id === args.dump);
  const scrape = writers(loadFamilies(path.join(args.dir, w.name)))[args.writer];
  process.stdout.write(await scrape());
}

const args = parseArgs(process.argv.slice(2));
(args.stall ? stall(args) : args.dump ? dump(args) : bench(args)).catch((e) => {
  console.error(e);
  process.exit(1);
});
