// SPDX-License-Identifier: MIT
// Memory stays flat over many scrapes: PROMFMT_LEAK_SCRAPES of each kind
// (default 100,000), RSS compared after a warm-up and at the end.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const { Writer, metrics, metricsAsync } = require('promfmt');
const { gauges } = require('./registry');

const scrapes = Number(process.env.PROMFMT_LEAK_SCRAPES || 100000);
const allowedGrowth = 16 << 20;

async function rssGrowth(scrape) {
  for (let i = 0; i < Math.min(2000, scrapes); ++i) await scrape(i);
  global.gc?.();
  const before = process.memoryUsage.rss();
  for (let i = 0; i < scrapes; ++i) await scrape(i);
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
