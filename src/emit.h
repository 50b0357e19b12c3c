// SPDX-License-Identifier: MIT
// The sample writer behind promfmt_emit_sample(), with the choice of route
// for the labels text open, so that tests can hold the copy-through
// shortcut against the parser.
#ifndef PROMFMT_EMIT_H
#define PROMFMT_EMIT_H

#include <cstdint>

#include "promfmt.h"

namespace promfmt {

enum labels_route { LABELS_ANY_ROUTE, LABELS_PARSER_ONLY };

int emit_sample(promfmt_buffer_t *buf, const char *name, const char *labels_json, double value,
                int64_t timestamp, labels_route route);

}  // namespace promfmt

#endif
