// SPDX-License-Identifier: MIT
// Test fixtures: prom-client registries with every kind of metric.
'use strict';
const client = require('prom-client');

// Every metric kind, with labels, escapes, special values and default labels.
function everyKind({ defaults = true, defaultLabels = { app: 'a"p\\p' } } = {}) {
  const register = new client.Registry();
  if (defaults) client.collectDefaultMetrics({ register });
  const counter = new client.Counter({ name: 'jobs_total', help: 'Jobs\ndone \\ "all".',
    labelNames: ['queue', 'n'], registers: [register] });
  counter.inc({ queue: 'mail\n"x"\\', n: 7 }, 3);
  counter.inc({ queue: 'sms', n: 0.5 });
  const gauge = new client.Gauge({ name: 'temperature', help: 'T.', labelNames: ['room', 'app'],
    registers: [register] });
  gauge.set({ room: 'a' }, NaN);
  gauge.set({ room: 'b', app: 'own wins' }, -Infinity);
  gauge.set({ room: 'c' }, 1e21);
  gauge.set({ room: 'é☃' }, 12345.678);
  new client.Gauge({ name: 'unlabelled', help: 'U.', registers: [register] }).set(2);
  new client.Gauge({ name: 'collected', help: 'From collect().', registers: [register],
    collect() { this.set(42); } });
  const histogram = new client.Histogram({ name: 'latency_seconds', help: 'L.',
    labelNames: ['method'], buckets: [0.1, 1, 10], registers: [register] });
  histogram.observe({ method: 'GET' }, 0.5);
  histogram.observe({ method: 'POST' }, 20);
  const summary = new client.Summary({ name: 'size_bytes', help: 'S.', labelNames: ['kind'],
    percentiles: [0.5, 0.9], registers: [register] });
  summary.observe({ kind: 'x' }, 10);
  summary.observe({ kind: 'x' }, 30);
  new client.Summary({ name: 'empty_summary', help: 'E.', registers: [register] });
  if (defaultLabels) register.setDefaultLabels(defaultLabels);
  return register;
}

// families × series gauges with `labels` labels each, names like prom-client users write.
function gauges(families, series, labels) {
  const register = new client.Registry();
  const names = Array.from({ length: labels }, (_, i) => `label_${i}`);
  for (let f = 0; f < families; ++f) {
    const gauge = new client.Gauge({ name: `family_${f}_value`, help: `Family ${f}.`,
      labelNames: names, registers: [register] });
    for (let s = 0; s < series; ++s) {
      const set = {};
      for (const n of names) set[n] = `value_${s}_${n}`;
      gauge.set(set, s * 1.25 + f);
    }
  }
  return register;
}

module.exports = { everyKind, gauges };
