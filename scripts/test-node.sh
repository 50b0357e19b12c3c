#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Node binding's suite, on the package as a user gets it:
#   1. `npm pack` in bindings/node (the library's sources are bundled in);
#   2. a fresh project in a temporary directory, away from the repository,
#      installs the tarball and prom-client 15.1.3 with `npm install`, which
#      builds the addon with npm's own node-gyp against the machine's Node
#      headers (npm_config_nodedir); a check makes sure node-gyp downloaded
#      no headers;
#   3. `node --test` runs bindings/node/test there, with prometheus_client's
#      parser (Debian's python3-prometheus-client) reading the texts back.
# About 30 s here (npm's cache warm) plus the download of two small npm
# packages on a fresh machine. Ends with "N passed, M failed".
#
# Usage: scripts/test-node.sh [PREFIX]   (PREFIX is not used: the package
# compiles the library's sources in.)
# PROMFMT_LEAK_SCRAPES sets the scrapes of the memory test (default 100000).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

passed=0 failed=0
check() {  # check WHAT COMMAND...: one counted check
  local what=$1
  shift
  if "$@"; then
    echo "check passed: $what"; passed=$((passed + 1))
  else
    echo "check FAILED: $what"; failed=$((failed + 1))
  fi
}
finish() { echo "$passed passed, $failed failed"; [[ $failed -eq 0 ]]; exit $?; }

if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  echo "test-node: node and npm are needed (scripts/install-deps.sh --all)"
  failed=1
  finish
fi
node --version

# node-gyp finds the headers under NODEDIR/include/node: beside the node
# binary's prefix (/usr here), where Debian and Node's own tarballs put them.
nodedir=$(dirname "$(dirname "$(command -v node)")")
[[ -e $nodedir/include/node/node_api.h ]] || nodedir=/usr
export npm_config_nodedir=$nodedir
# Downloaded headers would land in the devdir: it must stay empty.
export npm_config_devdir=$tmp/gyp-devdir
mkdir -p "$npm_config_devdir"
# Without HOME, npm's cache goes under build-bindings-npm-cache.
[[ -n ${HOME:-} ]] || export npm_config_cache=$root/build-bindings-npm-cache
export npm_config_audit=false npm_config_fund=false npm_config_update_notifier=false

tarball_has_what_installs() {
  local list
  list=$(tar -tzf "$1") || return 1
  for f in package/binding.gyp package/lib/index.js package/index.d.ts package/README.md \
    package/promfmt/include/promfmt.h package/promfmt/src/emit.cpp package/native/addon.cc; do
    grep -qx "$f" <<<"$list" || { echo "missing from the tarball: $f"; return 1; }
  done
  ! grep -E '^package/(test|build|node_modules)/' <<<"$list"
}

# An interpreter with prometheus_client: Debian's (python3-prometheus-client),
# else a virtual environment with it from PyPI.
parser_python() {
  local py
  for py in python3 /usr/bin/python3; do
    if "$py" -c 'import prometheus_client' 2>/dev/null; then command -v "$py"; return; fi
  done
  python3 -m venv "$tmp/venv" >&2 && "$tmp/venv/bin/pip" install --quiet \
    --disable-pip-version-check prometheus_client >&2 && echo "$tmp/venv/bin/python"
}

suite() {
  (cd bindings/node && npm pack --silent --pack-destination "$tmp") >/dev/null || return
  local tarball
  tarball=$(ls "$tmp"/promfmt-*.tgz)
  check "npm pack bundles the library's sources and nothing of the tests or build" \
    tarball_has_what_installs "$tarball"
  mkdir "$tmp/project"
  cd "$tmp/project"
  npm init -y >/dev/null
  local started=$SECONDS
  npm install --no-save --loglevel=error "$tarball" prom-client@15.1.3 || return
  echo "npm install (with the addon's build): $((SECONDS - started)) s"
  check "node-gyp used the machine's headers in $nodedir/include/node, downloaded none" \
    test -z "$(ls -A "$npm_config_devdir")"
  check "a fresh project requires the package" \
    node -e "const p = require('promfmt'); const t = new p.Writer().gauge('up', '', null, 1);
             process.exit(t.toString() === '# TYPE up gauge\\nup 1\\n' ? 0 : 1)"
  cp -r "$root/bindings/node/test" test
  export PROMFMT_TEST_PYTHON
  PROMFMT_TEST_PYTHON=$(parser_python) || return
  timeout 600 node --expose-gc --test test/*.test.js
}

suite 2>&1 | tee "$tmp/log" || failed=$((failed + 1))
# The checks ran in a subshell: count them again from the log.
passed=$(grep -c '^check passed' "$tmp/log" || true)
failed=$((failed + $(grep -c '^check FAILED' "$tmp/log" || true)))
tests_passed=$(sed -nE 's/^# pass ([0-9]+)$/\1/p' "$tmp/log" | tail -1)
tests_failed=$(sed -nE 's/^# fail ([0-9]+)$/\1/p' "$tmp/log" | tail -1)
[[ -n $tests_passed ]] || failed=$((failed + 1))
passed=$((passed + ${tests_passed:-0}))
failed=$((failed + ${tests_failed:-0}))
finish
