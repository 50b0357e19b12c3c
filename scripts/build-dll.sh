#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Cross-builds velkaron-prometheus-promfmt.dll for 64-bit Windows with
# mingw-w64, against a real yyjson.dll compiled here from the yyjson 0.12.0
# source folder that PROMFMT_YYJSON_SOURCE names (a relative path is taken
# from the repository root). Both DLLs end up side by side in BUILD_DIR,
# ready to run; the last line printed is the library DLL's path.
#   PROMFMT_YYJSON_SOURCE=DIR scripts/build-dll.sh [BUILD_DIR]   (default build-win)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
. tests/cross/yyjson_source.sh
yy=$(yyjson_source "$root") || { echo "build-dll: $yy" >&2; exit 1; }
command -v x86_64-w64-mingw32-g++ >/dev/null ||
  { echo "build-dll: install g++-mingw-w64-x86-64 (scripts/install-deps.sh --with-extras)" >&2; exit 1; }
out=${1:-build-win}
mkdir -p "$out"
out=$(cd "$out" && pwd)

# yyjson.dll with its import library, rebuilt only when its source changed.
implib=$out/yyjson/libyyjson.dll.a
if [[ ! -f $implib || $yy/yyjson.c -nt $implib || $yy/yyjson.h -nt $implib ]]; then
  mkdir -p "$out/yyjson"
  x86_64-w64-mingw32-gcc -O2 -shared -DYYJSON_EXPORTS=1 "$yy/yyjson.c" \
    -o "$out/yyjson.dll" -Wl,--out-implib,"$implib"
fi

cmake -S . -B "$out" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DPROMFMT_BUILD_TESTS=OFF -DPROMFMT_BUILD_EXAMPLES=OFF \
  -DYYJSON_INCLUDE_DIR="$yy" -DYYJSON_LIBRARY="$implib" >/dev/null
cmake --build "$out" -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
echo "$out/velkaron-prometheus-promfmt.dll"
