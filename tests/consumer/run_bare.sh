#!/bin/sh
# SPDX-License-Identifier: MIT
# promfmt built on its own where only a compiler, CMake, make and yyjson
# exist (no pkg-config, GoogleTest, cpp-httplib, Doxygen, valgrind, Python,
# Prometheus, clang or mingw): the configure must succeed, say in one line
# per tool what it skipped, and build the library and hello.
#   run_bare.sh WORK_DIR SOURCE_DIR C_COMPILER CXX_COMPILER
set -eu
work=$1 src=$2 cc=$3 cxx=$4
. "$src/tests/consumer/hide_tools.sh"
rm -rf "$work"
mkdir -p "$work"
hide_tools "$work/tools" "$cc" "$cxx"
build=$work/build

# shellcheck disable=SC2086
hidden_cmake -S "$src" -B "$build" $HIDDEN >"$work/configure.log" 2>&1 ||
    { cat "$work/configure.log" >&2; echo "FAIL: configure with no optional tool" >&2; exit 1; }
grep '^-- promfmt' "$work/configure.log"
hidden_cmake --build "$build" >"$work/build.log" 2>&1 ||
    { cat "$work/build.log" >&2; echo "FAIL: build with no optional tool" >&2; exit 1; }
"$build/examples/promfmt_hello"
echo "tests registered without the optional tools:"
(cd "$build" && hidden_ctest -N | sed -n 's/^ *Test *#[0-9]*: /  /p')
