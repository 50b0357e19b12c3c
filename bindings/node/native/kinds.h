// SPDX-License-Identifier: MIT
// Metric kinds by their names in the exposition format.
#ifndef PROMFMT_NODE_KINDS_H
#define PROMFMT_NODE_KINDS_H

#include "promfmt.h"
#include "text.h"

namespace promfmt_node {

// The kind named `name`; false when it names none.
inline bool kind_from_name(const Utf8 &name, promfmt_metric_type_t &kind) {
  static const char *const names[] = {"untyped", "counter", "gauge", "histogram", "summary"};
  for (int i = 0; i < 5; ++i) {
    if (name == names[i]) {
      kind = static_cast<promfmt_metric_type_t>(i);
      return true;
    }
  }
  return false;
}

constexpr const char *kKindNames =
    "\"counter\", \"gauge\", \"histogram\", \"summary\" or \"untyped\"";

// A metric name cut by a NUL byte is refused by the library as any other
// invalid name: it gets the empty name, with the library's own message.
inline const char *name_or_empty(const Utf8 &name) { return name.has_nul() ? "" : name.c_str(); }

}  // namespace promfmt_node

#endif
