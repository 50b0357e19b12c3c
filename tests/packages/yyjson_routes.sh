#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The yyjson source routes' refusals, each a configure of a few seconds: a
# wrong SHA-256, a missing source, a folder of the wrong version, an archive
# without its hash and an unreachable URL must stop with a message naming
# the route and the fix, and the same build directory must then configure
# with a good archive (nothing left behind trips the second run). Then that
# build's library must carry yyjson inside: no libyyjson.so needed.
#   tests/packages/yyjson_routes.sh ROOT YYJSON_FOLDER
set -euo pipefail
root=$1 folder=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "yyjson routes: $*" >&2; exit 1; }

# The archive, made here from the folder as yyjson's release lays it out.
mkdir -p "$work/yyjson-0.12.0/src"
cp "$folder/yyjson.c" "$folder/yyjson.h" "$work/yyjson-0.12.0/src/"
tar -C "$work" -czf "$work/yyjson-0.12.0.tar.gz" yyjson-0.12.0
sha=$(sha256sum "$work/yyjson-0.12.0.tar.gz" | cut -d' ' -f1)
mkdir -p "$work/old"
sed 's/^#define YYJSON_VERSION_STRING .*/#define YYJSON_VERSION_STRING "0.11.1"/' \
  "$folder/yyjson.h" >"$work/old/yyjson.h"
cp "$folder/yyjson.c" "$work/old/"

build=$work/build
configure() {
  cmake -S "$root" -B "$build" -DPROMFMT_BUILD_TESTS=OFF -DPROMFMT_BUILD_EXAMPLES=OFF \
    -DPROMFMT_BUILD_DOCS=OFF -DPROMFMT_YYJSON=SOURCE "$@" >"$work/log" 2>&1
}
# refused WHAT PATTERN ARGS...: the configure fails and says PATTERN and the routes.
refused() {
  local what=$1 pattern=$2
  shift 2
  if configure "$@"; then fail "$what: configured"; fi
  tr -s ' \n' ' ' <"$work/log" >"$work/flat"
  grep -qE "$pattern" "$work/flat" || { cat "$work/log"; fail "$what: no '$pattern'"; }
  grep -q "The routes:" "$work/flat" || { cat "$work/log"; fail "$what: routes not named"; }
  echo "  refused: $what"
}
zeros=$(printf '0%.0s' $(seq 64))
refused "wrong SHA-256" "has SHA-256 $sha, but PROMFMT_YYJSON_SHA256 is $zeros" \
  -DPROMFMT_YYJSON_SOURCE="$work/yyjson-0.12.0.tar.gz" -DPROMFMT_YYJSON_SHA256="$zeros"
refused "archive without a hash" "needs its SHA-256" \
  -DPROMFMT_YYJSON_SOURCE="$work/yyjson-0.12.0.tar.gz" -DPROMFMT_YYJSON_SHA256=
refused "missing source" "does not exist" -DPROMFMT_YYJSON_SOURCE="$work/nothing-here"
refused "folder without yyjson" "holds no yyjson.c and yyjson.h" -DPROMFMT_YYJSON_SOURCE="$work"
refused "wrong version" "needs yyjson 0.12.0, but .* is version '0.11.1'" \
  -DPROMFMT_YYJSON_SOURCE="$work/old"
# Port 9 of this machine: nothing listens there, so the download fails at once.
refused "unreachable URL" "could not be downloaded from http://127.0.0.1:9/" \
  -DPROMFMT_YYJSON_SOURCE=http://127.0.0.1:9/yyjson-0.12.0.tar.gz -DPROMFMT_YYJSON_SHA256="$sha"

configure -DPROMFMT_YYJSON_SOURCE="$work/yyjson-0.12.0.tar.gz" -DPROMFMT_YYJSON_SHA256="$sha" ||
  { cat "$work/log"; fail "the good archive does not configure after the refusals"; }
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
lib=$build/libvelkaron-prometheus-promfmt.so.1
if readelf -d "$lib" | grep -q 'NEEDED.*yyjson'; then fail "$lib needs a shared yyjson"; fi
nm "$lib" | grep -q ' yyjson_read_opts$' || fail "$lib has no yyjson inside"
[[ $(nm -D --defined-only "$lib" | grep -c ' T ') -eq 12 ]] || fail "$lib exports more than twelve"
echo "yyjson routes: 6 refusals, then the archive's yyjson is inside the library"
