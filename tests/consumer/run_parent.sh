#!/bin/sh
# SPDX-License-Identifier: MIT
# promfmt inside a parent project (parent/), on a machine with no optional
# tool: through add_subdirectory with the parent's build type Debug, and
# through FetchContent (SOURCE_DIR, offline) with none. Each time the
# parent's build type, test list and install must be its own. Then, with
# every tool visible and promfmt's tests, examples and docs switched on,
# the parent's own docs and exporter targets must not clash with promfmt's.
#   run_parent.sh WORK_DIR SOURCE_DIR C_COMPILER CXX_COMPILER
set -eu
work=$1 src=$2 cc=$3 cxx=$4
here=$src/tests/consumer
. "$here/hide_tools.sh"
rm -rf "$work"
mkdir -p "$work"
HIDE_KEEP_PKG_CONFIG=1 hide_tools "$work/tools" "$cc" "$cxx"

fail() { echo "FAIL: $*" >&2; exit 1; }

# check_parent ROUTE BUILD_TYPE: configure, build, test and install the parent.
check_parent() {
    route=$1 type=$2 build=$work/$1
    echo "== parent through $route, CMAKE_BUILD_TYPE='$type', optional tools hidden"
    # shellcheck disable=SC2086
    hidden_cmake -S "$here/parent" -B "$build" $HIDDEN -DPARENT_ROUTE="$route" \
        -DPROMFMT_SOURCE_DIR="$src" ${type:+-DCMAKE_BUILD_TYPE=$type} >"$build.log" 2>&1 ||
        { cat "$build.log" >&2; fail "parent configure ($route)"; }
    grep '^-- promfmt' "$build.log" || true
    cached=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")
    [ "$cached" = "$type" ] || fail "parent's CMAKE_BUILD_TYPE is '$cached', not '$type'"
    echo "parent's CMAKE_BUILD_TYPE: '$cached'"
    hidden_cmake --build "$build" >"$build.build.log" 2>&1 ||
        { cat "$build.build.log" >&2; fail "parent build ($route)"; }
    tests=$(cd "$build" && hidden_ctest -N | sed -n 's/^ *Test *#[0-9]*: //p')
    [ "$tests" = "parent_exporter" ] || fail "parent's ctest lists: $tests"
    echo "parent's tests: $tests"
    (cd "$build" && hidden_ctest --output-on-failure >/dev/null) || fail "parent's test ($route)"
    rm -rf "$build.prefix"
    hidden_cmake --install "$build" --prefix "$build.prefix" >/dev/null
    files=$(cd "$build.prefix" && find . -type f | sort)
    [ "$files" = "./bin/exporter" ] || fail "parent's install holds: $files"
    echo "parent's install: $files"
}

check_parent subdirectory Debug
check_parent fetchcontent ""

echo "== PROMFMT_INSTALL=ON: the parent's install also installs promfmt"
build=$work/fetchcontent
hidden_cmake "$build" -DPROMFMT_INSTALL=ON >/dev/null
rm -rf "$build.prefix"
hidden_cmake --install "$build" --prefix "$build.prefix" >/dev/null
(cd "$build.prefix" && find . -type f | sort | sed 's/^/  /')
[ -f "$build.prefix/include/promfmt.h" ] || fail "PROMFMT_INSTALL=ON did not install promfmt.h"

echo "== every tool visible, promfmt's tests, examples and docs on: no target clash"
cmake -S "$here/parent" -B "$work/all-on" -G "Unix Makefiles" -DPROMFMT_SOURCE_DIR="$src" \
    -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" -DPROMFMT_BUILD_TESTS=ON \
    -DPROMFMT_BUILD_EXAMPLES=ON -DPROMFMT_BUILD_DOCS=ON >"$work/all-on.log" 2>&1 ||
    { cat "$work/all-on.log" >&2; fail "parent configure with promfmt's extras on"; }
# The parent's own docs and exporter are the ones built under those names.
cmake --build "$work/all-on" --target docs 2>&1 | grep -q "the parent's own docs" ||
    fail "the docs target is not the parent's"
cmake --build "$work/all-on" --target exporter >/dev/null 2>&1 || fail "the parent's exporter"
"$work/all-on/exporter" >/dev/null || fail "the parent's exporter does not run"
for t in promfmt_docs promfmt_exporter promfmt_hello promfmt_tests; do
    grep -q "$t" "$work/all-on/Makefile" "$work/all-on/build.ninja" 2>/dev/null ||
        echo "(no $t target here: its tool is missing)"
done
echo "parent: all routes ok"
