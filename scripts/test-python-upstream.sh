#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# prometheus_client's own exposition and serving tests, run twice on its
# sdist at a pinned version: as shipped, and with promfmt swapped in for
# generate_latest, the WSGI and ASGI apps, the HTTP server and the aiohttp,
# Django and Twisted routes (bindings/python/tests/upstream/promfmt_swap.py).
# Fails on a test that fails only with the swap, unless
# bindings/python/tests/upstream/differences.txt lists it with its reason,
# and on a listed test that passes. A test that fails unswapped too is the
# environment's doing and is only reported.
#
# Usage: scripts/test-python-upstream.sh WHEEL
#   WHEEL  the promfmt wheel to test (scripts/test-python.sh builds it).
# PROMFMT_PYTHON names the interpreter (default: python3 on PATH); everything
# from PyPI goes into a virtual environment of its own. About 30 s on an idle
# machine with a warm pip cache, most of it installing.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
here=$root/bindings/python/tests/upstream
version=0.26.0
modules=(exposition parser wsgi asgi aiohttp django twisted)
wheel=$(realpath "$1")
PYTHON=${PROMFMT_PYTHON:-python3}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

pip_in() { "$tmp/venv/bin/python" -m pip install --quiet --disable-pip-version-check "$@"; }

"$PYTHON" -m venv "$tmp/venv"
pip_in pytest "prometheus_client==$version" -r "$here/requirements.txt" "$wheel"
"$tmp/venv/bin/python" -m pip download --quiet --disable-pip-version-check --no-deps \
  --no-binary :all: -d "$tmp/sdist" "prometheus_client==$version"
tar -xzf "$tmp"/sdist/prometheus_client-*.tar.gz -C "$tmp/sdist"
# Only its tests: the installed prometheus_client is the one imported.
mv "$tmp"/sdist/prometheus_client-*/tests "$tmp/tests"

tests=()
for m in "${modules[@]}"; do tests+=("tests/test_$m.py"); done

run() {  # run NAME [PYTEST ARGS...] [TESTS...]: one pass, its log and JUnit XML kept
  local name=$1
  shift
  (cd "$tmp" && env -u LD_LIBRARY_PATH PYTHONPATH="$here" timeout 300 "$tmp/venv/bin/pytest" \
     -p no:cacheprovider -q --junitxml="$tmp/$name.xml" "$@" >"$tmp/$name.log" 2>&1) || true
}
verdict() {  # verdict UNSWAPPED_XMLS SWAPPED_XMLS [OPTIONS...]
  "$tmp/venv/bin/python" "$here/verdict.py" --unswapped $1 --swapped $2 \
    --differences "$here/differences.txt" "${@:3}"
}
run unswapped "${tests[@]}"
run swapped -p promfmt_swap "${tests[@]}"
status=0
verdict "$tmp/unswapped.xml" "$tmp/swapped.xml" --suspects "$tmp/suspects" >"$tmp/first" || status=$?
if [[ -s $tmp/suspects ]]; then
  # Some of prometheus_client's tests are timing-dependent (a TLS refusal
  # seen as EOF): a test that fails only with the swap is run twice more
  # each way, and blamed on the swap only if it failed every time swapped.
  mapfile -t suspects <"$tmp/suspects"
  echo "running again, twice each way: ${suspects[*]}"
  for n in 1 2; do
    run "unswapped$n" "${suspects[@]}"
    run "swapped$n" -p promfmt_swap "${suspects[@]}"
  done
  status=0
  verdict "$tmp/unswapped.xml $tmp/unswapped1.xml $tmp/unswapped2.xml" \
    "$tmp/swapped.xml $tmp/swapped1.xml $tmp/swapped2.xml" >"$tmp/first" || status=$?
fi
cat "$tmp/first"
if [[ $status -ne 0 ]]; then
  echo "== the swapped run's failures"
  grep -E '^(E |FAILED|ERROR)' "$tmp/swapped.log" | head -80
fi
exit "$status"
