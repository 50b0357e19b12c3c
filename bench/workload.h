// SPDX-License-Identifier: MIT
// The benchmark's workload: metric families with labels given as JSON text
// (for promfmt) and as parsed pairs (for the writers that take them parsed).
#ifndef PROMFMT_BENCH_WORKLOAD_H
#define PROMFMT_BENCH_WORKLOAD_H

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace bench {

struct Sample {
    std::string labels_json;                                 // reverse name order
    std::vector<std::pair<std::string, std::string>> labels; // sorted by name
    double value;
};

struct Family {
    std::string name, help;
    std::vector<Sample> samples;
};

struct Shape {
    size_t families = 1000;
    size_t samples_per_family = 10;
    size_t labels_per_sample = 3;
    size_t value_len = 0;  // 0: short realistic values; otherwise this many bytes
};

// Deterministic: the same shape always gives the same families.
std::vector<Family> make_workload(const Shape &shape);

size_t sample_count(const std::vector<Family> &families);

}  // namespace bench

#endif
