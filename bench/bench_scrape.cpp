// SPDX-License-Identifier: MIT
// Side-by-side benchmark of promfmt, prometheus-cpp's TextSerializer, a
// naive writer (also as one that sorts each sample's labels itself, on the
// workloads with many labels) and the floor over every workload of the
// catalogue, and of promfmt through its C++ wrapper (promfmt_cxx) on the
// standard scrape. Each
// benchmark is named "<workload id>:<writer>" and reports CPU ns per sample;
// promfmt's also report heap allocations per sample in steady state. Times
// are reported, never asserted: scripts/bench.sh runs this binary once per
// round beside the Go and Python peers and bench/report.py takes the medians.
//
// Two extra modes serve the peers and the output check:
//   promfmt_bench_scrape --write-workloads DIR   workload files + DIR/index.txt
//   promfmt_bench_scrape --dump WRITER ID        one writer's output for a workload
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "buffer.h"
#include "promfmt.h"
#include "workload.h"
#include "writers.h"

extern std::atomic<unsigned long> g_bench_allocations;

namespace {

using bench::Family;
using bench::Workload;

const std::vector<Family> &families_of(const Workload &w)
{
    static std::map<std::string, std::vector<Family>> cache;
    auto it = cache.find(w.id);
    if (it == cache.end())
        it = cache.emplace(w.id, bench::make_workload(w.shape)).first;
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

using BufferPtr = std::unique_ptr<promfmt_buffer_t, void (*)(promfmt_buffer_t *)>;

BufferPtr new_buffer() { return BufferPtr(promfmt_buffer_create(0), promfmt_buffer_free); }

void run_promfmt(benchmark::State &state, const Workload &w)
{
    const std::vector<Family> &families = families_of(w);
    size_t samples = bench::sample_count(families);
    BufferPtr buf = new_buffer();

    // One scrape outside the timing grows the buffer; the second one counts
    // the allocations of a steady-state scrape.
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
    state.counters["labels_text_max"] = static_cast<double>(bench::max_labels_text(families));
    state.counters["bytes_per_scrape"] = static_cast<double>(promfmt_buffer_len(buf.get()));
    state.counters["peak_rss_mib"] = peak_rss_mib();
}

// promfmt through the C++ wrapper, from C++ values; counted as run_promfmt
// counts: the second scrape into the grown buffer is the steady state.
void run_promfmt_cxx(benchmark::State &state, const Workload &w)
{
    const std::vector<Family> &families = families_of(w);
    const std::vector<bench::CxxFamily> values = bench::to_cxx(families);
    size_t samples = bench::sample_count(families);
    promfmt::cxx::buffer buf;
    if (bench::write_promfmt_cxx(buf, values) != 0) {
        state.SkipWithError(promfmt_last_error());
        return;
    }
    buf.reset();
    unsigned long before = g_bench_allocations.load();
    bench::write_promfmt_cxx(buf, values);
    unsigned long allocations = g_bench_allocations.load() - before;

    for (auto _ : state) {
        buf.reset();
        bench::write_promfmt_cxx(buf, values);
        benchmark::DoNotOptimize(buf.data());
    }
    set_per_sample(state, samples);
    state.counters["allocs_per_sample"] = static_cast<double>(allocations) / samples;
}

#ifdef PROMFMT_BENCH_PROMETHEUS_CPP
void run_prometheus_cpp(benchmark::State &state, const Workload &w)
{
    const std::vector<Family> &families = families_of(w);
    auto converted = bench::to_prometheus_cpp(families);
    for (auto _ : state)
        benchmark::DoNotOptimize(bench::write_prometheus_cpp(converted));
    set_per_sample(state, bench::sample_count(families));
}
#endif

template <void (*write)(std::string &, const std::vector<Family> &)>
void run_string_writer(benchmark::State &state, const Workload &w)
{
    const std::vector<Family> &families = families_of(w);
    std::string out;
    write(out, families);  // grows the string once
    for (auto _ : state) {
        out.clear();
        write(out, families);
        benchmark::DoNotOptimize(out.data());
    }
    set_per_sample(state, bench::sample_count(families));
}

void run_floor(benchmark::State &state, const Workload &w)
{
    const std::vector<Family> &families = families_of(w);
    BufferPtr buf = new_buffer();
    bench::write_promfmt(buf.get(), families);
    std::string finished(promfmt_buffer_data(buf.get()), promfmt_buffer_len(buf.get()));
    std::vector<char> dst(finished.size() + 1);
    for (auto _ : state)
        benchmark::DoNotOptimize(bench::write_floor(families, finished, dst.data()));
    set_per_sample(state, bench::sample_count(families));
}

void register_all()
{
    using Runner = void (*)(benchmark::State &, const Workload &);
    for (const Workload &w : bench::catalogue()) {
        std::vector<std::pair<const char *, Runner>> writers = {
            {"promfmt", run_promfmt}, {"naive", run_string_writer<bench::write_naive>}};
        if (w.shape.labels_per_sample >= 64)
            writers.emplace_back("naive_sorting", run_string_writer<bench::write_naive_sorting>);
#ifdef PROMFMT_BENCH_PROMETHEUS_CPP
        writers.emplace_back("prometheus_cpp", run_prometheus_cpp);
#endif
        if (w.with_floor)
            writers.emplace_back("floor", run_floor);
        if (w.id == "standard")
            writers.emplace_back("promfmt_cxx", run_promfmt_cxx);
        for (const auto &[writer, run] : writers) {
            Runner fn = run;
            const Workload *wp = &w;
            benchmark::RegisterBenchmark((w.id + ":" + writer).c_str(),
                                         [fn, wp](benchmark::State &s) { fn(s, *wp); })
                ->Unit(benchmark::kMicrosecond);
        }
    }
}

// ---- The modes that serve the peers and the output check.

int write_workloads(const std::string &dir)
{
    std::string index_path = dir + "/index.txt";
    FILE *index = fopen(index_path.c_str(), "w");
    if (!index) {
        perror(index_path.c_str());
        return 1;
    }
    std::vector<const Workload *> all = {&bench::check_workload()};
    for (const Workload &w : bench::catalogue())
        all.push_back(&w);
    for (const Workload *w : all) {
        std::string file = w->id;
        for (char &c : file)
            c = c == '/' ? '_' : c;
        file += ".txt";
        std::vector<Family> families = bench::make_workload(w->shape);
        if (!bench::write_workload_file(dir + "/" + file, w->id, families)) {
            perror(file.c_str());
            fclose(index);
            return 1;
        }
        fprintf(index, "%s\t%s\t%zu\n", w->id.c_str(), file.c_str(),
                bench::sample_count(families));
    }
    return fclose(index) == 0 ? 0 : 1;
}

int dump(const std::string &writer, const std::string &id)
{
    const Workload *w = bench::find_workload(id);
    if (!w) {
        fprintf(stderr, "no workload %s\n", id.c_str());
        return 2;
    }
    std::vector<Family> families = bench::make_workload(w->shape);
    std::string text;
    if (writer == "promfmt") {
        BufferPtr buf = new_buffer();
        if (bench::write_promfmt(buf.get(), families) != 0) {
            fprintf(stderr, "promfmt: %s\n", promfmt_last_error());
            return 1;
        }
        text.assign(promfmt_buffer_data(buf.get()), promfmt_buffer_len(buf.get()));
    } else if (writer == "promfmt_cxx") {
        promfmt::cxx::buffer buf;
        if (bench::write_promfmt_cxx(buf, bench::to_cxx(families)) != 0) {
            fprintf(stderr, "promfmt_cxx: %s\n", promfmt_last_error());
            return 1;
        }
        text = buf.view();
    } else if (writer == "naive") {
        bench::write_naive(text, families);
    } else if (writer == "naive_sorting") {
        bench::write_naive_sorting(text, families);
#ifdef PROMFMT_BENCH_PROMETHEUS_CPP
    } else if (writer == "prometheus_cpp") {
        text = bench::write_prometheus_cpp(bench::to_prometheus_cpp(families));
#endif
    } else {
        fprintf(stderr, "no writer %s in this build\n", writer.c_str());
        return 2;
    }
    fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && strcmp(argv[1], "--write-workloads") == 0)
        return write_workloads(argv[2]);
    if (argc == 4 && strcmp(argv[1], "--dump") == 0)
        return dump(argv[2], argv[3]);
    register_all();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
