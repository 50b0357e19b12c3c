// SPDX-License-Identifier: MIT
// prom-client's Registry#metrics() written by the library: the values are
// read as prom-client reads them (each metric's get(), collect callbacks
// included), then written into native rows and out as text.
'use strict';
const { Scrape } = require('./scrape');
const { PromfmtError } = require('./errors');
const { LabelCache } = require('./labelcache');

/** The Prometheus text format's content type, as prom-client sends it. */
const contentType = 'text/plain; version=0.0.4; charset=utf-8';

/** Series read between two turns of the event loop in metricsAsync(). */
const DEFAULT_SLICE = 2048;

function globalRegister() {
  return require('prom-client').register;
}

// prom-client keeps the registry's default labels here; {} when none.
function defaultLabelsOf(register) {
  const labels = register._defaultLabels;
  return labels && Object.keys(labels).length > 0 ? labels : undefined;
}

// Every metric's values, read in parallel as Registry#metrics() reads them.
function collect(register) {
  return Promise.all(register.getMetricsAsArray().map((metric) =>
    typeof metric.getForPromString === 'function' ? metric.getForPromString() : metric.get()));
}

// The labels JSON text of one prom-client value, merged as the registry
// merges them: the value's shared labels (a histogram's series) over its
// own labels over the registry's defaults; values that are no string
// written as prom-client writes them, with a template literal.
// kept: the labels objects are the series' own (a counter's or a gauge's),
// which come back scrape after scrape; a histogram's or a summary's are
// made anew by each get().
function labelsJson(labels, shared, defaults, kept) {
  const merged = mergedLabels(labels, shared, defaults);
  return kept && merged === labels ? cache.json(labels, textJson) : textJson(merged);
}

const cache = new LabelCache();
const noLabels = Object.freeze({});

function textJson(labels) {
  for (const name in labels) {
    if (typeof labels[name] !== 'string') return JSON.stringify(asText(labels));
  }
  return JSON.stringify(labels);
}

function mergedLabels(labels, shared, defaults) {
  if (defaults !== undefined || (shared !== undefined && !isEmpty(shared))) {
    return Object.assign({}, defaults, labels, shared);
  }
  return labels;
}

// The library would cut a label value at a NUL: refused as the Writer
// refuses it. Called when a slice's text has "\u0000", which may also be
// an escaped backslash before "u0000".
function refuseNul(values, start, end, defaults) {
  for (let i = start; i < end; ++i) {
    const { labels = {}, sharedLabels } = values[i];
    const merged = mergedLabels(labels, sharedLabels, defaults);
    for (const name in merged) {
      if (`${merged[name]}`.includes('\0')) {
        throw new PromfmtError(`label '${name}': value contains a NUL character`);
      }
    }
  }
}

function asText(labels) {
  const copy = {};
  for (const name of Object.keys(labels)) copy[name] = `${labels[name]}`;
  return copy;
}

function isEmpty(object) {
  for (const _ in object) return false;
  return true;
}

// The name a sample's row gives: '' for the family's own name (the
// addon's shorthand); an empty metricName stays a name the library refuses.
function rowName(metricName, family) {
  if (metricName === undefined || metricName === family) return '';
  return metricName === '' ? '\0' : metricName;
}

// Hands values[start, end) of a family to the scrape in one call: the
// labels texts in one string, a line each, and when a sample is named
// other than its family, each sample's name on a line before its labels;
// the values go into the scrape's numbers. The text is ASCII when every
// labels text came from the cache and no sample has a name of its own.
// Joined from an array, the text is flat at once, where adding string to
// string makes pieces for V8 to copy again.
function addSamples(scrape, item, values, start, end, defaults) {
  const family = item.name;
  const kept = item.type === 'counter' || item.type === 'gauge';
  const own = kept && defaults === undefined;  // labels written as they are, unless shared
  const count = end - start;
  const numbers = scrape.numbers(count);
  const texts = new Array(count + 1);
  let names;  // each sample's metricName, once one differs from the family's name
  let ascii = true;
  for (let i = start; i < end; ++i) {
    const { metricName, labels = noLabels, sharedLabels, value } = values[i];
    if (metricName !== undefined && metricName !== family) (names ??= [])[i - start] = metricName;
    let json = own && sharedLabels === undefined ? cache.find(labels) : undefined;
    if (json === undefined) {
      ascii = false;
      json = labelsJson(labels, sharedLabels, defaults, kept);
    }
    texts[i - start] = json;
    numbers[i - start] = value;
  }
  texts[count] = '';
  const text = names === undefined ? texts.join('\n') : namedText(names, texts, family);
  if (text.includes('\\u0000')) refuseNul(values, start, end, defaults);
  scrape.samples(text, count, ascii && names === undefined, names !== undefined);
}

// The lines of named samples: each name ('' for the family's), then its labels.
function namedText(names, texts, family) {
  const count = texts.length - 1;
  const parts = new Array(2 * count + 1);
  for (let j = 0; j < count; ++j) {
    parts[2 * j] = rowName(names[j], family);
    parts[2 * j + 1] = texts[j];
  }
  parts[2 * count] = '';
  return parts.join('\n');
}

function yieldToLoop() {
  return new Promise((resolve) => setImmediate(resolve));
}

// The synchronous path reuses one scrape: it is filled and rendered with
// no await in between, so calls cannot interleave.
let reused = null;

/**
 * The text of every metric of `register`, as `await register.metrics()`.
 * Formatting runs on the calling thread.
 */
async function metrics(register = globalRegister()) {
  const items = await collect(register);
  const defaults = defaultLabelsOf(register);
  const scrape = reused || new Scrape();
  reused = null;
  for (const item of items) {
    scrape.family(item.name, item.help, item.type);
    const values = item.values || [];
    addSamples(scrape, item, values, 0, values.length, defaults);
  }
  const text = scrape.render();
  reused = scrape;
  return text;
}

/**
 * As metrics(), but the text is written in a worker thread: the main thread
 * only reads the values, `sliceSize` series at a time, letting the event
 * loop run between slices.
 */
async function metricsAsync(register = globalRegister(), { sliceSize = DEFAULT_SLICE } = {}) {
  if (!Number.isInteger(sliceSize) || sliceSize < 1) {
    throw new TypeError('sliceSize must be a positive integer');
  }
  const items = await collect(register);
  const defaults = defaultLabelsOf(register);
  const scrape = new Scrape();
  let room = sliceSize;
  for (const item of items) {
    scrape.family(item.name, item.help, item.type);
    const values = item.values || [];
    for (let start = 0; start < values.length;) {
      const end = Math.min(values.length, start + room);
      addSamples(scrape, item, values, start, end, defaults);
      room -= end - start;
      start = end;
      if (room === 0) {
        await yieldToLoop();
        room = sliceSize;
      }
    }
  }
  return scrape.renderAsync();
}

/**
 * A request handler for `http.createServer()` or Express: answers with the
 * scrape of `register` and the Prometheus content type. A failure goes to
 * Express's `next` when there is one, else it is answered with status 500.
 */
function handler(register = globalRegister(), { async = true } = {}) {
  const render = async ? metricsAsync : metrics;
  return (req, res, next) => {
    render(register).then((text) => {
      res.statusCode = 200;
      res.setHeader('Content-Type', contentType);
      res.end(text);
    }, (error) => {
      if (typeof next === 'function') {
        next(error);
        return;
      }
      res.statusCode = 500;
      res.setHeader('Content-Type', 'text/plain; charset=utf-8');
      res.end(String(error && error.message));
    });
  };
}

module.exports = { metrics, metricsAsync, handler, contentType };
