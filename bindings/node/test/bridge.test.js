// SPDX-License-Identifier: MIT
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const http = require('node:http');
const { execFileSync } = require('node:child_process');
const path = require('node:path');
const client = require('prom-client');
const { metrics, metricsAsync, handler, contentType } = require('promfmt');
const { everyKind, gauges } = require('./registry');

const python = process.env.PROMFMT_TEST_PYTHON;

function parse(...texts) {
  const out = execFileSync(python, [path.join(__dirname, 'families.py')],
    { input: JSON.stringify(texts), maxBuffer: 1 << 28 });
  return JSON.parse(out);
}

// The process and Node.js families change from one read to the next.
const moving = /^(process_|nodejs_)/;

test('every metric kind: the same families as register.metrics(), read by a parser',
  { skip: !python && 'PROMFMT_TEST_PYTHON (with prometheus_client) not set' }, async () => {
    for (const options of [{}, { defaultLabels: null }]) {
      const register = everyKind(options);
      const theirs = await register.metrics();
      const [a, b, c] = parse(theirs, await metrics(register), await metricsAsync(register));
      assert.deepEqual(Object.keys(b).sort(), Object.keys(a).sort());
      assert.deepEqual(Object.keys(c).sort(), Object.keys(a).sort());
      assert.ok(Object.keys(a).some((name) => name.startsWith('nodejs_')));
      for (const name of Object.keys(a)) {
        for (const ours of [b, c]) {
          if (moving.test(name)) {
            assert.equal(ours[name][0], a[name][0], name);
            assert.equal(ours[name][1], a[name][1], name);
            assert.deepEqual(ours[name][2].map((s) => s.slice(0, 2)),
              a[name][2].map((s) => s.slice(0, 2)), name);
          } else {
            assert.deepEqual(ours[name], a[name], name);
          }
        }
      }
    }
  });

test('metricsAsync gives the text metrics() gives, also across slices', async () => {
  const register = gauges(30, 10, 3);
  register.setDefaultLabels({ zone: 'z1' });
  const text = await metrics(register);
  assert.equal(await metricsAsync(register, { sliceSize: 7 }), text);
  assert.equal(await metricsAsync(register), text);
  assert.ok(text.includes('\nfamily_0_value{label_0="value_0_label_0",label_1="value_0_label_1",' +
    'label_2="value_0_label_2",zone="z1"} 0\n'));
  await assert.rejects(metricsAsync(register, { sliceSize: 0 }), TypeError);
});

test('overlapping async scrapes each give their own registry whole', async () => {
  const registers = [1, 2, 3, 4, 5, 6].map((n) => gauges(n * 3, 20, n));
  const expected = await Promise.all(registers.map((r) => metrics(r)));
  for (let round = 0; round < 5; ++round) {
    const got = await Promise.all(registers.flatMap((r) =>
      [metricsAsync(r, { sliceSize: 13 }), metricsAsync(r), metrics(r)]));
    got.forEach((text, i) => assert.equal(text, expected[Math.floor(i / 3)]));
  }
});

test('a collect callback that throws rejects the scrape, as register.metrics() does', async () => {
  const register = gauges(2, 2, 1);
  const boom = new Error('collect failed');
  let failing = true;
  new client.Gauge({ name: 'flaky', help: 'F.', registers: [register],
    collect() { if (failing) throw boom; this.set(1); } });
  await assert.rejects(register.metrics(), (e) => e === boom);
  await assert.rejects(metrics(register), (e) => e === boom);
  await assert.rejects(metricsAsync(register), (e) => e === boom);
  failing = false;
  assert.equal(await metrics(register), await metricsAsync(register));
  assert.match(await metrics(register), /^flaky 1$/m);
});

