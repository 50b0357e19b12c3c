#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the benchmark (optimised) and runs it: promfmt side by side with
# prometheus-cpp, a naive writer and the floor, then prints the ratio,
# scaling and memory tables.
#   scripts/bench.sh              full run (repetitions interleaved; a few minutes)
#   scripts/bench.sh --quick      one short iteration of everything (CI)
#   scripts/bench.sh --plot F.png also draw the labels-per-sample plot
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh --with-extras >&2
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DPROMFMT_BUILD_BENCH=ON \
  -DPROMFMT_BUILD_TESTS=OFF -DPROMFMT_BUILD_EXAMPLES=OFF >/dev/null
cmake --build build-bench -j "$(nproc 2>/dev/null || echo 2)" --target bench_scrape >&2

out=build-bench/bench.json
args=(--benchmark_out="$out" --benchmark_out_format=json)
plot=()
case "${1:-}" in
  --quick) args+=(--benchmark_min_time=0.01) ;;
  --plot) plot=(--plot "$2") ;;
esac
if [[ "${1:-}" != --quick ]]; then
  args+=(--benchmark_repetitions=10 --benchmark_enable_random_interleaving=true
         --benchmark_min_time=0.1)
fi
./build-bench/bench/bench_scrape "${args[@]}" >/dev/null
# Peak memory of the standard scrape alone, in a process of its own.
./build-bench/bench/bench_scrape --benchmark_filter='^BM_Standard_promfmt$' \
  --benchmark_min_time=0.05 --benchmark_out=build-bench/bench-rss.json \
  --benchmark_out_format=json >/dev/null
/usr/bin/python3 bench/report.py "$out" --rss build-bench/bench-rss.json "${plot[@]}"
