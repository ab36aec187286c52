#!/usr/bin/env bash
# Configures and builds both trees: build/host (native) and build/win32 (cross).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
jobs="${TN_JOBS:-$(nproc)}"
# TN_BUILD_ROOT lets several people build side by side (default: build/).
out="${TN_BUILD_ROOT:-$root/build}"

configure() {
  local dir="$1"; shift
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
  fi
}

configure "$out/host"
cmake --build "$out/host" -j "$jobs"
configure "$out/win32" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -DTARNIS_HOST_BUILD_DIR="$out/host"
cmake --build "$out/win32" -j "$jobs"
