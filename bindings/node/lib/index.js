// SPDX-License-Identifier: MIT
'use strict';
const { Writer } = require('./writer');
const { PromfmtError } = require('./errors');
const { metrics, metricsAsync, handler, contentType } = require('./bridge');

module.exports = { Writer, PromfmtError, metrics, metricsAsync, handler, contentType };
