// SPDX-License-Identifier: MIT
// Memory stays flat over many scrapes: PROMFMT_LEAK_SCRAPES of each kind
// (default 100,000). The first half lets V8's heap reach its working size;
// RSS after it and after the second half are compared. V8 may still grow
// its heap by a few MiB on the way; a leak of 340 bytes a scrape or more
// (16 MiB over 50,000) fails.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const { Writer, metrics, metricsAsync } = require('promfmt');
const { gauges } = require('./registry');

const scrapes = Number(process.env.PROMFMT_LEAK_SCRAPES || 100000);
const allowedGrowth = 16 << 20;

async function rssGrowth(scrape) {
  const half = Math.ceil(scrapes / 2);
  for (let i = 0; i < half; ++i) await scrape(i);
  global.gc?.();
  const before = process.memoryUsage.rss();
  for (let i = half; i < scrapes; ++i) await scrape(i);
  global.gc?.();
  return process.memoryUsage.rss() - before;
}

test(`RSS stays flat over ${scrapes} scrapes of each kind`, async (t) => {
  const w = new Writer();
  const labels = { method: 'GET', path: '/a"b', code: 200 };
  const register = gauges(2, 3, 2);
  const kinds = {
    'Writer (reset, 10 samples, toBuffer)': () => {
      w.reset().help('m', 'M.').type('m', 'gauge');
      for (let s = 0; s < 10; ++s) w.sample('m', labels, s);
      return w.toBuffer();
    },
    'refused samples': () => {
      try { w.sample('m', { 'bad name': 'x' }, 1); } catch { /* refused */ }
    },
    'metrics(register)': () => metrics(register),
    'metricsAsync(register)': () => metricsAsync(register),
  };
  for (const [what, scrape] of Object.entries(kinds)) {
    const growth = await rssGrowth(scrape);
    t.diagnostic(`${what}: RSS ${growth >= 0 ? '+' : ''}${(growth / 1048576).toFixed(1)} MiB`);
    assert.ok(growth < allowedGrowth, `${what}: RSS grew ${growth} bytes`);
  }
});
