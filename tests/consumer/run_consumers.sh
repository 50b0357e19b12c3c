#!/bin/sh
# SPDX-License-Identifier: MIT
# Installs the built shared library into a temporary prefix, checks what
# was installed, then builds and runs a C99 host with pkg-config, a C++
# host with find_package, and a C++17 host of promfmt.hpp both ways against
# it, all with yyjson's pkg-config file and CMake package out of sight: a
# shared-library host never needs them.
#   run_consumers.sh BUILD_DIR SOURCE_DIR C_COMPILER CXX_COMPILER
set -eu
build=$1 src=$2 cc=$3 cxx=$4
prefix=$(mktemp -d /tmp/promfmt-prefix-XXXXXX)
work=$(mktemp -d /tmp/promfmt-consumer-XXXXXX)
trap 'rm -rf "$prefix" "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null
installed=$(cd "$prefix" && find . \( -type f -o -type l \) | sort)
echo "installed files:"; echo "$installed" | sed 's/^/  /'
pc=$(find "$prefix" -name promfmt.pc)
libdir=$(dirname "$(dirname "$pc")")
lib=${libdir#"$prefix"/}
want=$(printf '%s\n' ./include/promfmt.h ./include/promfmt.hpp "./$lib/cmake/promfmt/promfmtConfig.cmake" \
    "./$lib/cmake/promfmt/promfmtConfigVersion.cmake" "./$lib/cmake/promfmt/promfmtTargets.cmake" \
    "./$lib/libvelkaron-prometheus-promfmt.so" "./$lib/libvelkaron-prometheus-promfmt.so.1" \
    "./$lib/libvelkaron-prometheus-promfmt.so.1.0.0" "./$lib/pkgconfig/promfmt.pc" \
    ./share/doc/promfmt/LICENSE)
got=$(echo "$installed" | grep -v '/promfmtTargets-[a-z]*\.cmake$')
[ "$got" = "$want" ] || fail "installed files differ from the headers, library, package, .pc and licence"
# The exported target names the include directory once.
incs=$(sed -n 's/.*INTERFACE_INCLUDE_DIRECTORIES "\(.*\)"/\1/p' \
    "$libdir/cmake/promfmt/promfmtTargets.cmake")
[ "$incs" = '${_IMPORT_PREFIX}/include' ] || fail "exported include directories: $incs"

echo "== C99 host through pkg-config, yyjson.pc out of sight"
flags=$(PKG_CONFIG_LIBDIR="$libdir/pkgconfig" PKG_CONFIG_PATH= pkg-config --cflags --libs promfmt) ||
    fail "pkg-config --cflags --libs promfmt"
flags=$(echo $flags)  # pkg-config ends the line with a space
echo "pkg-config --cflags --libs promfmt: $flags"
[ "$flags" = "-I$prefix/include -L$libdir -lvelkaron-prometheus-promfmt" ] ||
    fail "pkg-config flags are not the plain prefix paths"
# shellcheck disable=SC2086
"$cc" -std=c99 -pedantic -Wall -Wextra -Werror "$src/tests/consumer/host.c" $flags \
    -Wl,-rpath,"$libdir" -o "$work/c_host"
"$work/c_host"

# Configures, builds and runs the CMake host project tests/consumer/DIR
# against the prefix, yyjson's package out of sight:  cmake_host DIR EXECUTABLE
cmake_host() {
    cmake -S "$src/tests/consumer/$1" -B "$work/$1" -DCMAKE_PREFIX_PATH="$prefix" \
        -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_DISABLE_FIND_PACKAGE_yyjson=ON \
        --no-warn-unused-cli >"$work/$1.log" 2>&1 || { cat "$work/$1.log" >&2; fail "$1 consumer configure"; }
    cmake --build "$work/$1" >/dev/null
    "$work/$1/$2"
}

echo "== C++ host through find_package(promfmt 1.0 CONFIG REQUIRED), yyjson's package out of sight"
cmake_host cxx consumer

echo "== C++17 host of promfmt.hpp through pkg-config"
# shellcheck disable=SC2086
"$cxx" -std=c++17 -Wall -Wextra -Wpedantic -Werror "$src/tests/consumer/wrapper_host.cpp" $flags \
    -Wl,-rpath,"$libdir" -o "$work/wrapper_pc"
"$work/wrapper_pc"

echo "== C++17 host of promfmt.hpp through find_package"
cmake_host wrapper wrapper_host
