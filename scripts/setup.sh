#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine (with
# --bench also what the benchmarks need) and fetches the third-party sources
# into build/deps. Safe to run again: it only installs what is missing and
# fetches sources once.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
deps="$root/build/deps"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

packages=(
  g++-mingw-w64-i686-posix libz-mingw-w64-dev
  wine wine32:i386 wine64 xvfb xdotool x11-utils
  7zip googletest libgtest-dev cmake make g++ git imagemagick
  fonts-wqy-microhei locales dpkg-dev zlib1g-dev python3
  osslsigncode openssl libssl-dev clang-format
)
# The benchmarks also time an NSIS installer of the same files:
# scripts/setup.sh --bench adds what they need.
if [ "${1:-}" = "--bench" ]; then packages+=(nsis); fi

apt_updated=0
apt_update() {
  if [ "$apt_updated" -eq 0 ]; then
    # A mirror that is being synced can fail one index; retry, then go on
    # with what was fetched (the install step reports what is truly missing).
    local try
    for try in 1 2 3; do
      if $SUDO apt-get update -qq; then break; fi
      echo "setup: apt-get update failed (try $try), retrying" >&2
      sleep 5
    done
    apt_updated=1
  fi
}

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "setup: enabling the i386 architecture (for wine32)"
  $SUDO dpkg --add-architecture i386
  apt_updated=0
  apt_update
fi

if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ &&
   ! grep -qs '^deb-src' /etc/apt/sources.list; then
  echo "setup: adding a deb-src entry (for apt-get source)"
  src=$(ls /etc/apt/sources.list.d/*.sources 2>/dev/null | head -n 1 || true)
  if [ -n "$src" ]; then
    sed 's/^Types: deb$/Types: deb-src/' "$src" | $SUDO tee /etc/apt/sources.list.d/tarnis-deb-src.sources >/dev/null
  else
    grep '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' | $SUDO tee /etc/apt/sources.list.d/tarnis-deb-src.list >/dev/null
  fi
  apt_updated=0
  apt_update
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  apt_update
  install() {
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "$@" "${missing[@]}" >/dev/null
  }
  # When the security index of one architecture lags behind the other, the
  # Multi-Arch libraries of wine32 cannot agree on a version; the release's
  # own versions always agree, so fall back to them.
  if ! install; then
    echo "setup: retrying the install from the release's own versions" >&2
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
    install -t "$codename"
  fi
fi

if ! locale -a 2>/dev/null | grep -qi '^zh_CN.utf8$'; then
  echo "setup: generating the zh_CN.UTF-8 locale"
  $SUDO sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi

mkdir -p "$deps"
fetch_source() {
  local name="$1" pattern="$2"
  if ! ls -d "$deps"/$pattern >/dev/null 2>&1; then
    echo "setup: fetching the $name source package"
    # The package lists are usually fresh enough; update them only when the
    # source cannot be found with what is there.
    if ! (cd "$deps" && apt-get source -qq "$name" >/dev/null 2>&1); then
      apt_update
      (cd "$deps" && apt-get source "$name")
    fi
  fi
}
fetch_source 7zip '7zip-*/'
fetch_source tinyxml2 'tinyxml2-*/'
