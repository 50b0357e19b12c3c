#!/bin/sh
# SPDX-License-Identifier: MIT
# Builds promfmt as a static archive (BUILD_SHARED_LIBS=OFF), installs it
# into a temporary prefix, checks that its global names stay in the promfmt
# namespace, and links hosts against it: C and C++17 (promfmt.hpp) through
# pkg-config --static, and C through find_package in a C-only project, once
# with yyjson's CMake package and once without it (some distributions ship
# only yyjson.pc).
#   run_static.sh WORK_DIR SOURCE_DIR C_COMPILER CXX_COMPILER
set -eu
work=$1 src=$2 cc=$3 cxx=$4
here=$src/tests/consumer
rm -rf "$work"
mkdir -p "$work"
prefix=$work/prefix
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake -S "$src" -B "$work/build" -DBUILD_SHARED_LIBS=OFF -DPROMFMT_BUILD_TESTS=OFF \
    -DPROMFMT_BUILD_EXAMPLES=OFF -DPROMFMT_BUILD_DOCS=OFF \
    -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" >"$work/configure.log" 2>&1 ||
    { cat "$work/configure.log" >&2; fail "static configure"; }
cmake --build "$work/build" >"$work/build.log" 2>&1 || { cat "$work/build.log" >&2; fail "static build"; }
cmake --install "$work/build" --prefix "$prefix" >/dev/null
echo "installed files:"; (cd "$prefix" && find . -type f | sort | sed 's/^/  /')
archive=$(find "$prefix" -name libvelkaron-prometheus-promfmt.a)
[ -n "$archive" ] || fail "libvelkaron-prometheus-promfmt.a not installed"
[ -z "$(find "$prefix" -name '*.so*')" ] || fail "a static build installed a shared library"
sh "$here/check_static_symbols.sh" "$archive"
libdir=$(dirname "$archive")

echo "== C99 host through pkg-config --static"
flags=$(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --static --cflags --libs promfmt) ||
    fail "pkg-config --static --cflags --libs promfmt"
echo "pkg-config --static --cflags --libs promfmt: $flags"
# shellcheck disable=SC2086
"$cc" -std=c99 -pedantic -Wall -Wextra -Werror -DPROMFMT_EXPECT_STATIC "$here/host.c" $flags \
    -o "$work/pc_host" || fail "link through pkg-config --static"
"$work/pc_host"
if command -v readelf >/dev/null && readelf -d "$work/pc_host" | grep -q velkaron; then
    fail "the host links a promfmt shared library"
fi

echo "== C++17 host of promfmt.hpp through pkg-config --static"
# The wrapper's names (promfmt::cxx) must not meet the archive's promfmt::.
# shellcheck disable=SC2086
"$cxx" -std=c++17 -Wall -Wextra -Wpedantic -Werror "$here/wrapper_host.cpp" $flags \
    -o "$work/wrapper_host" || fail "link the C++ wrapper host through pkg-config --static"
"$work/wrapper_host"

for without_yyjson_package in OFF ON; do
    echo "== C host through find_package, yyjson's CMake package hidden: $without_yyjson_package"
    out=$work/c-$without_yyjson_package
    cmake -S "$here/c" -B "$out" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_C_COMPILER="$cc" \
        -DCMAKE_DISABLE_FIND_PACKAGE_yyjson=$without_yyjson_package --no-warn-unused-cli \
        >"$out.log" 2>&1 || { cat "$out.log" >&2; fail "C consumer configure"; }
    cmake --build "$out" >"$out.build.log" 2>&1 ||
        { cat "$out.build.log" >&2; fail "C consumer build"; }
    "$out/c_host"
done
