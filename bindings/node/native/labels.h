// SPDX-License-Identifier: MIT
// The labels JSON text the library reads, built from JavaScript values.
#ifndef PROMFMT_NODE_LABELS_H
#define PROMFMT_NODE_LABELS_H

#include <napi.h>
#include <string>

namespace promfmt_node {

// Reused memory for building one labels text.
struct LabelScratch {
  std::string name;
  std::string value;
};

// Writes the labels JSON text of `labels` into out: "" for undefined or
// null, the text itself for a string, an object's own enumerable string
// keys, or an array of [name, value] pairs. false with a JavaScript
// exception pending (a TypeError for a wrong type, or what a getter threw).
bool labels_json(napi_env env, napi_value labels, std::string &out, LabelScratch &scratch);

}  // namespace promfmt_node

#endif
