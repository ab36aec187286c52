#!/usr/bin/env bash
# Configures and builds both trees: build/host (native) and build/win32 (cross).
#
# TN_SIGN_PKCS12=cert.p12 TN_SIGN_PASS_FILE=pass.txt scripts/build.sh signs the
# archive library (Authenticode, osslsigncode) before the installer stub
# embeds it; the password is the first line of that file and is never put on
# a command line. Without them the build is unsigned, and a later build
# without them undoes an earlier signing.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
jobs="${TN_JOBS:-$(nproc)}"
# TN_BUILD_ROOT lets several people build side by side (default: build/).
out="${TN_BUILD_ROOT:-$root/build}"

sign_pkcs12="${TN_SIGN_PKCS12:-}"
sign_pass_file="${TN_SIGN_PASS_FILE:-}"
if [ -n "$sign_pkcs12" ] || [ -n "$sign_pass_file" ]; then
  if [ -z "$sign_pkcs12" ] || [ -z "$sign_pass_file" ]; then
    echo "build: TN_SIGN_PKCS12 and TN_SIGN_PASS_FILE go together" >&2
    exit 2
  fi
  for f in "$sign_pkcs12" "$sign_pass_file"; do
    if [ ! -f "$f" ]; then echo "build: $f does not exist" >&2; exit 2; fi
  done
  sign_pkcs12="$(realpath "$sign_pkcs12")"
  sign_pass_file="$(realpath "$sign_pass_file")"
  echo "build: the archive library will be signed with $sign_pkcs12"
fi

# A tree is configured again when it has no build files yet, also after a
# configure that failed half-way (it leaves a cache but no Makefile).
configure() {
  local dir="$1"; shift
  if [ ! -f "$dir/CMakeCache.txt" ] || [ ! -f "$dir/Makefile" ]; then
    cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
  fi
}

# The cached value of a CMake variable of a configured tree (empty if none).
cached() {
  sed -n "s/^$2:[A-Z]*=//p" "$1/CMakeCache.txt" 2>/dev/null || true
}

configure "$out/host"
cmake --build "$out/host" -j "$jobs"
configure "$out/win32" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -DTARNIS_HOST_BUILD_DIR="$out/host" \
  -DTN_SIGN_PKCS12="$sign_pkcs12" -DTN_SIGN_PASS_FILE="$sign_pass_file"
if [ "$(cached "$out/win32" TN_SIGN_PKCS12)" != "$sign_pkcs12" ] ||
   [ "$(cached "$out/win32" TN_SIGN_PASS_FILE)" != "$sign_pass_file" ]; then
  cmake "$out/win32" -DTN_SIGN_PKCS12="$sign_pkcs12" -DTN_SIGN_PASS_FILE="$sign_pass_file" >/dev/null
fi
cmake --build "$out/win32" -j "$jobs"
