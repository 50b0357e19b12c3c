// SPDX-License-Identifier: MIT
// The labels JSON text of a labels object, remembered per object: an
// object handed again with the same members in the same order (the same
// name and the identical value, compared with ===) gets the text it had,
// without JSON.stringify(). Any change of the object is seen: a member
// added, removed, renamed, reordered or given another value makes the text
// again. The objects are held weakly.
//
// Keeping a text costs more than making it once, which pays off only when
// the object comes back. So the cache watches itself: after each WINDOW
// misses, if fewer than one text in four was found again (objects made anew
// for every sample), it stops keeping texts for 1, then 2, 4, ... up to
// LONGEST_PAUSE windows, and tries again.
'use strict';

const WINDOW = 1024;
const LONGEST_PAUSE = 64;

class LabelCache {
  constructor() {
    this.entries = new WeakMap();
    this.hits = 0;
    this.misses = 0;
    this.keeping = true;
    this.pause = 0;  // windows left without keeping
    this.nextPause = 1;
  }

  /**
   * The text of labels from the cache, or from `make(labels)` (whose
   * result, when a string, is kept). `make` sees the object as it is now.
   */
  json(labels, make) {
    const found = this.find(labels);
    return found !== undefined ? found : this.add(labels, make);
  }

  /**
   * The text kept for labels while its members are unchanged, or
   * undefined. A kept text is ASCII: the addon copies it as Latin-1.
   */
  find(labels) {
    const entry = this.entries.get(labels);
    if (entry === undefined || !sameMembers(labels, entry)) return undefined;
    ++this.hits;
    return entry[0];
  }

  /** The text of labels, which find() did not have, from `make(labels)`. */
  add(labels, make) {
    if (++this.misses === WINDOW) this.review();
    if (!this.keeping) return make(labels);
    const entry = membersOf(labels);
    const json = make(labels);
    if (typeof json !== 'string') return json;
    entry[0] = asciiJson(json);
    this.entries.set(labels, entry);
    return entry[0];
  }

  review() {
    if (!this.keeping) {
      this.keeping = --this.pause === 0;
    } else if (this.hits * 4 < this.misses) {
      this.keeping = false;
      this.pause = this.nextPause;
      this.nextPause = Math.min(2 * this.nextPause, LONGEST_PAUSE);
    } else {
      this.nextPause = 1;
    }
    this.hits = 0;
    this.misses = 0;
  }
}

const nonAscii = /[^\x00-\x7f]/;
const everyNonAscii = /[^\x00-\x7f]/g;

// JSON text with every character past ASCII written as a \u escape: the
// same labels to a JSON reader.
function asciiJson(json) {
  if (!nonAscii.test(json)) return json;
  return json.replace(everyNonAscii, (c) => `\\u${c.charCodeAt(0).toString(16).padStart(4, '0')}`);
}

// An entry: its text (first left empty), then the names and values in
// enumeration order: [text, name0, value0, name1, value1, ...].
function membersOf(labels) {
  const members = [''];
  for (const name in labels) members.push(name, labels[name]);
  return members;
}

function sameMembers(labels, entry) {
  let i = 1;
  for (const name in labels) {
    if (name !== entry[i] || labels[name] !== entry[i + 1]) return false;
    i += 2;
  }
  return i === entry.length;
}

module.exports = { LabelCache };
