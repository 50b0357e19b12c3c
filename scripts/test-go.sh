#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Go binding's suite against the library installed under PREFIX (as
# scripts/test-bindings.sh installs it), in module mode: the module's
# dependencies come from the Go module proxy through the go command, as
# go.sum pins them. Ends with "N passed, M failed".
#
#   1. go vet and go test ./... (cgocheck=1, the default pointer checks);
#   2. go test ./... again with GOEXPERIMENT=cgocheck2 (every store checked)
#      and the race detector (TestSoak, the memory soak, left out there);
#   3. go test -fuzz FuzzLabels for $GO_FUZZ_SECONDS (default 20): the
#      labels builders against encoding/json and the JSON-text route (the
#      seeds in testdata/fuzz run in step 1 too);
#   4. a fresh consumer module (go mod init, a replace pointing at this
#      checkout, go get, go build) builds the example exporter and runs it.
#
# Go is the go on PATH: the machine's Go 1.26 in /usr/local/go. The module
# needs Go 1.26 (prometheus/common, used by the tests, asks for it).
# Usage: scripts/test-go.sh PREFIX
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
prefix=${1:?usage: scripts/test-go.sh PREFIX}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

command -v go >/dev/null || PATH=$PATH:/usr/local/go/bin
if ! command -v go >/dev/null; then
  echo "test-go: no go on PATH (Go 1.26 or later is needed)"
  echo "0 passed, 1 failed"
  exit 1
fi
go version
# Without HOME the module and build caches go under build-bindings-*.
[[ -n ${HOME:-} ]] || export GOPATH=$root/build-bindings-gopath GOCACHE=$root/build-bindings-gocache
export CGO_ENABLED=1 GOFLAGS="-mod=readonly -buildvcs=false"
export PKG_CONFIG_PATH=$prefix/lib/pkgconfig CGO_LDFLAGS="-Wl,-rpath,$prefix/lib"
export PROMFMT_TEST_LIBDIR=$prefix/lib

passed=0 failed=0
# check NAME COMMAND...: one pass or fail for a step that is not a go test.
check() {
  local name=$1 log=$tmp/step.log
  shift
  if "$@" >"$log" 2>&1; then
    passed=$((passed + 1)) && echo "ok: $name"
  else
    failed=$((failed + 1)) && echo "FAILED: $name" && cat "$log"
  fi
}
# gotest NAME ARGS...: go test -v, its top-level tests counted.
gotest() {
  local name=$1 log=$tmp/go-test.log status=0
  shift
  echo "== $name"
  (cd bindings/go && timeout 600 go test -v -count=1 "$@" ./...) >"$log" 2>&1 || status=$?
  grep -vE '^(=== (RUN|PAUSE|CONT)|--- PASS|    --- PASS)' "$log" || true
  passed=$((passed + $(grep -c '^--- PASS' "$log" || true)))
  failed=$((failed + $(grep -c '^--- FAIL' "$log" || true)))
  [[ $status -eq 0 ]] || { [[ $(grep -c '^--- FAIL' "$log") -gt 0 ]] || failed=$((failed + 1)); }
}

# Builds the example exporter in a new module of its own, the way a user
# takes the binding from a checkout, and checks one scrape it prints.
consumer() (
  dir=$tmp/consumer
  mkdir -p "$dir" && cp bindings/go/testdata/exporter/main.go "$dir/"
  cd "$dir"
  go mod init example.com/exporter
  go mod edit -replace "promfmt/bindings/go=$root/bindings/go"
  GOFLAGS=-mod=mod go get promfmt/bindings/go
  go build -o exporter .
  ./exporter -once >scrape.txt
  cat scrape.txt
  grep -qx '# TYPE jobs_waiting gauge' scrape.txt &&
    grep -qx 'jobs_waiting{queue="say \\"hi\\""} 1' scrape.txt &&
    grep -q '^go_info{version="go' scrape.txt
)

# The labels fuzz target for a bounded time, one worker (the machine is shared).
fuzz_labels() {
  (cd bindings/go && timeout 300 go test -count=1 -run '^$' -fuzz '^FuzzLabels$' \
    -fuzztime "${GO_FUZZ_SECONDS:-20}s" -parallel 1 .) >"$tmp/fuzz.log" 2>&1 ||
    { cat "$tmp/fuzz.log"; return 1; }
}

check "go vet" bash -c 'cd bindings/go && go vet ./ ./testdata/exporter'
GODEBUG=cgocheck=1 gotest "go test ./... (GODEBUG=cgocheck=1)" -timeout 300s -bench . -benchtime 20x
# The race detector's shadow memory grows with what it sees: no soak there.
GOEXPERIMENT=cgocheck2 gotest "go test ./... (GOEXPERIMENT=cgocheck2, -race)" -race -timeout 300s \
  -skip TestSoak
check "go test -fuzz FuzzLabels (${GO_FUZZ_SECONDS:-20} s)" fuzz_labels
grep -E '^fuzz: elapsed' "$tmp/fuzz.log" | tail -1 || true
check "a fresh module (go mod init, replace, go get, go build) builds and runs the exporter" consumer
echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
