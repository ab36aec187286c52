#!/usr/bin/env bash
# Configures and builds both trees: build/host (native) and build/win32 (cross).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
jobs="${TN_JOBS:-$(nproc)}"

configure() {
  local dir="$1"; shift
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
  fi
}

configure "$root/build/host"
cmake --build "$root/build/host" -j "$jobs"
configure "$root/build/win32" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -DTARNIS_HOST_BUILD_DIR="$root/build/host"
cmake --build "$root/build/win32" -j "$jobs"
