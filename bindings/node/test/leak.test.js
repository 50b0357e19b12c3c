// SPDX-License-Identifier: MIT
// Memory stays flat over many scrapes: PROMFMT_LEAK_SCRAPES of each kind
// (default 100,000). The first half lets V8's heap and malloc's arenas (the
// worker threads have their own) reach their working size; memory is then
// read after each of the last two quarters: RSS less V8's heap (what the
// addon and the library hold) and V8's heap in use after a collection. A
// leak grows one of them in both quarters; a one-time growth of a heap or
// an arena shows in one only. Fails when both quarters grew by more than
// 4 MiB: a leak of about 170 bytes a scrape or more.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const { Writer, metrics, metricsAsync } = require('promfmt');
const { gauges } = require('./registry');

const scrapes = Number(process.env.PROMFMT_LEAK_SCRAPES || 100000);
const allowedGrowth = 4 << 20;

// Node-API finalizers run in a later turn of the event loop than the
// collection: the loop turns every 1,000 scrapes, and before memory is read.
const nextTurn = () => new Promise((resolve) => setImmediate(resolve));

async function run(scrape, from, to) {
  for (let i = from; i < to; ++i) {
    await scrape(i);
    if (i % 1000 === 0) await nextTurn();
  }
  global.gc?.();
  await nextTurn();
  const m = process.memoryUsage();
  return { native: m.rss - m.heapTotal, heap: m.heapUsed };
}

// The smaller growth of the last two quarters, of each kind of memory.
async function growth(scrape) {
  const half = Math.ceil(scrapes / 2);
  const quarter = Math.ceil(scrapes * 3 / 4);
  const a = await run(scrape, 0, half);
  const b = await run(scrape, half, quarter);
  const c = await run(scrape, quarter, scrapes);
  const least = (k) => Math.min(b[k] - a[k], c[k] - b[k]);
  return { native: least('native'), heap: least('heap') };
}

const mib = (bytes) => `${bytes >= 0 ? '+' : ''}${(bytes / 1048576).toFixed(1)} MiB`;

test(`memory stays flat over ${scrapes} scrapes of each kind`, async (t) => {
  const w = new Writer();
  const labels = { method: 'GET', path: '/a"b', code: 200 };
  const register = gauges(2, 3, 2);
  const kinds = {
    'Writer (reset, 10 samples, toBuffer)': () => {
      w.reset().help('m', 'M.').type('m', 'gauge');
      for (let s = 0; s < 10; ++s) w.sample('m', labels, s);
      return w.toBuffer();
    },
    // Each writer's native side goes with it when it is collected.
    'a new Writer each scrape': () => new Writer().sample('m', labels, 1).toBuffer(),
    'refused samples': () => {
      try { w.sample('m', { 'bad name': 'x' }, 1); } catch { /* refused */ }
    },
    'metrics(register)': () => metrics(register),
    'metricsAsync(register)': () => metricsAsync(register),
  };
  for (const [what, scrape] of Object.entries(kinds)) {
    const grew = await growth(scrape);
    t.diagnostic(`${what}: RSS less V8's heap ${mib(grew.native)}, V8's heap in use ` +
      `${mib(grew.heap)} (the smaller growth of the last two quarters)`);
    assert.ok(grew.native < allowedGrowth, `${what}: RSS less V8's heap grew ${grew.native}`);
    assert.ok(grew.heap < allowedGrowth, `${what}: V8's heap in use grew ${grew.heap}`);
  }
});
