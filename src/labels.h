// SPDX-License-Identifier: MIT
// A sample's labels: parsed from the text of one JSON object, checked,
// converted to text, sorted by name and measured, before anything is
// written to the buffer.
#ifndef PROMFMT_LABELS_H
#define PROMFMT_LABELS_H

#include <cstddef>
#include <cstdint>

#include "buffer.h"
#include "label_pair.h"
#include "label_sort.h"
#include "number.h"

struct yyjson_doc;

namespace promfmt {

// Labels up to this count, and labels texts whose parse fits the arena, use
// storage inside the set (on the caller's stack); more use the buffer's
// working memory, which stays with the buffer for the next call.
constexpr size_t kInlinePairs = 16;
constexpr size_t kParseArena = 8192;

struct label_set {
    promfmt_buffer_t *buf;
    yyjson_doc *doc;              // NULL when the text took the shortcut
    bool doc_in_arena;            // the arena's memory needs no freeing
    bool used_scratch;            // the buffer's working memory, trimmed on release
    label_pair *pairs;            // in document order
    size_t count;
    size_t capacity;              // pairs that fit at pairs
    uint64_t *order;              // pair indices in name order, then room to sort
    char (*numbers)[kNumberMax];  // one number text per pair (parsed texts)
    size_t text_len;              // bytes of {a="x",b="y"}; 0 without labels
    const kept_labels *kept;      // the kept names, when the text repeated
                                  // them: only the pairs' values are set
    name_coding coding;           // how the pairs' name codes were made
    label_pair inline_pairs[kInlinePairs];
    uint64_t inline_order[2 * kInlinePairs];
    char inline_numbers[kInlinePairs][kNumberMax];
    alignas(16) unsigned char arena[kParseArena];
};

// Fills set from labels_json (NULL, empty or whitespace-only means no
// labels), using buf's working memory for large label sets. 0 on success;
// -1 with the last-error text set and nothing left to release. After
// success, release_labels() must be called. Without allow_shortcut every
// text goes to the parser (the tests compare the two routes).
int parse_labels(promfmt_buffer_t *buf, const char *labels_json, label_set *set,
                 bool allow_shortcut = true);
// Gives back what parse_labels() took: the parsed document, and working
// memory beyond what the buffer keeps. Texts the scanner took in hold
// neither, and pass at once.
void release_held(label_set *set);
inline void release_labels(label_set *set)
{
    if (set->doc || set->used_scratch)
        release_held(set);
}

// Writes the braced label list (set->text_len bytes) at dst; returns the end.
char *write_labels(char *dst, const label_set *set);

}  // namespace promfmt

#endif
