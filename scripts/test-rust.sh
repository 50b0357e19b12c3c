#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Rust binding's suite (bindings/rust), by both of promfmt-sys's routes:
# `cargo test` with the library built from this checkout's sources (the
# default), then again against the library installed under PREFIX, found
# through pkg-config (feature `pkg-config`); each route is checked on the
# test binary's dynamic section. Then the example exporter's scrape is read
# back by prometheus_client's parser, and `cargo clippy --all-targets -D warnings`.
# The criterion benchmark's crate is not a default member, so it is not built.
# Ends with "N passed, M failed": the tests of both runs, plus one per check.
# Usage: scripts/test-rust.sh PREFIX
set -euo pipefail
cd "$(dirname "$0")/../bindings/rust"
prefix=${1:?usage: scripts/test-rust.sh PREFIX}
soname=libvelkaron-prometheus-promfmt.so.1
[[ -d $HOME/.cargo/bin ]] && PATH=$HOME/.cargo/bin:$PATH
command -v cargo >/dev/null || { echo "rust: cargo not found (rustup's toolchain)"; echo "0 passed, 1 failed"; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
passed=0 failed=0

# Counts a step that is one check: $1 what, then the command.
check() {
  local what=$1
  shift
  if "$@"; then passed=$((passed + 1)); else echo "FAILED: $what"; failed=$((failed + 1)); fi
}

# Runs `cargo test` with the given arguments, adds its counts; a run that
# fails without a failing test (a build error) counts as one failure.
cargo_test() {
  local log=$tmp/test.log status=0 counts
  timeout 600 cargo test "$@" >"$log" 2>&1 || status=$?
  # The whole log on failure; otherwise which binary ran and its counts.
  if [[ $status -ne 0 ]]; then cat "$log"; else grep -E '^ *(Running|Doc-tests) |^test result:' "$log"; fi
  counts=$(awk '/^test result:/ {p += $4; f += $6} END {print p + 0, f + 0}' "$log")
  read -r p f <<<"$counts"
  passed=$((passed + p)) failed=$((failed + f))
  [[ $status -eq 0 || $f -gt 0 ]] || failed=$((failed + 1))
}

# The test binary of tests/link.rs from the last run, and whether it loads the shared library.
links_shared() {
  local bin
  bin=$(sed -nE 's|^ *Running tests/link.rs \((.*)\)$|\1|p' "$tmp/test.log" | tail -1)
  # Not `ldd | grep -q`: grep leaving early may kill ldd, which pipefail reports.
  local libs
  [[ -n $bin ]] && libs=$(ldd "$bin") && grep -q "$soname" <<<"$libs"
}

echo "== cargo test: library built from the sources (cmake crate, static)"
cargo_test
check "the source route links no shared promfmt" eval '! links_shared'

echo "== cargo test: installed library through pkg-config ($prefix)"
PKG_CONFIG_PATH=$prefix/lib/pkgconfig LD_LIBRARY_PATH=$prefix/lib cargo_test --features promfmt/pkg-config
check "the pkg-config route loads $soname" links_shared

echo "== the example exporter's scrape, read back by prometheus_client's parser"
reads_back() {
  timeout 300 cargo run --quiet --example exporter >"$tmp/scrape.txt" &&
    /usr/bin/python3 - "$tmp/scrape.txt" <<'PY'
import sys
from prometheus_client.parser import text_string_to_metric_families
families = {f.name: f for f in text_string_to_metric_families(open(sys.argv[1]).read())}
assert sorted(families) == ["exporter_build_info", "job_latency_seconds", "jobs_done", "queue_length"], families
assert families["queue_length"].samples[2].labels == {"host": "worker-1", "queue": 'say "hi"'}
print("read back: %d families" % len(families))
PY
}
check "the exporter's scrape reads back" reads_back

echo "== cargo clippy --all-targets -- -D warnings"
check "clippy" timeout 600 cargo clippy --all-targets --quiet -- -D warnings

echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