test('bad values in a registry: a clear error, and the next scrape is whole', async () => {
  const register = gauges(1, 1, 1);
  const text = await metrics(register);
  const bad = new client.Gauge({ name: 'bad', help: 'B.', registers: [register] });
  bad.get = async () => ({ name: 'bad', help: '', type: 'gauge',
    values: [{ labels: { k: Symbol('s') }, value: 1 }] });
  await assert.rejects(metrics(register), TypeError);
  await assert.rejects(metricsAsync(register), TypeError);
  register.removeSingleMetric('bad');
  assert.equal(await metrics(register), text);
  const odd = new client.Gauge({ name: 'odd', help: 'O.', registers: [register] });
  odd.get = async () => ({ name: '1odd', help: '', type: 'gauge', values: [{ value: 1 }] });
  const badHelp = { name: 'PromfmtError', message: 'invalid metric name for HELP emission' };
  await assert.rejects(metrics(register), badHelp);
  await assert.rejects(metricsAsync(register), badHelp);
  odd.get = async () => ({ name: 'odd', help: '', type: 'gauge',
    values: [{ metricName: 'odd\nodd', value: 1 }, { metricName: 'odd\0x', value: 1 }] });
  const badName = { name: 'PromfmtError', message: 'invalid metric name' };
  await assert.rejects(metrics(register), badName);
  odd.get = async () => ({ name: 'odd', help: '', type: 'gauge',
    values: [{ metricName: 'odd\0x', value: 1 }] });
  await assert.rejects(metricsAsync(register), badName);
  // An empty name is no shorthand for the family's.
  odd.get = async () => ({ name: 'odd', help: '', type: 'gauge',
    values: [{ value: 1 }, { metricName: '', value: 1 }] });
  await assert.rejects(metrics(register), badName);
  odd.get = async () => ({ name: 'odd', help: '', type: 'gauge',
    values: [{ labels: { a: '\\u0000' }, value: 1 }, { labels: { b: 'x\0' }, value: 1 }] });
  const badValue = { name: 'PromfmtError', message: "label 'b': value contains a NUL character" };
  await assert.rejects(metrics(register), badValue);
  await assert.rejects(metricsAsync(register), badValue);
  register.removeSingleMetric('odd');
  assert.equal(await metricsAsync(register), text);
});

// prom-client keeps the labels object it was given: a change to it shows in
// the next scrape, as it does in register.metrics().
test('a series whose labels object changed is written with its new labels', async () => {
  const register = new client.Registry();
  const gauge = new client.Gauge({ name: 'g', help: 'G.', labelNames: ['a', 'b'],
    registers: [register] });
  const labels = { a: 'x' };
  gauge.set(labels, 1);
  assert.match(await metrics(register), /^g\{a="x"\} 1$/m);
  labels.a = 'y';
  labels.b = 2;
  assert.match(await register.metrics(), /^g\{a="y",b="2"\} 1$/m);
  assert.match(await metrics(register), /^g\{a="y",b="2"\} 1$/m);
  assert.match(await metricsAsync(register), /^g\{a="y",b="2"\} 1$/m);
});

test('the handler serves the scrape with the Prometheus content type', async () => {
  const register = gauges(2, 3, 2);
  const expected = await metrics(register);
  for (const options of [{}, { async: false }]) {
    const server = http.createServer(handler(register, options));
    await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
    try {
      const res = await fetch(`http://127.0.0.1:${server.address().port}/metrics`);
      assert.equal(res.status, 200);
      assert.equal(res.headers.get('content-type'), contentType);
      assert.equal(contentType, client.Registry.PROMETHEUS_CONTENT_TYPE);
      assert.equal(await res.text(), expected);
    } finally {
      server.close();
    }
  }
  // Express-style: a failure goes to next().
  const register2 = gauges(1, 1, 1);
  new client.Gauge({ name: 'x', help: 'X.', registers: [register2],
    collect() { throw new Error('no'); } });
  const err = await new Promise((resolve) => handler(register2)({}, {}, resolve));
  assert.equal(err.message, 'no');
});

test('the global registry is the default', async () => {
  client.register.clear();
  new client.Counter({ name: 'global_total', help: 'G.' }).inc();
  assert.equal(await metrics(),
    '# HELP global_total G.\n# TYPE global_total counter\nglobal_total 1\n');
  assert.equal(await metricsAsync(), await metrics());
  client.register.clear();
});
