// SPDX-License-Identifier: MIT
// Sorting a sample's labels by name, in byte order (the order of strcmp).
#ifndef PROMFMT_LABEL_SORT_H
#define PROMFMT_LABEL_SORT_H

#include <cstddef>
#include <cstdint>

#include "label_pair.h"

namespace promfmt {

// Orders the labels pairs[0..n), whose names are valid label names, by
// name; their name codes were made as coding says, and are made the codes
// of the bytes from coding.shared on here. On return order[i] is the index
// in pairs of the i-th label in name order. order and tmp each have room
// for n numbers. Labels already in order, or in reverse order, cost one
// pass; a prefix that all names share costs nothing once it is known.
// Returns true when two labels have the same name (the order is complete
// all the same). sort_few() takes n <= kFewLabels, whose names carry
// label_name_key(); sort_many() takes the rest.
bool sort_few(const label_pair *pairs, size_t n, uint64_t *order);
bool sort_many(label_pair *pairs, size_t n, const name_coding &coding, uint64_t *order,
               uint64_t *tmp);

inline bool sort_labels(label_pair *pairs, size_t n, const name_coding &coding, uint64_t *order,
                        uint64_t *tmp)
{
    // A handful of names carry keys and need only an insertion sort.
    return n <= kFewLabels ? sort_few(pairs, n, order) : sort_many(pairs, n, coding, order, tmp);
}

// True when two labels have the same name.
bool same_name(const label_pair &a, const label_pair &b);

}  // namespace promfmt

#endif
