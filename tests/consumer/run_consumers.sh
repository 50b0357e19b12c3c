#!/bin/sh
# SPDX-License-Identifier: MIT
# Installs the built project into a temporary prefix, then builds and runs
# a C99 host with pkg-config and a C++ host with find_package against it.
#   run_consumers.sh BUILD_DIR SOURCE_DIR C_COMPILER CXX_COMPILER
set -eu
build=$1 src=$2 cc=$3 cxx=$4
prefix=$(mktemp -d /tmp/promfmt-prefix-XXXXXX)
work=$(mktemp -d /tmp/promfmt-consumer-XXXXXX)
trap 'rm -rf "$prefix" "$work"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null
echo "installed files:"
(cd "$prefix" && find . -type f | sort | sed 's/^/  /')
libdir=$(dirname "$(dirname "$(find "$prefix" -name promfmt.pc)")")

echo "== C99 host through pkg-config"
flags=$(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --cflags --libs promfmt)
echo "pkg-config --cflags --libs promfmt: $flags"
"$cc" -std=c99 -pedantic -Wall -Wextra -Werror "$src/tests/consumer/host.c" $flags \
    -Wl,-rpath,"$libdir" -o "$work/c_host"
"$work/c_host"

echo "== C++ host through find_package(promfmt 1.0 CONFIG REQUIRED)"
cmake -S "$src/tests/consumer/cxx" -B "$work/cxx" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_RPATH="$libdir" >/dev/null
cmake --build "$work/cxx" >/dev/null
"$work/cxx/consumer"
