// SPDX-License-Identifier: MIT
// The writers compared by the benchmark, all fed the same families.
#ifndef PROMFMT_BENCH_WRITERS_H
#define PROMFMT_BENCH_WRITERS_H

#include <prometheus/metric_family.h>

#include <string>
#include <vector>

#include "promfmt.h"
#include "workload.h"

namespace bench {

// promfmt through its C interface: HELP, TYPE and one emit per sample.
int write_promfmt(promfmt_buffer_t *buf, const std::vector<Family> &families);

// prometheus-cpp's TextSerializer over its own structures (labels parsed).
std::vector<prometheus::MetricFamily> to_prometheus_cpp(const std::vector<Family> &families);
std::string write_prometheus_cpp(const std::vector<prometheus::MetricFamily> &families);

// A naive writer: std::string appends and snprintf("%.14g") over parsed labels.
void write_naive(std::string &out, const std::vector<Family> &families);

// The work no writer can avoid: parse every labels text with yyjson, render
// every value with std::to_chars, and copy the finished text.
size_t write_floor(const std::vector<Family> &families, const std::string &finished, char *dst);

}  // namespace bench

#endif
