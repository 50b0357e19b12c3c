#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs the whole test suite on a fresh machine: installs what is missing,
# then runs the normal build's tests (valgrind, real readers, Prometheus
# server, packaging included), the bindings, the documentation and the
# example exporter under load, the same tests under clang's ASan + UBSan,
# the thread test under ThreadSanitizer, the Windows DLL under wine and the
# unit tests on s390x and 32-bit x86 (these two need the yyjson 0.12.0
# source folder named by PROMFMT_YYJSON_SOURCE, which .ci/run sets), one
# short benchmark iteration, and the fuzz targets (libFuzzer, and the Go
# text parser as oracle) for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh --all
jobs=$(nproc 2>/dev/null || echo 2)

echo "== build (g++, RelWithDebInfo) and test"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPROMFMT_BUILD_TESTS=ON \
  -DPROMFMT_BUILD_EXAMPLES=ON >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build -j "$jobs" --output-on-failure
grep -hE '^\[ peak RSS \]|samples, [0-9]+ bytes|allocation-failure cases' \
  build/Testing/Temporary/LastTest.log || true

echo "== bindings (Python, C#, Go, Rust, Node) against the installed library"
bash scripts/test-bindings.sh build

echo "== release artifacts (scripts/package.sh), each installed and used outside the checkout"
bash scripts/test-packages.sh

echo "== documentation, guide examples, example exporter (promtool, load)"
bash scripts/test-docs.sh build-docs

echo "== build (clang, ASan + UBSan) and test"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DPROMFMT_SANITIZE=ON -DPROMFMT_BUILD_TESTS=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build-asan -j "$jobs"
ctest --test-dir build-asan -j "$jobs" --output-on-failure

echo "== the Python extension under ASan + UBSan (clang, the runtime preloaded)"
bash scripts/test-python.sh --asan

echo "== build (clang, ThreadSanitizer) and the thread tests"
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPROMFMT_SANITIZE_THREAD=ON \
  -DPROMFMT_BUILD_EXAMPLES=OFF -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build-tsan -j "$jobs" --target promfmt_thread_tests
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan --output-on-failure

echo "== the Windows DLL under wine, byte-identical to Linux"
bash scripts/test-windows.sh

echo "== unit tests on s390x (big-endian, qemu-user) and 32-bit x86"
bash scripts/test-cross.sh

echo "== benchmark, one short iteration (times are not checked)"
bash scripts/bench.sh --quick >/dev/null
echo "benchmark ran"

echo "== fuzz targets (libFuzzer, bounded time)"
bash scripts/fuzz.sh "${FUZZ_SECONDS:-20}"

echo "== fuzz: the Go text parser reads back every accepted line"
bash scripts/fuzz-reader.sh "${READER_FUZZ_SECONDS:-60}"
