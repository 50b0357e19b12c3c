#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Copies the library's CMake project (CMakeLists.txt, cmake/, include/,
# src/ and the licence) into DEST, for a package that builds it on its own:
# the Rust crate promfmt-sys and the Python sdist. Whole folders are taken,
# so a new source file comes along without a list to keep here.
#   scripts/stage-sources.sh DEST
set -euo pipefail
dest=${1:?usage: scripts/stage-sources.sh DEST}
mkdir -p "$dest"
dest=$(cd "$dest" && pwd)
cd "$(dirname "$0")/.."
rm -rf "$dest"
mkdir -p "$dest"
cp -R CMakeLists.txt LICENSE cmake include src "$dest/"
