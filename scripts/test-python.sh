#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Python binding's suite against the library installed under PREFIX (as
# scripts/test-bindings.sh installs it). Ends with "N passed, M failed".
# Usage: scripts/test-python.sh PREFIX
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
prefix=${1:?usage: scripts/test-python.sh PREFIX}
soname=libvelkaron-prometheus-promfmt.so.1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

suite() {
  local venv=$tmp/venv
  /usr/bin/python3 -m venv --system-site-packages "$venv" || return
  # A copy, so the build leaves nothing behind in the source tree.
  cp -r bindings/python "$tmp/python-src" || return
  "$venv/bin/python" -m pip install --quiet --disable-pip-version-check \
    --no-build-isolation --no-index "$tmp/python-src" || return
  local out=$tmp/python-unittest.log status=0
  (cd "$tmp" && LD_LIBRARY_PATH=$prefix/lib PROMFMT_TEST_LIBDIR=$prefix/lib \
    timeout 120 "$venv/bin/python" -m unittest discover -s "$root/bindings/python/tests") \
    >"$out" 2>&1 || status=$?
  cat "$out"
  # unittest ends with "Ran N tests" and "OK" or "FAILED (failures=F, errors=E)".
  local ran bad
  ran=$(sed -nE 's/^Ran ([0-9]+) tests? in .*/\1/p' "$out")
  bad=$(sed -nE 's/^FAILED \((.*)\)$/\1/p' "$out" | grep -oE '(failures|errors)=[0-9]+' |
        awk -F= '{ n += $2 } END { print n + 0 }')
  echo "$((${ran:-0} - bad)) passed, $bad failed"
  return "$status"
}
suite
