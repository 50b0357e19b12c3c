// SPDX-License-Identifier: MIT
// Writer: the addon's class, with a plain object's labels turned into JSON
// text here when JSON.stringify() gives exactly the text the addon would
// build (own string or boolean values, no prototype but Object's): V8's
// serializer is faster than reading the members one by one through
// Node-API. The text is remembered per object (labelcache.js), so an
// object handed again unchanged costs no serializing. Every other form goes
// to the addon as it is.
'use strict';
const native = require('./native');
const { LabelCache } = require('./labelcache');

const { getPrototypeOf } = Object;
const objectPrototype = Object.prototype;

const cache = new LabelCache();

function jsonText(labels) {
  if (labels === null || typeof labels !== 'object') return labels;
  const proto = getPrototypeOf(labels);
  if (proto !== objectPrototype && proto !== null) return labels;
  return cache.json(labels, plainJson);
}

function plainJson(labels) {
  for (const name in labels) {
    const type = typeof labels[name];
    if (type !== 'string' && type !== 'boolean') return labels;
  }
  const json = JSON.stringify(labels);
  // "\u0000" may be a NUL character: the addon reads the object and refuses it.
  return json.includes('\\u0000') ? labels : json;
}

class Writer extends native.Writer {
  sample(name, labels, value, timestamp) {
    return super.sample(name, jsonText(labels), value, timestamp);
  }

  gauge(name, help, labels, value) {
    return super.gauge(name, help, jsonText(labels), value);
  }

  counter(name, help, labels, value) {
    return super.counter(name, help, jsonText(labels), value);
  }
}

module.exports = { Writer };
