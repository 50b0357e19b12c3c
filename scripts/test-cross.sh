#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the library and its unit, allocation-failure, thread and C++
# wrapper tests for s390x (64-bit big-endian, run under qemu-user) and for
# 32-bit x86 (run natively with the cross toolchain's own loader), and runs
# them; the wrapper's labels are then tested word-wise without SSE2. yyjson is
# compiled for each target from the yyjson 0.12.0 source folder that
# PROMFMT_YYJSON_SOURCE names (relative to the repository root), GoogleTest
# from Debian's source in /usr/src/googletest; both stay in the build
# directories build-s390x and build-i686.
#
#   PROMFMT_YYJSON_SOURCE=DIR scripts/test-cross.sh [s390x] [i686]   (default: both)
#
# Without PROMFMT_YYJSON_SOURCE it says it is skipped and exits 0.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
. tests/cross/yyjson_source.sh
need_yyjson_source "$root" "cross"
[[ -f /usr/src/googletest/CMakeLists.txt ]] ||
  { echo "cross: /usr/src/googletest is missing (package googletest)" >&2; exit 1; }
jobs=$(nproc 2>/dev/null || echo 2)
targets=(promfmt_tests promfmt_alloc_tests promfmt_thread_tests promfmt_route_tests
  promfmt_cxx_tests)

# yyjson as a static, position-independent archive for the target.
build_yyjson() {
  local triple=$1 dir=$2
  local lib=$dir/yyjson/libyyjson.a
  if [[ -f $lib && $lib -nt $yy/yyjson.c && $lib -nt $yy/yyjson.h ]]; then
    return
  fi
  mkdir -p "$dir/yyjson"
  timeout 300 "$triple-gcc" -O2 -fPIC -c "$yy/yyjson.c" -o "$dir/yyjson/yyjson.o"
  rm -f "$lib"
  "$triple-ar" rcs "$lib" "$dir/yyjson/yyjson.o"
}

# GoogleTest for the target, installed once into the build directory.
build_gtest() {
  local toolchain=$1 dir=$2
  [[ -f $dir/gtest/lib/cmake/GTest/GTestConfig.cmake ]] && return
  timeout 120 cmake -S /usr/src/googletest -B "$dir/gtest-build" \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release -DBUILD_GMOCK=OFF \
    -DCMAKE_INSTALL_PREFIX="$dir/gtest" -DCMAKE_INSTALL_LIBDIR=lib >/dev/null
  timeout 600 cmake --build "$dir/gtest-build" -j "$jobs" >/dev/null
  timeout 120 cmake --install "$dir/gtest-build" >/dev/null
}

# Runs one test program; prints its failures and adds to passed/failed.
run_tests() {
  local arch=$1 exe=$2 log=$3 rc=0 n
  shift 3
  timeout 600 "$@" "$exe" --gtest_brief=1 >"$log" 2>&1 || rc=$?
  n=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\?\..*/\1/p' "$log" | tail -n 1)
  passed=$((passed + ${n:-0}))
  n=$(grep -E '^\[  FAILED  \] [A-Za-z_].* \([0-9]+ ms\)$' "$log" | sort -u | wc -l || true)
  failed=$((failed + n))
  if [[ $rc -ne 0 ]]; then
    echo "$arch: $(basename "$exe") exited $rc (full log: $log)"
    grep -E '^\[  FAILED  \] [A-Za-z_]' "$log" | sort -u | sed 's/^/  /' || true
    if [[ $n -eq 0 ]]; then  # it stopped before reporting a test: count it once
      tail -n 20 "$log"
      failed=$((failed + 1))
    fi
  fi
}

# The target's locale files must be in its byte order: on a big-endian
# target, the comma-locale test's localedef is made to write them so.
big_endian_localedef() {
  local bin=$1/bin
  mkdir -p "$bin"
  printf '#!/bin/sh\nexec %s --big-endian "$@"\n' "$(command -v localedef)" >"$bin/localedef"
  chmod +x "$bin/localedef"
  echo "$bin"
}

# cross_test ARCH TRIPLE [RUNNER...]: build everything for one target and run it.
cross_test() {
  local arch=$1 triple=$2 start=$SECONDS
  shift 2
  local dir=$root/build-$arch toolchain=$root/cmake/toolchains/$triple.cmake
  for tool in "$triple-gcc" "$triple-g++" "$triple-ar" "${1:-true}"; do
    command -v "$tool" >/dev/null ||
      { echo "cross: $tool is missing (scripts/install-deps.sh --with-extras)" >&2; exit 1; }
  done
  echo "== $arch: yyjson, GoogleTest, the library and its tests"
  build_yyjson "$triple" "$dir"
  build_gtest "$toolchain" "$dir"
  timeout 120 cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPROMFMT_BUILD_TESTS=ON -DPROMFMT_BUILD_EXAMPLES=OFF \
    -DYYJSON_INCLUDE_DIR="$yy" -DYYJSON_LIBRARY="$dir/yyjson/libyyjson.a" \
    -DGTest_DIR="$dir/gtest/lib/cmake/GTest" >/dev/null
  local built=("${targets[@]}")
  [[ $arch == i686 ]] && built+=(promfmt_huge_tests)
  timeout 900 cmake --build "$dir" -j "$jobs" --target "${built[@]}" >/dev/null
  echo "== $arch: running ${built[*]}"
  mkdir -p "$dir/runs"
  passed=0 failed=0
  for t in "${targets[@]}"; do
    run_tests "$arch" "$dir/tests/$t" "$dir/runs/$t.log" "$@"
  done
  # 32-bit only: a labels text large enough to overflow the parser's
  # 32-bit memory estimate (the other huge cases need more than 32 bits).
  if [[ $arch == i686 ]]; then
    run_tests "$arch" "$dir/tests/promfmt_huge_tests" "$dir/runs/promfmt_huge_tests.log" \
      env GTEST_FILTER='Huge.ParsedLabelsTextBeyondTheParsersEstimate' "$@"
  fi
  summary+=("$arch: $passed passed, $failed failed ($((SECONDS - start)) s)")
  [[ $failed -eq 0 ]] || status=1
}

arches=("$@")
[[ ${#arches[@]} -gt 0 ]] || arches=(s390x i686)
summary=()
status=0
for arch in "${arches[@]}"; do
  case $arch in
    s390x)
      bin=$(big_endian_localedef "$root/build-s390x")
      cross_test s390x s390x-linux-gnu env PATH="$bin:$PATH" \
        qemu-s390x-static -L /usr/s390x-linux-gnu ;;
    i686) cross_test i686 i686-linux-gnu ;;
    *) echo "cross: unknown target '$arch' (s390x or i686)" >&2; exit 2 ;;
  esac
done
printf '%s\n' "${summary[@]}"
exit "$status"
