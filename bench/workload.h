// SPDX-License-Identifier: MIT
// The benchmark's workloads: metric families whose labels come as JSON text
// (for promfmt) and as parsed pairs sorted by name (for the writers that are
// handed them parsed). Every workload has an id ("standard",
// "labels_random/64", ...) shared with the Go and Python peers, which read
// the same families from a workload file written by write_workload_file().
#ifndef PROMFMT_BENCH_WORKLOAD_H
#define PROMFMT_BENCH_WORKLOAD_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace bench {

using Label = std::pair<std::string, std::string>;

struct Sample {
    std::string labels_json;      // the JSON text, members in the workload's order
    std::vector<Label> labels;    // the same labels, sorted by name
    std::vector<uint16_t> order;  // labels[order[i]] is the JSON text's i-th member
    double value;
};

struct Family {
    std::string name, help;
    std::vector<Sample> samples;
};

// Reverse: every labels text lists its members in reverse name order (one
// order for all samples). Random: a fresh permutation for every sample.
enum class Order { Reverse, Random };

struct Shape {
    size_t families = 1000;
    size_t samples_per_family = 10;
    size_t labels_per_sample = 3;
    size_t value_len = 0;       // 0: short values ("value-12345"); otherwise this many bytes
    Order order = Order::Reverse;
    unsigned quote_percent = 6;  // label values holding a double quote (and, at
                                 // half that rate, a backslash too when > 6)
    std::string name_prefix;     // put before label names, as exporters that copy
                                 // object metadata into labels do
    bool prefix_every_other = false;  // only every other name gets the prefix
};

struct Workload {
    std::string id;
    Shape shape;
    bool with_floor;  // the floor is measured on this workload too
};

// Every timed workload, in a fixed order.
const std::vector<Workload> &catalogue();

// A small untimed workload whose output every writer produces once, to
// check that all of them are fed the same families.
const Workload &check_workload();

// The workload with this id (catalogue or check), or nullptr.
const Workload *find_workload(const std::string &id);

// Deterministic: the same shape always gives the same families, and the two
// orders of one shape give the same labels and values.
std::vector<Family> make_workload(const Shape &shape);

size_t sample_count(const std::vector<Family> &families);

// Longest labels text of the families, in bytes.
size_t max_labels_text(const std::vector<Family> &families);

// Writes the families for the peers, one line each, tab-separated:
//   F <name> <help>
//   S <value as %.17g> <label name> <label value> ...  (the JSON text's order)
// Label values never hold a tab or a line feed. Returns false on I/O error.
bool write_workload_file(const std::string &path, const std::string &id,
                         const std::vector<Family> &families);

}  // namespace bench

#endif
