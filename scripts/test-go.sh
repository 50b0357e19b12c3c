#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Go binding's suite against the library installed under PREFIX (as
# scripts/test-bindings.sh installs it). Ends with "N passed, M failed".
# Usage: scripts/test-go.sh PREFIX
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
prefix=${1:?usage: scripts/test-go.sh PREFIX}
soname=libvelkaron-prometheus-promfmt.so.1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

suite() {
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
suite
