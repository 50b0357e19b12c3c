// SPDX-License-Identifier: MIT
// The labels JSON text of a labels object, remembered per object: an
// object handed again with the same members in the same order (the same
// name and the identical value, compared with ===) gets the text it had,
// without JSON.stringify(). Any change of the object is seen: a member
// added, removed, renamed, reordered or given another value makes the text
// again. The objects are held weakly.
'use strict';

class LabelCache {
  constructor() {
    this.entries = new WeakMap();
  }

  /**
   * The text of labels from the cache, or from `make(labels)` (whose
   * result, when a string, is kept). `make` sees the object as it is now.
   */
  json(labels, make) {
    const entry = this.entries.get(labels);
    if (entry !== undefined && sameMembers(labels, entry.members)) return entry.json;
    const members = membersOf(labels);
    const json = make(labels);
    if (typeof json === 'string') this.entries.set(labels, { json, members });
    return json;
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
