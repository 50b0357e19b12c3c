// SPDX-License-Identifier: MIT
// Sorting a sample's labels by name, in byte order (the order of strcmp).
#ifndef PROMFMT_LABEL_SORT_H
#define PROMFMT_LABEL_SORT_H

#include <cstddef>
#include <cstdint>

#include "label_pair.h"

namespace promfmt {

// A label to sort: the first 16 bytes of its name as two numbers that
// compare as the bytes do (zero-padded: a name holds no NUL, so a shorter
// name sorts first); the pair's name decides the rare tie beyond 16 bytes.
struct sort_key {
    uint64_t hi, lo;
    const label_pair *pair;
};

sort_key make_sort_key(const label_pair *pair);

// Orders keys[0..n) by name. tmp has room for n keys. Input already in
// order, or in reverse order, costs one pass.
void sort_keys(sort_key *keys, sort_key *tmp, size_t n);

// True when two keys name the same label.
bool same_name(const sort_key &a, const sort_key &b);

}  // namespace promfmt

#endif
