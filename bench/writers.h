// SPDX-License-Identifier: MIT
// The writers compared by the benchmark, all fed the same families.
#ifndef PROMFMT_BENCH_WRITERS_H
#define PROMFMT_BENCH_WRITERS_H

#include <string>
#include <vector>

#include "promfmt.h"
#include "promfmt.hpp"
#include "workload.h"

#ifdef PROMFMT_BENCH_PROMETHEUS_CPP
#include <prometheus/metric_family.h>
#endif

namespace bench {

// promfmt through its C interface: HELP, TYPE and one emit per sample, the
// labels as JSON text. Returns the number of failed calls.
int write_promfmt(promfmt_buffer_t *buf, const std::vector<Family> &families);

// The families as a C++ host holds them: names, help texts and label pairs
// as std::string_view (pairs in the labels text's order), and values.
struct CxxSample {
    std::vector<promfmt::cxx::label> labels;
    double value;
};
struct CxxFamily {
    std::string_view name, help;
    std::vector<CxxSample> samples;
};
std::vector<CxxFamily> to_cxx(const std::vector<Family> &families);

// promfmt through its C++ wrapper (promfmt.hpp), the labels given as pairs.
// Returns the number of failed calls.
int write_promfmt_cxx(promfmt::cxx::buffer &buf, const std::vector<CxxFamily> &families);

#ifdef PROMFMT_BENCH_PROMETHEUS_CPP
// prometheus-cpp's TextSerializer over its own structures, built beforehand
// with the labels sorted by name, as its registry keeps them.
std::vector<prometheus::MetricFamily> to_prometheus_cpp(const std::vector<Family> &families);
std::string write_prometheus_cpp(const std::vector<prometheus::MetricFamily> &families);
#endif

// A naive writer: std::string appends and snprintf("%.14g") over labels
// already parsed and sorted.
void write_naive(std::string &out, const std::vector<Family> &families);

// The same writer handed the labels in the labels text's order: it sorts a
// copy of each sample's labels with std::sort before writing them.
void write_naive_sorting(std::string &out, const std::vector<Family> &families);

// The work no writer can avoid: parse every labels text with yyjson, render
// every value with std::to_chars, and copy the finished text.
size_t write_floor(const std::vector<Family> &families, const std::string &finished, char *dst);

}  // namespace bench

#endif
