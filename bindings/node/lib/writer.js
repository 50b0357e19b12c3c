// SPDX-License-Identifier: MIT
// Writer: a library buffer in the addon, known here by its number. A plain
// object's labels become JSON text here when JSON.stringify() gives exactly
// the text the addon would build (own string or boolean values, no
// prototype but Object's): V8's serializer is faster than reading the
// members one by one through Node-API. The text is remembered per object
// (labelcache.js), so an object handed again unchanged costs no
// serializing. Every other form goes to the addon as it is.
//
// The addon keeps the metric name of the last call that read one; a call
// with that same name again hands null instead, which skips copying it.
'use strict';
const native = require('./native');
const { LabelCache } = require('./labelcache');

const { getPrototypeOf } = Object;
const objectPrototype = Object.prototype;

const cache = new LabelCache();

// The text the cache keeps for labels (ASCII), or undefined.
function keptText(labels) {
  return labels !== null && typeof labels === 'object' ? cache.find(labels) : undefined;
}

// What the addon gets for labels the cache does not have: JSON text, or
// labels as they are. A text found again needs no look at the prototype: it
// was made from the same own members, which are what the addon would read.
function labelsArg(labels) {
  if (labels === null || typeof labels !== 'object') return labels;
  const proto = getPrototypeOf(labels);
  if (proto !== objectPrototype && proto !== null) return labels;
  return cache.add(labels, plainJson);
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

class Writer {
  #id;
  #name;  // the name the addon keeps, or undefined when unknown

  /** @param {number} [initialCapacity] bytes to reserve */
  constructor(initialCapacity) {
    this.#id = native.writerNew(this, initialCapacity);
  }

  // The name to hand the addon for name: null when it keeps that one. The
  // kept name is unknown until the call succeeds (see #named).
  #nameArg(name) {
    if (name === this.#name && name !== undefined) return null;
    this.#name = undefined;
    return name;
  }

  #named(name) {
    this.#name = name;
    return this;
  }

  help(name, text) {
    native.writerHelp(this.#id, this.#nameArg(name), text);
    return this.#named(name);
  }

  type(name, kind) {
    native.writerType(this.#id, this.#nameArg(name), kind);
    return this.#named(name);
  }

  // The labels' text is made first: a getter of theirs may call this writer.
  sample(name, labels, value, timestamp) {
    let text = keptText(labels);
    const ascii = text !== undefined;
    if (!ascii) text = labelsArg(labels);
    native.writerSample(this.#id, this.#nameArg(name), text, value, timestamp, ascii);
    return this.#named(name);
  }

  gauge(name, help, labels, value) {
    const text = keptText(labels) ?? labelsArg(labels);
    this.#name = undefined;
    native.writerGauge(this.#id, name, help, text, value);
    return this.#named(name);
  }

  counter(name, help, labels, value) {
    const text = keptText(labels) ?? labelsArg(labels);
    this.#name = undefined;
    native.writerCounter(this.#id, name, help, text, value);
    return this.#named(name);
  }

  reset() {
    native.writerReset(this.#id);
    return this;
  }

  toString() {
    return native.writerText(this.#id);
  }

  toBuffer() {
    return native.writerBytes(this.#id);
  }

  get length() {
    return native.writerLength(this.#id);
  }
}

module.exports = { Writer };
