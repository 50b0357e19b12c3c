#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what promfmt needs: by default only what the main job needs to
# build and run the example exporter; with --all, everything the test
# suite, benchmark, bindings, cross builds and docs need as well.
#
# yyjson 0.12.0 is not in Debian 12 (bookworm), but Debian unstable's
# libyyjson0/libyyjson-dev 0.12.0+ds-2 only need libc6 >= 2.14, so they install
# cleanly here. We fetch those two .deb files through a private apt
# configuration that points at the unstable suite of the Debian mirror this
# machine's apt sources already name; the machine's own package sources are
# never modified. A machine with no Debian source configured gets an error.
#
# Idempotent: a second run with everything present does nothing but check.
# Usage: scripts/install-deps.sh [--all | --with-extras]
set -euo pipefail

# The Debian revision we tested with; any Debian build of upstream 0.12.0
# (0.12.0+ds-N) is accepted, should unstable move on to another revision,
# as long as the mirror's unstable index is current (see install_yyjson).
YYJSON_VERSION="0.12.0+ds-2"
YYJSON_UPSTREAM="0.12.0"
# SHA-256 of the tested revision's two amd64 packages, checked after every
# download of them.
YYJSON_SHA256_libyyjson0="174d98680c090277876b0d77f939fe1680eb352bcbfee934af8e00e138da2084"
YYJSON_SHA256_libyyjson_dev="5f8b8a696facc112c7e1dc9ac1032f7b9ffd54d6995398e8dbd702d2ad94b336"

# What the main job needs: build the library and the example exporter.
MAIN_PKGS=(cmake make g++ pkg-config libcpp-httplib-dev debian-archive-keyring)
# What the tests, benchmark, bindings, cross builds and docs need.
ALL_PKGS=(clang libclang-rt-14-dev libgtest-dev libbenchmark-dev valgrind locales binutils
  prometheus python3-prometheus-client prometheus-cpp-dev python3-matplotlib
  g++-mingw-w64-x86-64 wine64 wine doxygen
  qemu-user-static g++-s390x-linux-gnu g++-i686-linux-gnu
  mono-mcs mono-runtime
  python3-pip python3-setuptools python3-venv python3-wheel wrk)
# What one binding or tool alone needs, a line each:
ALL_PKGS+=(python3-dev)  # the Python binding's extension builds against the interpreter's headers
ALL_PKGS+=(dpkg-dev unzip)  # the .deb's dependencies (dpkg-shlibdeps); the Windows zip's test
# (Go: no package. The Go scripts use the go on PATH, the machine's Go 1.26 in
# /usr/local/go, and print its version; the go command fetches the modules'
# dependencies. Debian 12's golang-go is Go 1.19, too old for them.)
# Node (the Node binding): the machine's node and npm when it has them, with
# their headers in /usr/include/node; else Debian's nodejs 18, npm, and
# libnode-dev for the headers.
NODE_PKGS=(nodejs npm libnode-dev)

die() { echo "install-deps: $*" >&2; exit 1; }

want_all=0
case "${1:-}" in
  --all|--with-extras) want_all=1 ;;
  "") ;;
  *) die "unknown option $1 (usage: install-deps.sh [--all | --with-extras])" ;;
esac

SUDO=""
if [[ $(id -u) -ne 0 ]]; then
  command -v sudo >/dev/null || die "must run as root (or with sudo available)"
  SUDO="sudo"
fi

pkg_installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

