#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Tests the bindings (Python, C#, Go, Rust, Node) against the real library as a
# user gets it: built (into build-bindings, unless BUILD_DIR already holds the
# library), installed with `cmake --install` into a temporary prefix, and
# found from there by each binding's normal route. Each suite is bounded in
# time; one summary line per binding, exit status non-zero if any failed.
#
# Usage: scripts/test-bindings.sh [BUILD_DIR]
# Each binding's script (scripts/test-LANG.sh) says what it needs.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
soname=libvelkaron-prometheus-promfmt.so.1

die() { echo "test-bindings: $*" >&2; exit 1; }

build=${1:-}
if [[ -z $build || ! -e $build/$soname ]]; then
  build="build-bindings"
  echo "== building the library in $build"
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPROMFMT_BUILD_TESTS=OFF \
    -DPROMFMT_BUILD_EXAMPLES=OFF >/dev/null
  cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
[[ -e $prefix/lib/$soname ]] || die "cmake --install put no $soname in $prefix/lib"
# Every suite must find the installed copy by its own route, never this one.
unset PROMFMT_LIBRARY

summaries=()
total_passed=0
total_failed=0

# Runs one suite: $1 the binding, then the command that prints its output
# and ends with "N passed, M failed". A suite that exits non-zero (a build
# error, a time-out) counts as failed whatever it printed. The suites run in
# an || context, where set -e does not apply: each step checks its status.
run_suite() {
  local name=$1 log=$tmp/$1.log started=$SECONDS status=0
  shift
  echo "== $name binding"
  "$@" >"$log" 2>&1 || status=$?
  cat "$log"
  local passed=0 failed=0 counts
  counts=$(sed -nE 's/^([0-9]+) passed, ([0-9]+) failed$/\1 \2/p' "$log" | tail -1)
  [[ -n $counts ]] && read -r passed failed <<<"$counts"
  if [[ $status -ne 0 ]]; then
    echo "$name: exit status $status after $((SECONDS - started)) s"
    [[ $failed -gt 0 ]] || failed=1
  else
    echo "$name: finished in $((SECONDS - started)) s"
  fi
  total_passed=$((total_passed + passed))
  total_failed=$((total_failed + failed))
  summaries+=("$name: $passed passed, $failed failed")
}

# Each binding's suite lives in scripts/test-LANG.sh and takes the prefix.
for lang in python csharp go rust node; do
  run_suite "$lang" bash "scripts/test-$lang.sh" "$prefix"
done

echo "== bindings summary"
printf '%s\n' "${summaries[@]}"
echo "bindings: $total_passed passed, $total_failed failed"
[[ $total_failed -eq 0 ]]
