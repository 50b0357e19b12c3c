#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Cross-builds velkaron-prometheus-promfmt.dll for 64-bit Windows with
# mingw-w64 and prints its export table.
#
# No Windows build of yyjson can be had here, so the DLL links against an
# import library that dlltool makes from cmake/windows/yyjson.def, and
# compiles against the yyjson.h of Debian's libyyjson-dev (copied into the
# build directory, not the repository). On Windows, build against a real
# yyjson 0.12.0 instead (see the README).
#   scripts/build-dll.sh [BUILD_DIR]     (default build-windows)
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build-windows}
mkdir -p "$out"
out=$(cd "$out" && pwd)
command -v x86_64-w64-mingw32-g++ >/dev/null ||
  { echo "build-dll: install g++-mingw-w64-x86-64 (scripts/install-deps.sh --with-extras)" >&2; exit 1; }
[[ -f /usr/include/yyjson.h ]] ||
  { echo "build-dll: yyjson.h missing (scripts/install-deps.sh)" >&2; exit 1; }

mkdir -p "$out/yyjson/include" "$out/yyjson/lib"
cp /usr/include/yyjson.h "$out/yyjson/include/"
x86_64-w64-mingw32-dlltool -d cmake/windows/yyjson.def -l "$out/yyjson/lib/libyyjson.dll.a"

cmake -S . -B "$out" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DPROMFMT_BUILD_TESTS=OFF -DPROMFMT_BUILD_EXAMPLES=OFF \
  -DYYJSON_INCLUDE_DIR="$out/yyjson/include" \
  -DYYJSON_LIBRARY="$out/yyjson/lib/libyyjson.dll.a" >/dev/null
cmake --build "$out" -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
echo "$out/velkaron-prometheus-promfmt.dll"
