#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs everything promfmt needs to build, test and run its examples.
#
# yyjson 0.12.0 is not in Debian 12 (bookworm), but Debian unstable's
# libyyjson0/libyyjson-dev 0.12.0+ds-2 only need libc6 >= 2.14, so they install
# cleanly here. We fetch those two .deb files through a private apt
# configuration that points at the unstable suite of the mirror this machine
# already uses; the machine's own package sources are never modified.
#
# Idempotent: a second run with everything present does nothing but check.
# Usage: scripts/install-deps.sh [--with-extras]
#   --with-extras also installs the packages that only the integration tests,
#   the benchmark, the cross build and the docs need.
set -euo pipefail

# The Debian revision we tested with; any Debian build of upstream 0.12.0
# (0.12.0+ds-N) is accepted, should unstable move on to another revision.
YYJSON_VERSION="0.12.0+ds-2"
YYJSON_UPSTREAM="0.12.0"

# Packages the library, its tests and the example need.
BASE_PKGS=(cmake make g++ clang libgtest-dev libbenchmark-dev pkg-config
  valgrind locales binutils libcpp-httplib-dev
  prometheus python3-prometheus-client libclang-rt-14-dev)
# Packages for the benchmark comparison, packaging and cross-build checks.
EXTRA_PKGS=(prometheus-cpp-dev python3-matplotlib g++-mingw-w64-x86-64
  mingw-w64-tools doxygen)

die() { echo "install-deps: $*" >&2; exit 1; }

want_extras=0
[[ "${1:-}" == "--with-extras" ]] && want_extras=1

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

# Mirror URI of the machine's configured Debian archive (deb822 or one-line form).
debian_mirror() {
  local uri=""
  if [[ -f /etc/apt/sources.list.d/debian.sources ]]; then
    uri=$(awk '/^URIs:/ {print $2; exit}' /etc/apt/sources.list.d/debian.sources)
  fi
  if [[ -z "$uri" && -f /etc/apt/sources.list ]]; then
    uri=$(awk '$1 == "deb" && $2 !~ /security/ {print $2; exit}' /etc/apt/sources.list)
  fi
  echo "${uri:-http://deb.debian.org/debian}"
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
  echo "deb [signed-by=$keyring] $(debian_mirror) unstable main" >"$tmp/sources.list"
  local opts=(-o "Dir::Etc::sourcelist=$tmp/sources.list" -o "Dir::Etc::sourceparts=-"
    -o "Dir::State::Lists=$tmp/lists" -o "Dir::Cache::archives=$tmp/archives"
    -o "Dir::Cache::pkgcache=$tmp/pkgcache.bin" -o "Dir::Cache::srcpkgcache=$tmp/srcpkgcache.bin"
    -o "APT::Get::List-Cleanup=0" -o "Acquire::Languages=none" -o "APT::Sandbox::User=root")
  apt-get "${opts[@]}" update -qq ||
    die "cannot read the unstable suite of $(debian_mirror); yyjson $YYJSON_VERSION not installed"
  # The tested revision if unstable still has it, otherwise its 0.12.0 build.
  local version="$YYJSON_VERSION"
  local available
  available=$(apt-cache "${opts[@]}" madison libyyjson-dev 2>/dev/null | awk -F'|' '{gsub(/ /,"",$2); print $2}')
  if ! grep -qxF "$YYJSON_VERSION" <<<"$available"; then
    version=""
    for v in $available; do is_upstream_0_12_0 "$v" && { version=$v; break; }; done
    [[ -n "$version" ]] || die "unstable has no yyjson $YYJSON_UPSTREAM (it offers: ${available:-nothing})"
  fi
  (cd "$tmp" && apt-get "${opts[@]}" download \
    "libyyjson0=$version" "libyyjson-dev=$version") ||
    die "cannot download libyyjson0/libyyjson-dev $version from unstable"
  $SUDO dpkg -i "$tmp"/libyyjson0_*.deb "$tmp"/libyyjson-dev_*.deb >/dev/null ||
    die "dpkg -i of yyjson $YYJSON_VERSION failed"
  yyjson_ok || die "yyjson $version still not installed after dpkg -i"
}

apt_install "${BASE_PKGS[@]}"
[[ $want_extras -eq 1 ]] && apt_install "${EXTRA_PKGS[@]}"
install_yyjson
exit 0
