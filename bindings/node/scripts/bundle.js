// SPDX-License-Identifier: MIT
// `npm pack` runs `copy` first: the library's include/ and src/ go into
// promfmt/, so the tarball builds with the repository out of reach.
// `clean` (after packing) removes the copy again.
'use strict';
const fs = require('fs');
const path = require('path');

const here = path.join(__dirname, '..');
const target = path.join(here, 'promfmt');
fs.rmSync(target, { recursive: true, force: true });
if (process.argv[2] === 'copy') {
  const root = path.join(here, '..', '..');
  for (const dir of ['include', 'src']) {
    fs.cpSync(path.join(root, dir), path.join(target, dir), { recursive: true });
  }
  fs.copyFileSync(path.join(root, 'LICENSE'), path.join(target, 'LICENSE'));
}
