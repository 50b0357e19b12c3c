#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Reads the library's output back with the Prometheus text parser (Go's
# expfmt.TextParser from github.com/prometheus/common): builds the library,
# runs the committed seed corpus as a plain go test, then runs Go's native
# fuzzer for a bounded time. fuzz/reader is a module of its own; the go
# command takes its dependencies from the Go module proxy as go.sum pins
# them. Go is the go on PATH (the machine's Go 1.26 in /usr/local/go).
#   scripts/fuzz-reader.sh [SECONDS]   (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
root=$PWD
build=$root/build-gofuzz

command -v go >/dev/null || PATH=$PATH:/usr/local/go/bin
command -v go >/dev/null || { echo "fuzz-reader: no go on PATH (Go 1.26 or later)" >&2; exit 1; }
go version
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPROMFMT_BUILD_TESTS=OFF \
  -DPROMFMT_BUILD_EXAMPLES=OFF >/dev/null
cmake --build "$build" --target velkaron-prometheus-promfmt >/dev/null

export CGO_ENABLED=1 GOFLAGS="-mod=readonly -buildvcs=false"
# Without HOME the module and build caches go under the build folder.
[[ -n ${HOME:-} ]] || export GOPATH=$build/gopath GOCACHE=$build/gocache
export CGO_CFLAGS="-I$root/include" CGO_LDFLAGS="-L$build -Wl,-rpath,$build"
cd fuzz/reader

go test -count=1 -run '^FuzzReader$' . >"$build/reader-seeds.log" 2>&1 || {
  echo "reader fuzz: seed corpus FAILED:" >&2
  cat "$build/reader-seeds.log" >&2
  exit 1
}

log=$build/reader-fuzz.log
if go test -run '^$' -fuzz '^FuzzReader$' -fuzztime "${seconds}s" . >"$log" 2>&1; then
  # The last progress line reads "fuzz: elapsed: 1m0s, execs: 123456 (...".
  last=$(grep -E 'elapsed: [0-9hms]+, execs: [0-9]+' "$log" | tail -1 || true)
  execs=$(sed -E 's/.*execs: ([0-9]+).*/\1/' <<<"$last")
  elapsed=$(sed -E 's/.*elapsed: ([0-9hms]+),.*/\1/' <<<"$last")
  total=0
  for unit in h:3600 m:60 s:1; do
    if [[ $elapsed =~ ([0-9]+)${unit%:*} ]]; then
      total=$((total + BASH_REMATCH[1] * ${unit#*:}))
    fi
  done
  echo "reader fuzz: ${execs:-?} executions in $total s, no finding"
else
  echo "reader fuzz: FINDING (the failing input is saved under fuzz/reader/testdata/fuzz/FuzzReader/):" >&2
  grep -v '^fuzz: elapsed' "$log" | head -40 >&2
  exit 1
fi
