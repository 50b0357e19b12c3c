#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Tests the Python, C# and Go bindings against the real library as a user
# gets it: built (into build-bindings, unless BUILD_DIR already holds the
# library), installed with `cmake --install` into a temporary prefix, and
# found from there by each binding's normal route. Each suite is bounded in
# time; one summary line per binding, exit status non-zero if any failed.
#
# Usage: scripts/test-bindings.sh [BUILD_DIR]
# Needs: python3-venv, python3-pip, python3-setuptools,
#        python3-prometheus-client, mono-mcs, mono-runtime, golang-go,
#        golang-github-prometheus-common-dev, pkg-config, libyyjson-dev.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
soname=libvelkaron-prometheus-promfmt.so.1

die() { echo "test-bindings: $*" >&2; exit 1; }
for tool in /usr/bin/python3 mcs mono go pkg-config; do
  command -v "$tool" >/dev/null || die "$tool not found (see the package list at the top)"
done

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

# Runs one suite: $1 the binding, $2 a function that prints its output and
# ends with "N passed, M failed". A suite that exits non-zero (a build
# error, a time-out) counts as failed whatever it printed. The suites run in
# an || context, where set -e does not apply: each step checks its status.
run_suite() {
  local name=$1 log=$tmp/$1.log started=$SECONDS status=0
  echo "== $name binding"
  "$2" >"$log" 2>&1 || status=$?
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

python_suite() {
  local venv=$tmp/venv
  /usr/bin/python3 -m venv --system-site-packages "$venv" || return
  # A copy, so the build leaves nothing behind in the source tree.
  cp -r bindings/python "$tmp/python-src" || return
  "$venv/bin/python" -m pip install --quiet --disable-pip-version-check \
    --no-build-isolation --no-index "$tmp/python-src" || return
  local out=$tmp/python-unittest.log status=0
  (cd "$tmp" && LD_LIBRARY_PATH=$prefix/lib PROMFMT_TEST_LIBDIR=$prefix/lib \
    timeout 120 "$venv/bin/python" -m unittest discover -s "$root/bindings/python/tests") \
    >"$out" 2>&1 || status=$?
  cat "$out"
  # unittest ends with "Ran N tests" and "OK" or "FAILED (failures=F, errors=E)".
  local ran bad
  ran=$(sed -nE 's/^Ran ([0-9]+) tests? in .*/\1/p' "$out")
  bad=$(sed -nE 's/^FAILED \((.*)\)$/\1/p' "$out" | grep -oE '(failures|errors)=[0-9]+' |
        awk -F= '{ n += $2 } END { print n + 0 }')
  echo "$((${ran:-0} - bad)) passed, $bad failed"
  return "$status"
}

csharp_suite() {
  local out=$tmp/csharp only=$tmp/soname-only
  mkdir -p "$out" "$only" || return
  mcs -target:library -warn:4 -warnaserror -out:"$out/Promfmt.dll" \
    bindings/csharp/src/*.cs || return
  cp bindings/csharp/src/Promfmt.dll.config "$out/" || return
  mcs -warn:4 -warnaserror -out:"$out/BindingTests.exe" -r:"$out/Promfmt.dll" \
    bindings/csharp/tests/*.cs || return
  # Only the runtime SONAME, as a runtime-only package installs it: no .so symlink.
  cp -L "$prefix/lib/$soname" "$only/$soname" || return
  (cd "$out" && LD_LIBRARY_PATH=$only PROMFMT_TEST_LIBDIR=$only timeout 60 mono BindingTests.exe)
}

go_suite() {
  local gopath=$tmp/gopath
  mkdir -p "$gopath/src" && cp -r bindings/go "$gopath/src/promfmt" || return
  [[ -n ${HOME:-} ]] || export GOCACHE=$root/build-bindings-gocache
  local out=$tmp/go-test.log status=0
  (cd "$gopath/src/promfmt" &&
    GO111MODULE=off GOPATH=$gopath:/usr/share/gocode GOPROXY=off GOFLAGS='' CGO_ENABLED=1 \
    PKG_CONFIG_PATH=$prefix/lib/pkgconfig LD_LIBRARY_PATH=$prefix/lib \
    PROMFMT_TEST_LIBDIR=$prefix/lib \
    timeout 300 go test -v -count=1 -timeout 120s -bench . -benchtime 200x .) \
    >"$out" 2>&1 || status=$?
  grep -vE '^(=== RUN|--- PASS|    --- PASS)' "$out" || true
  echo "$(grep -c '^--- PASS' "$out") passed, $(grep -c '^--- FAIL' "$out") failed"
  return "$status"
}

run_suite python python_suite
run_suite csharp csharp_suite
run_suite go go_suite

echo "== bindings summary"
printf '%s\n' "${summaries[@]}"
echo "bindings: $total_passed passed, $total_failed failed"
[[ $total_failed -eq 0 ]]
