#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The C# binding's suite against the library installed under PREFIX (as
# scripts/test-bindings.sh installs it), after a short run of its benchmark
# (the standard scrape: ns and managed bytes per sample; times unchecked) and
# of the example exporter.
# Ends with "N passed, M failed".
# Usage: scripts/test-csharp.sh PREFIX
set -euo pipefail
cd "$(dirname "$0")/.."
prefix=${1:?usage: scripts/test-csharp.sh PREFIX}
soname=libvelkaron-prometheus-promfmt.so.1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

suite() {
  local out=$tmp/csharp only=$tmp/soname-only
  mkdir -p "$out" "$only" || return
  mcs -unsafe -optimize+ -target:library -warn:4 -warnaserror -out:"$out/Promfmt.dll" \
    bindings/csharp/src/*.cs || return
  cp bindings/csharp/src/Promfmt.dll.config "$out/" || return
  mcs -warn:4 -warnaserror -out:"$out/BindingTests.exe" -r:"$out/Promfmt.dll" \
    bindings/csharp/tests/*.cs || return
  mcs -optimize+ -warn:4 -warnaserror -out:"$out/ScrapeBench.exe" -r:"$out/Promfmt.dll" \
    bindings/csharp/bench/*.cs || return
  mcs -warn:4 -warnaserror -out:"$out/Exporter.exe" -r:"$out/Promfmt.dll" \
    bindings/csharp/examples/Exporter.cs || return
  # Only the runtime SONAME, as a runtime-only package installs it: no .so symlink.
  cp -L "$prefix/lib/$soname" "$only/$soname" || return
  (cd "$out" && LD_LIBRARY_PATH=$only timeout 60 mono ScrapeBench.exe --min-time 0.02) || return
  # The README's exporter, one scrape to stdout.
  (cd "$out" && LD_LIBRARY_PATH=$only timeout 60 mono Exporter.exe --print) || return
  (cd "$out" && LD_LIBRARY_PATH=$only PROMFMT_TEST_LIBDIR=$only timeout 60 mono BindingTests.exe)
}
suite
