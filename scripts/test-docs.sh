#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Checks the documentation and the example exporter: the Doxygen reference
# (no warning, README as main page, escapes rendered right, links), the
# guide's examples (verbatim in the guide, output accepted by promtool), the
# exporter's output under promtool, and a bounded load test of the exporter.
# Builds what it needs in BUILD_DIR (default build-docs). One line per check.
#
# usage: scripts/test-docs.sh [BUILD_DIR]
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-docs}
log=$(mktemp -d)
trap 'rm -rf "$log"' EXIT
failed=0

# Runs a named check (a command or one of the functions below) with a time
# bound; prints one line, the figures it reports, and its output on failure.
check() {
    local name=$1 seconds=$2
    shift 2
    local start=$SECONDS
    if timeout "$seconds" bash -c '"$@"' check "$@" >"$log/out" 2>&1; then
        printf '%-32s ok (%d s)\n' "$name" $((SECONDS - start))
        grep -E 'requests/s|VmRSS' "$log/out" | sed 's/^/    /'
    else
        printf '%-32s FAIL (%d s)\n' "$name" $((SECONDS - start))
        sed 's/^/    /' "$log/out"
        failed=1
    fi
}

build_all() {
    local jobs
    jobs=$(nproc 2>/dev/null || echo 2)
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPROMFMT_BUILD_TESTS=OFF \
        -DPROMFMT_BUILD_EXAMPLES=ON || return 1
    cmake --build "$build" -j "$jobs" --target promfmt_exporter 2>/dev/null ||
        cmake --build "$build" -j "$jobs" --target exporter
}

# The exporter's executable, whatever its target is called (the newest).
exporter_bin() {
    find "$build/examples" -maxdepth 1 -type f -executable -name '*exporter' \
        -printf '%T@ %p\n' | sort -nr | head -n 1 | cut -d' ' -f2-
}

# Runs Doxygen on the configured Doxyfile (whatever the target that wraps
# it is called) and checks the HTML it wrote.
reference() {
    local doxyfile html
    doxyfile=$(find "$build" -maxdepth 2 -name Doxyfile | head -n 1)
    [ -n "$doxyfile" ] || { echo "no Doxyfile in $build (is doxygen installed?)"; return 1; }
    html=$(sed -n 's/^OUTPUT_DIRECTORY *= *//p' "$doxyfile")/html
    doxygen "$doxyfile" && /usr/bin/python3 tests/docs/check_html.py "$html"
}

guide_examples() {
    local lib
    lib=$(find "$build" -maxdepth 2 -name 'libvelkaron-prometheus-promfmt.so' | head -n 1)
    [ -n "$lib" ] || { echo "library not built in $build"; return 1; }
    /usr/bin/python3 tests/docs/check_guide_examples.py . "$(dirname "$lib")"
}

# The exporter's scrape passes promtool: exit 0 and not one lint message.
exporter_promtool() {
    "$(exporter_bin)" 2>/dev/null >"$log/scrape.prom" || return 1
    local said
    said=$(promtool check metrics <"$log/scrape.prom" 2>&1) || { echo "$said"; return 1; }
    [ -z "$said" ] || { echo "$said"; return 1; }
}

export build log
load_test() {
    /usr/bin/python3 tests/load/exporter_load.py "$(exporter_bin)"
}

export -f build_all exporter_bin reference guide_examples exporter_promtool load_test

check "build (library, exporter)" 300 build_all
check "reference (Doxygen + HTML)" 120 reference
check "guide examples (promtool)" 60 guide_examples
check "exporter scrape (promtool)" 30 exporter_promtool
check "exporter load test" 150 load_test
exit $failed
