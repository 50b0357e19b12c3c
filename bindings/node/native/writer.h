// SPDX-License-Identifier: MIT
// Writer: one library buffer, written sample by sample from JavaScript
// (lib/writer.js). Its functions take the writer's number first.
#ifndef PROMFMT_NODE_WRITER_H
#define PROMFMT_NODE_WRITER_H

#include <napi.h>

namespace promfmt_node {

// Adds the writer functions to exports: writerNew(owner, initialCapacity)
// gives the number of a writer that lives as long as owner; writerHelp,
// writerType, writerSample, writerGauge, writerCounter, writerReset,
// writerText, writerBytes and writerLength take it first. The name of
// writerSample, writerHelp and writerType may be null: the name of the
// writer's last call that read one, which lib/writer.js keeps track of.
void define_writer(Napi::Env env, Napi::Object exports);

}  // namespace promfmt_node

#endif
