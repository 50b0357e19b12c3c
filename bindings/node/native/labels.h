// SPDX-License-Identifier: MIT
// The labels JSON text the library reads, built from JavaScript values.
#ifndef PROMFMT_NODE_LABELS_H
#define PROMFMT_NODE_LABELS_H

#include <napi.h>
#include <string>

#include "text.h"

namespace promfmt_node {

// Reused memory for reading one labels text.
struct LabelScratch {
  Utf8 text;
  std::string json;
  Utf8 name;
  Utf8 value;
};

// The labels JSON text of `labels`, in scratch's memory: "" for undefined
// or null, the text itself for a string, an object's own enumerable string
// keys, or an array of [name, value] pairs. nullptr with a JavaScript
// exception pending: a TypeError for a wrong type, what a getter threw, or
// PromfmtError for a text with a NUL byte (the library would read it cut).
// ascii: a string is known to be ASCII (Utf8::Read).
const char *labels_json(napi_env env, napi_value labels, LabelScratch &scratch, bool ascii);

}  // namespace promfmt_node

#endif
