#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The main job: installs what is missing (only what the exporter needs),
# builds, and runs the example exporter, which prints one scrape. Extra
# arguments go to the exporter (for example --serve 9100).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh >&2
cmake -S . -B build-run -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPROMFMT_BUILD_TESTS=OFF \
  -DPROMFMT_BUILD_EXAMPLES=ON -DPROMFMT_BUILD_DOCS=OFF >/dev/null
cmake --build build-run -j "$(nproc 2>/dev/null || echo 2)" --target promfmt_exporter >&2
exec ./build-run/examples/promfmt_exporter "$@"
