// SPDX-License-Identifier: MIT
// A sample's labels: parsed from the text of one JSON object, checked,
// converted to text, sorted by name and measured, before anything is
// written to the buffer.
#ifndef PROMFMT_LABELS_H
#define PROMFMT_LABELS_H

#include <cstddef>

#include "number.h"

struct yyjson_doc;

namespace promfmt {

// One label. The name and a string value point into the parsed document; a
// number's text points into the set's number storage. Sorting orders
// pointers to the pairs, so the pairs themselves never move.
struct label_pair {
    const char *name;
    size_t name_len;
    const char *value;
    size_t value_len;  // raw bytes, before escaping
    size_t escaped_len;
};

// Labels up to this count, and labels texts whose parse fits the arena, use
// storage inside the set (on the caller's stack); larger ones use the heap.
constexpr size_t kInlinePairs = 16;
constexpr size_t kParseArena = 8192;

struct label_set {
    yyjson_doc *doc;
    bool doc_in_arena;            // the arena needs no freeing
    label_pair *pairs;            // in document order
    const label_pair **sorted;    // the same pairs by name
    char (*numbers)[kNumberMax];  // one number text per pair
    size_t count;
    size_t text_len;              // bytes of {a="x",b="y"}; 0 without labels
    label_pair inline_pairs[kInlinePairs];
    const label_pair *inline_sorted[kInlinePairs];
    char inline_numbers[kInlinePairs][kNumberMax];
    alignas(16) unsigned char arena[kParseArena];
};

// Fills set from labels_json (NULL, empty or whitespace-only means no
// labels). 0 on success; -1 with the last-error text set and nothing left
// to release. After success, release_labels() must be called.
int parse_labels(const char *labels_json, label_set *set);
void release_labels(label_set *set);

// Writes the braced label list (set->text_len bytes) at dst; returns the end.
char *write_labels(char *dst, const label_set *set);

}  // namespace promfmt

#endif
