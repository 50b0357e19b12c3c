#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs the Windows DLL where it ships: cross-builds it and a real yyjson.dll
# with mingw-w64 (scripts/build-dll.sh), runs tests/cross/scrape_all.c under
# wine against them, and requires its transcript to be byte-identical to the
# same program's on Linux against the normal x86-64 build, in the C locale
# and in a comma-decimal locale on both sides.
#
#   PROMFMT_YYJSON_SOURCE=DIR scripts/test-windows.sh
#
# Without PROMFMT_YYJSON_SOURCE (the yyjson 0.12.0 source folder; relative
# to the repository root) it says it is skipped and exits 0. Build
# directories: build-win (Windows) and build-win-host (Linux).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
. tests/cross/yyjson_source.sh
need_yyjson_source "$root" "windows"
for tool in wine wineboot wineserver x86_64-w64-mingw32-gcc localedef; do
  command -v "$tool" >/dev/null ||
    { echo "windows: $tool is missing (scripts/install-deps.sh --with-extras)" >&2; exit 1; }
done
start=$SECONDS
jobs=$(nproc 2>/dev/null || echo 2)
win=$root/build-win host=$root/build-win-host runs=$root/build-win/runs
work=$(mktemp -d /tmp/promfmt-windows.XXXXXX)
export WINEPREFIX=$work/wineprefix
cleanup() {
  WINEDEBUG=-all timeout 30 wineserver -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

echo "== windows: cross-build yyjson.dll, the library DLL and scrape_all.exe"
timeout 300 bash scripts/build-dll.sh "$win" >/dev/null
cflags=(-std=c99 -O2 -Wall -Wextra -pedantic -Werror -I "$root/include")
timeout 120 x86_64-w64-mingw32-gcc "${cflags[@]}" tests/cross/scrape_all.c \
  -o "$win/scrape_all.exe"

echo "== linux: the normal x86-64 build and scrape_all"
timeout 120 cmake -S . -B "$host" -DPROMFMT_BUILD_TESTS=OFF -DPROMFMT_BUILD_EXAMPLES=OFF \
  >/dev/null
timeout 300 cmake --build "$host" -j "$jobs" >/dev/null
timeout 120 cc "${cflags[@]}" tests/cross/scrape_all.c -o "$host/scrape_all" -ldl

# run_scrape NAME COMMAND...: stdout to $runs/NAME.out, stderr to .err.
# A comma locale must really write 1.5 as 1,5, or the run proves nothing.
run_scrape() {
  local name=$1 rc=0
  shift
  timeout 120 "$@" >"$runs/$name.out" 2>"$runs/$name.err" || rc=$?
  if [[ $rc -ne 0 ]]; then
    echo "windows: run '$name' exited $rc; its output ends with:" >&2
    tail -n 20 "$runs/$name.out" "$runs/$name.err" >&2
    exit 1
  fi
  if [[ $name == *comma* ]] && ! grep -q 'writes 1\.5 as 1,5[[:space:]]*$' "$runs/$name.err"; then
    echo "windows: run '$name' did not get a comma-decimal locale:" >&2
    cat "$runs/$name.err" >&2
    exit 1
  fi
  names+=("$name")
}
rm -rf "$runs"
mkdir -p "$runs"
names=()

echo "== linux runs"
run_scrape linux-c env PROMFMT_LIBRARY="$host/libvelkaron-prometheus-promfmt.so.1" \
  "$host/scrape_all"
locales=$work/locales
mkdir -p "$locales"
timeout 60 localedef -i de_DE -f UTF-8 "$locales/de_DE.UTF-8" >/dev/null 2>&1 || true
if [[ -d $locales/de_DE.UTF-8 ]]; then
  run_scrape linux-comma-de_DE.UTF-8 env LOCPATH="$locales" \
    PROMFMT_LIBRARY="$host/libvelkaron-prometheus-promfmt.so.1" "$host/scrape_all" de_DE.UTF-8
else
  echo "linux comma-locale run skipped: localedef could not build de_DE.UTF-8 (package locales)"
fi

echo "== wine runs (fresh prefix in $work)"
# wineboot's own chatter on stderr is noise; a failure shows in the runs.
WINEDEBUG=-all timeout 180 wineboot -i >/dev/null 2>&1 ||
  { echo "windows: wineboot -i failed" >&2; exit 1; }
# err+module names a DLL that fails to load (wine otherwise exits 53 silently).
cd "$win"
run_scrape wine-c env -u PROMFMT_LIBRARY WINEDEBUG=-all,err+module wine scrape_all.exe
run_scrape wine-comma-German_Germany.1252 env -u PROMFMT_LIBRARY WINEDEBUG=-all,err+module \
  wine scrape_all.exe German_Germany.1252
cd "$root"
WINEDEBUG=-all timeout 60 wineserver -w || true

reference=$runs/${names[0]}.out
for name in "${names[@]}"; do
  printf '  %-32s %6d bytes\n' "$name" "$(wc -c <"$runs/$name.out")"
  if ! cmp -s "$reference" "$runs/$name.out"; then
    echo "windows: '$name' differs from '${names[0]}':" >&2
    diff -a "$reference" "$runs/$name.out" | head -n 40 >&2 || true
    exit 1
  fi
done
echo "windows: ${#names[@]} runs byte-identical ($(wc -c <"$reference") bytes) in $((SECONDS - start)) s"
