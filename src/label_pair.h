// SPDX-License-Identifier: MIT
// One label of a sample, as the label code and the sort share it.
#ifndef PROMFMT_LABEL_PAIR_H
#define PROMFMT_LABEL_PAIR_H

#include <cstddef>
#include <cstdint>

namespace promfmt {

// The name and the value point into the labels text, into the parsed
// document, or into number storage of the call; nothing is copied.
struct label_pair {
    const char *name;
    size_t name_len;
    uint64_t name_code;  // label_name_code() of the name, for sorting
    const char *value;
    size_t value_len;    // bytes at value
    size_t escaped_len;  // bytes once escaped; equal to value_len when the
                         // value needs no escaping (or is already escaped)
};

}  // namespace promfmt

#endif
