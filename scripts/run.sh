#!/usr/bin/env bash
# The main job: installs what is missing, builds, and runs the example
# exporter, which prints one scrape. Extra arguments go to the exporter
# (for example --serve 9100).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh >&2
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" >&2
exec ./build/examples/exporter "$@"
