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
    const entry = this.entries.get(labels);
    if (entry !== undefined && sameMembers(labels, entry.members)) {
      ++this.hits;
      return entry.json;
    }
    if (++this.misses === WINDOW) this.review();
    if (!this.keeping) return make(labels);
    const members = membersOf(labels);
    const json = make(labels);
    if (typeof json === 'string') this.entries.set(labels, { json, members });
    return json;
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

// Names and values in enumeration order: [name0, value0, name1, value1, ...].
function membersOf(labels) {
  const members = [];
  for (const name in labels) members.push(name, labels[name]);
  return members;
}

function sameMembers(labels, members) {
  let i = 0;
  for (const name in labels) {
    if (name !== members[i] || labels[name] !== members[i + 1]) return false;
    i += 2;
  }
  return i === members.length;
}

module.exports = { LabelCache };
