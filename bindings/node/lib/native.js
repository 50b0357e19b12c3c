// SPDX-License-Identifier: MIT
// The compiled addon, with PromfmtError handed over for its refusals. Its
// functions are this package's own: lib/writer.js and lib/scrape.js use them.
'use strict';
const path = require('path');
const { PromfmtError } = require('./errors');

const binding = require(path.join(__dirname, '..', 'build', 'Release', 'promfmt.node'));
binding.setErrorClass(PromfmtError);

module.exports = binding;
