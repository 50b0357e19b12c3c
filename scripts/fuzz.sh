#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs each for a
# bounded time, starting from the committed seed corpus.
#   scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 20)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPROMFMT_BUILD_FUZZ=ON \
  -DPROMFMT_BUILD_TESTS=OFF -DPROMFMT_BUILD_EXAMPLES=OFF \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build-fuzz -j "$jobs" >/dev/null

status=0
for name in fuzz_sample fuzz_meta fuzz_escape fuzz_shortcut; do
  target=promfmt_$name  # the executable; its seeds are in fuzz/corpus/$name
  work=build-fuzz/corpus-work/$target
  artifacts=build-fuzz/artifacts/$target/
  mkdir -p "$work" "$artifacts"
  cp -n fuzz/corpus/$name/* "$work"/ 2>/dev/null || true
  log=build-fuzz/$target.log
  if build-fuzz/fuzz/$target -max_total_time="$seconds" -max_len=4096 -timeout=10 \
      -rss_limit_mb=2048 -dict=fuzz/json.dict -artifact_prefix="$artifacts" \
      -print_final_stats=1 "$work" fuzz/corpus/$name >"$log" 2>&1; then
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$')
    echo "fuzz: $target: ${runs:-?} executions in ${seconds}s, no finding"
  else
    echo "fuzz: $target FAILED (artifacts in $artifacts):" >&2
    grep -E 'oracle:|ERROR|runtime error|SUMMARY' "$log" | head -20 >&2
    status=1
  fi
done
exit $status
