// SPDX-License-Identifier: MIT
'use strict';

/** A refusal of the library: the message is the library's own text. */
class PromfmtError extends Error {
  constructor(message) {
    super(message);
    this.name = 'PromfmtError';
  }
}

module.exports = { PromfmtError };
