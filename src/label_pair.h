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
    uint64_t name_code;  // for sorting: see name_coding
    const char *value;
    size_t value_len;    // bytes at value
    size_t escaped_len;  // bytes once escaped; equal to value_len when the
                         // value needs no escaping (or is already escaped)
};

// A handful of labels, the common case, sort by label_name_key() (cheap
// to make) with whole names deciding ties; larger sets by codes.
constexpr size_t kFewLabels = 4;

// How the names of a label set were coded for sorting. The first
// kFewLabels pairs carry label_name_key() of the name; the sort codes them
// when there are more. Each other name_code is label_name_code() of the
// name's bytes from `shared` on (the bytes all names share from the
// start; 0 when not known), except for the pairs from kFewLabels up to
// recode_below, read while the shared prefix seemed longer: they come in
// runs, each coded from its own offset (run[r].from, for the pairs from
// the end of the run before, or kFewLabels, up to run[r].end). runs is
// kRunsLost when there were too many runs to keep.
constexpr size_t kCodedRuns = 4;
constexpr size_t kRunsLost = SIZE_MAX;

struct coded_run {
    size_t end;
    size_t from;
};

struct name_coding {
    size_t shared;
    size_t recode_below;
    size_t runs;
    coded_run run[kCodedRuns];
};

}  // namespace promfmt

#endif