apt_updated=0
apt_install() {
  local missing=()
  for p in "$@"; do pkg_installed "$p" || missing+=("$p"); done
  [[ ${#missing[@]} -eq 0 ]] && return 0
  echo "install-deps: installing ${missing[*]}"
  if [[ $apt_updated -eq 0 ]]; then
    $SUDO apt-get update -qq || die "apt-get update failed"
    apt_updated=1
  fi
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null || die "apt-get install ${missing[*]} failed"
}

is_upstream_0_12_0() { [[ "$1" == "$YYJSON_UPSTREAM" || "$1" == "$YYJSON_UPSTREAM"[+~-]* ]]; }

yyjson_ok() {
  local dev lib
  dev=$(dpkg-query -W -f='${Version}' libyyjson-dev 2>/dev/null) || return 1
  lib=$(dpkg-query -W -f='${Version}' libyyjson0 2>/dev/null) || return 1
  [[ "$dev" == "$lib" ]] && is_upstream_0_12_0 "$dev" &&
    pkg_installed libyyjson-dev && pkg_installed libyyjson0
}

# Mirror URI of the machine's configured Debian archive (deb822 or one-line
# form). There is no built-in fallback: the mirror is the machine's choice.
debian_mirror() {
  local uri=""
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [[ -f $f ]] || continue
    uri=$(awk '/^URIs:/ && !/security/ {print $2; exit}' "$f")
    [[ -n "$uri" ]] && break
  done
  if [[ -z "$uri" ]]; then
    uri=$( (cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null || true) |
      awk '$1 == "deb" && !/security/ {sub(/\[[^]]*\]/, ""); print $2; exit}')
  fi
  [[ -n "$uri" ]] || die "no Debian package source is configured in /etc/apt (sources.list or \
sources.list.d/*.sources): add the machine's Debian mirror there, then run this again"
  echo "$uri"
}

# Checks a downloaded .deb against its pinned SHA-256 sum. The sums are
# those of the amd64 packages; on another architecture a file is taken
# unchecked unless only pinned files may be taken ($3 = 1).
check_pinned() {
  local deb=$1 want=$2 pinned_only=$3 arch
  arch=$(dpkg --print-architecture)
  if [[ $arch != amd64 ]]; then
    [[ $pinned_only -eq 0 ]] || die "no SHA-256 sum is pinned for $arch; cannot trust $(basename "$deb")"
    return 0
  fi
  local got
  got=$(sha256sum "$deb" | awk '{print $1}')
  [[ $got == "$want" ]] || die "$(basename "$deb"): SHA-256 $got, expected $want; not installed"
}

install_yyjson() {
  yyjson_ok && return 0
  echo "install-deps: installing yyjson $YYJSON_UPSTREAM from Debian unstable (private apt config)"
  local tmp
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' RETURN
  mkdir -p "$tmp/lists/partial" "$tmp/archives/partial"
  local keyring=/usr/share/keyrings/debian-archive-keyring.gpg
  [[ -f $keyring ]] || die "missing $keyring (package debian-archive-keyring)"
  local mirror
  mirror=$(debian_mirror)
  echo "deb [signed-by=$keyring] $mirror unstable main" >"$tmp/sources.list"
  local opts=(-o "Dir::Etc::sourcelist=$tmp/sources.list" -o "Dir::Etc::sourceparts=-"
    -o "Dir::State::Lists=$tmp/lists" -o "Dir::Cache::archives=$tmp/archives"
    -o "Dir::Cache::pkgcache=$tmp/pkgcache.bin" -o "Dir::Cache::srcpkgcache=$tmp/srcpkgcache.bin"
    -o "APT::Get::List-Cleanup=0" -o "Acquire::Languages=none" -o "APT::Sandbox::User=root")
  # A mirror may serve an unstable Release file that has expired while its
  # stable suites are current. Its signature still holds, but an expired
  # index could be an old one replayed. So when the normal update fails
  # for that reason, the index is read once more with the expiry check off,
  # for this private query alone, and then only the tested revision is
  # taken, and only if both files match the SHA-256 sums pinned above: a
  # replayed index can then give nothing but those exact bytes.
  local pinned_only=0 log=$tmp/update.log
  if ! apt-get "${opts[@]}" update -qq >"$log" 2>&1; then
    if grep -qi 'expired' "$log" &&
      apt-get "${opts[@]}" -o Acquire::Check-Valid-Until=false update -qq >"$log" 2>&1; then
      echo "install-deps: the unstable index of $mirror has expired; taking only yyjson" \
        "$YYJSON_VERSION, checked against its pinned SHA-256 sums"
      pinned_only=1
    else
      cat "$log" >&2
      die "cannot read the unstable suite of $mirror; yyjson $YYJSON_VERSION not installed"
    fi
  fi
  # The tested revision if unstable still has it, otherwise its 0.12.0 build.
  local version="$YYJSON_VERSION"
  local available
  available=$(apt-cache "${opts[@]}" madison libyyjson-dev 2>/dev/null | awk -F'|' '{gsub(/ /,"",$2); print $2}')
  if ! grep -qxF "$YYJSON_VERSION" <<<"$available"; then
    [[ $pinned_only -eq 0 ]] ||
      die "the expired unstable index of $mirror has no yyjson $YYJSON_VERSION (it offers: ${available:-nothing})"
    version=""
    for v in $available; do is_upstream_0_12_0 "$v" && { version=$v; break; }; done
    [[ -n "$version" ]] || die "unstable has no yyjson $YYJSON_UPSTREAM (it offers: ${available:-nothing})"
  fi
  (cd "$tmp" && apt-get "${opts[@]}" download \
    "libyyjson0=$version" "libyyjson-dev=$version") ||
    die "cannot download libyyjson0/libyyjson-dev $version from unstable"
  if [[ $version == "$YYJSON_VERSION" ]]; then
    check_pinned "$tmp"/libyyjson0_*.deb "$YYJSON_SHA256_libyyjson0" "$pinned_only"
    check_pinned "$tmp"/libyyjson-dev_*.deb "$YYJSON_SHA256_libyyjson_dev" "$pinned_only"
  fi
  $SUDO dpkg -i "$tmp"/libyyjson0_*.deb "$tmp"/libyyjson-dev_*.deb >/dev/null ||
    die "dpkg -i of yyjson $YYJSON_VERSION failed"
  yyjson_ok || die "yyjson $version still not installed after dpkg -i"
}

apt_install "${MAIN_PKGS[@]}"
if [[ $want_all -eq 1 ]]; then apt_install "${ALL_PKGS[@]}"; fi
if [[ $want_all -eq 1 ]] && ! command -v npm >/dev/null; then apt_install "${NODE_PKGS[@]}"; fi
install_yyjson
exit 0
