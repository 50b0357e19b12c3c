// SPDX-License-Identifier: MIT
// Prints what binding.gyp needs from the library: `dir` its root, `sources`
// every src/*.cpp. The root is PROMFMT_SOURCE_DIR when set, else the copy
// `npm pack` bundles (promfmt/), else the repository around this package.
'use strict';
const fs = require('fs');
const path = require('path');

function libraryRoot(here) {
  const candidates = [process.env.PROMFMT_SOURCE_DIR, path.join(here, 'promfmt'),
    path.join(here, '..', '..')].filter(Boolean);
  const root = candidates.find((dir) => fs.existsSync(path.join(dir, 'include', 'promfmt.h')));
  if (!root) {
    throw new Error('promfmt: the library sources were not found; set PROMFMT_SOURCE_DIR ' +
      'to the repository root');
  }
  return path.resolve(root);
}

const here = path.join(__dirname, '..');
const root = path.relative(here, libraryRoot(here)) || '.';
if (process.argv[2] === 'dir') {
  console.log(root);
} else {
  const src = path.join(root, 'src');
  const files = fs.readdirSync(path.join(here, src)).filter((f) => f.endsWith('.cpp')).sort();
  console.log(files.map((f) => path.join(src, f)).join('\n'));
}
