#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Makes every release artifact in dist/, with their SHA256SUMS:
#   promfmt-1.0.0-src.tar.gz           the source archive (CPack)
#   promfmt-1.0.0-Linux-x86_64.tar.gz  the installed tree (CPack)
#   promfmt_1.0.0_amd64.deb            the same for apt-get install (CPack)
#   promfmt-1.0.0-win64.zip            the Windows DLL, import library, yyjson.dll,
#                                      headers, licence, README (CPack, mingw-w64)
#   promfmt-1.0.0.tar.gz               the Python sdist
#   promfmt-sys-1.0.0.crate, promfmt-1.0.0.crate   the Rust crates, verified by cargo
# The Linux library and the .deb have yyjson compiled in when
# PROMFMT_YYJSON_SOURCE names a yyjson 0.12.0 source (see README, "yyjson");
# otherwise they link the system's (and the .deb depends on libyyjson0).
# The Windows zip needs that source (yyjson.dll is built from it) and is
# otherwise skipped with a message. Build directories: build-pkg, build-pkg-win.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
dist=$root/dist
jobs=$(nproc 2>/dev/null || echo 2)
[[ -d $HOME/.cargo/bin ]] && PATH=$HOME/.cargo/bin:$PATH
staged=("$root/bindings/rust/promfmt-sys/promfmt-src" "$root/bindings/python/promfmt-src")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp" "${staged[@]}"' EXIT
rm -rf "$dist"
mkdir -p "$dist"
# A relative source path is taken from the repository root, as elsewhere.
if [[ -n ${PROMFMT_YYJSON_SOURCE:-} && ${PROMFMT_YYJSON_SOURCE} != /* &&
      ${PROMFMT_YYJSON_SOURCE} != *://* ]]; then
  export PROMFMT_YYJSON_SOURCE=$root/$PROMFMT_YYJSON_SOURCE
fi
route=AUTO
[[ -n ${PROMFMT_YYJSON_SOURCE:-} ]] && route=SOURCE

echo "== package: source archive, .tar.gz and .deb (CPack, yyjson: $route)"
cmake -S . -B build-pkg -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DPROMFMT_BUILD_TESTS=OFF -DPROMFMT_BUILD_EXAMPLES=OFF -DPROMFMT_BUILD_DOCS=OFF \
  -DPROMFMT_YYJSON=$route >/dev/null
cmake --build build-pkg -j "$jobs" >/dev/null
(cd build-pkg && cpack -G "TGZ;DEB" -B "$tmp/cpack" >/dev/null &&
  cpack --config CPackSourceConfig.cmake -B "$tmp/cpack" >/dev/null)
cp "$tmp"/cpack/*.tar.gz "$tmp"/cpack/*.deb "$dist/"

echo "== package: Windows zip (mingw-w64, CPack)"
if [[ -n ${PROMFMT_YYJSON_SOURCE:-} ]]; then
  bash scripts/build-dll.sh build-pkg-win >/dev/null
  cmake build-pkg-win -DPROMFMT_YYJSON_DLL="$root/build-pkg-win/yyjson.dll" >/dev/null
  (cd build-pkg-win && cpack -G ZIP -B "$tmp/cpack-win" >/dev/null)
  cp "$tmp"/cpack-win/*.zip "$dist/"
else
  echo "package: Windows zip skipped: PROMFMT_YYJSON_SOURCE is not set (it builds yyjson.dll)"
fi

echo "== package: Python sdist"
bash scripts/stage-sources.sh "$root/bindings/python/promfmt-src"
python3 -m venv "$tmp/venv"
"$tmp/venv/bin/python" -m pip install --quiet --disable-pip-version-check build \
  "scikit-build-core>=0.10"
"$tmp/venv/bin/python" -m build --sdist --no-isolation --outdir "$dist" bindings/python \
  >"$tmp/sdist.log" 2>&1 || { cat "$tmp/sdist.log" >&2; exit 1; }

echo "== package: Rust crates (cargo publish --dry-run: packaged, verified, not uploaded)"
bash scripts/stage-sources.sh "$root/bindings/rust/promfmt-sys/promfmt-src"
# --allow-dirty: the staged sources are untracked by design.
rm -rf build-pkg/cargo/package
(cd bindings/rust && cargo publish --dry-run --quiet --allow-dirty -p promfmt-sys -p promfmt \
  --target-dir "$root/build-pkg/cargo")
# cargo publish leaves the packed crates in package/tmp-crate (cargo package
# in package/ itself); the folder was emptied above, so nothing stale is taken.
for crate in promfmt-sys promfmt; do
  packed=$(ls build-pkg/cargo/package/{,tmp-crate/}"$crate"-[0-9]*.crate 2>/dev/null | head -1 || true)
  [[ -n $packed ]] || { echo "package: cargo left no $crate crate in build-pkg/cargo/package" >&2; exit 1; }
  cp "$packed" "$dist/"
done

(cd "$dist" && sha256sum -- * >SHA256SUMS)
echo "package: $(ls "$dist" | wc -l) files in dist/:"
(cd "$dist" && ls -l --time-style=+ -- * | awk '{printf "  %9d  %s\n", $5, $NF}')
