// SPDX-License-Identifier: MIT
// Side-by-side benchmark of promfmt, prometheus-cpp's TextSerializer, a
// naive writer and the floor, on the standard scrape and on scaled ones.
// Times are reported, never asserted. bench/report.py turns the JSON output
// into the ratio and scaling tables.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "promfmt.h"
#include "buffer.h"
#include "workload.h"
#include "writers.h"

extern std::atomic<unsigned long> g_bench_allocations;

namespace {

using bench::Family;
using bench::Shape;

const std::vector<Family> &workload(const Shape &shape)
{
    static std::map<std::tuple<size_t, size_t, size_t, size_t>, std::vector<Family>> cache;
    auto key = std::make_tuple(shape.families, shape.samples_per_family, shape.labels_per_sample,
                               shape.value_len);
    auto it = cache.find(key);
    if (it == cache.end())
        it = cache.emplace(key, bench::make_workload(shape)).first;
    return it->second;
}

void set_per_sample(benchmark::State &state, size_t samples)
{
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * samples));
    state.counters["ns_per_sample"] = benchmark::Counter(
        static_cast<double>(samples) * 1e-9,
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

double peak_rss_mib()
{
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

void run_promfmt(benchmark::State &state, const Shape &shape)
{
    const std::vector<Family> &families = workload(shape);
    size_t samples = bench::sample_count(families);
    std::unique_ptr<promfmt_buffer_t, void (*)(promfmt_buffer_t *)> buf(
        promfmt_buffer_create(0), promfmt_buffer_free);

    // One scrape outside the timing: it grows the buffer and counts the
    // allocations of a steady-state scrape.
    if (bench::write_promfmt(buf.get(), families) != 0) {
        state.SkipWithError(promfmt_last_error());
        return;
    }
    promfmt_buffer_reset(buf.get());
    unsigned long before = g_bench_allocations.load();
    bench::write_promfmt(buf.get(), families);
    unsigned long allocations = g_bench_allocations.load() - before;
    size_t capacity = buf->capacity;

    for (auto _ : state) {
        promfmt_buffer_reset(buf.get());
        bench::write_promfmt(buf.get(), families);
        benchmark::DoNotOptimize(promfmt_buffer_data(buf.get()));
    }
    if (buf->capacity != capacity)
        state.SkipWithError("the reused buffer grew after the first scrape");
    set_per_sample(state, samples);
    state.counters["allocs_per_sample"] = static_cast<double>(allocations) / samples;
    state.counters["bytes_per_scrape"] = static_cast<double>(promfmt_buffer_len(buf.get()));
    state.counters["peak_rss_mib"] = peak_rss_mib();
}

void run_prometheus_cpp(benchmark::State &state, const Shape &shape)
{
    const std::vector<Family> &families = workload(shape);
    auto converted = bench::to_prometheus_cpp(families);
    for (auto _ : state)
        benchmark::DoNotOptimize(bench::write_prometheus_cpp(converted));
    set_per_sample(state, bench::sample_count(families));
}

void run_naive(benchmark::State &state, const Shape &shape)
{
    const std::vector<Family> &families = workload(shape);
    std::string out;
    for (auto _ : state) {
        out.clear();
        bench::write_naive(out, families);
        benchmark::DoNotOptimize(out.data());
    }
    set_per_sample(state, bench::sample_count(families));
}

void run_floor(benchmark::State &state, const Shape &shape)
{
    const std::vector<Family> &families = workload(shape);
    promfmt_buffer_t *buf = promfmt_buffer_create(0);
    bench::write_promfmt(buf, families);
    std::string finished(promfmt_buffer_data(buf), promfmt_buffer_len(buf));
    promfmt_buffer_free(buf);
    std::vector<char> dst(finished.size() + 1);
    for (auto _ : state)
        benchmark::DoNotOptimize(bench::write_floor(families, finished, dst.data()));
    set_per_sample(state, bench::sample_count(families));
}

// ---- The standard scrape: 1000 gauge families x 10 samples x 3 labels.
void BM_Standard_promfmt(benchmark::State &s) { run_promfmt(s, Shape{}); }
void BM_Standard_prometheus_cpp(benchmark::State &s) { run_prometheus_cpp(s, Shape{}); }
void BM_Standard_naive(benchmark::State &s) { run_naive(s, Shape{}); }
void BM_Standard_floor(benchmark::State &s) { run_floor(s, Shape{}); }
BENCHMARK(BM_Standard_promfmt)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Standard_prometheus_cpp)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Standard_naive)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Standard_floor)->Unit(benchmark::kMicrosecond);

// ---- Scaling: samples per scrape (families of 10 samples, 3 labels).
void BM_Samples_promfmt(benchmark::State &s)
{
    Shape shape;
    shape.families = static_cast<size_t>(s.range(0)) / 10;
    run_promfmt(s, shape);
}
BENCHMARK(BM_Samples_promfmt)->Arg(10)->Arg(100)->Arg(1000)->Arg(10000)->Arg(100000)
    ->Arg(1000000)->Unit(benchmark::kMicrosecond);

// ---- Scaling: labels per sample (100 families of 10 samples).
Shape labels_shape(benchmark::State &s)
{
    Shape shape;
    shape.families = 100;
    shape.labels_per_sample = static_cast<size_t>(s.range(0));
    return shape;
}
void BM_Labels_promfmt(benchmark::State &s) { run_promfmt(s, labels_shape(s)); }
void BM_Labels_prometheus_cpp(benchmark::State &s) { run_prometheus_cpp(s, labels_shape(s)); }
void BM_Labels_naive(benchmark::State &s) { run_naive(s, labels_shape(s)); }
#define LABEL_ARGS ->Arg(0)->Arg(1)->Arg(3)->Arg(10)->Arg(64)->Unit(benchmark::kMicrosecond)
BENCHMARK(BM_Labels_promfmt) LABEL_ARGS;
BENCHMARK(BM_Labels_prometheus_cpp) LABEL_ARGS;
BENCHMARK(BM_Labels_naive) LABEL_ARGS;

// ---- Scaling: label-value length (10 families of 10 samples, 3 labels).
void BM_ValueLen_promfmt(benchmark::State &s)
{
    Shape shape;
    shape.families = 10;
    shape.value_len = static_cast<size_t>(s.range(0));
    run_promfmt(s, shape);
}
BENCHMARK(BM_ValueLen_promfmt)->Arg(8)->Arg(64)->Arg(512)->Arg(4096)->Arg(65536)
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
