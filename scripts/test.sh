#!/usr/bin/env bash
# Installs what is missing, builds both trees and runs every test layer.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
start=$(date +%s)
"$root/scripts/setup.sh"
"$root/scripts/build.sh"
built=$(date +%s)
echo "test: setup and build took $((built - start)) s"

status=0
jobs="${TN_JOBS:-$(nproc)}"
out="${TN_BUILD_ROOT:-$root/build}"
(cd "$out/host" && ctest --output-on-failure -j "$jobs") || status=1
(cd "$out/win32" && ctest --output-on-failure -j "$jobs") || status=1
echo "test: tests took $(( $(date +%s) - built )) s"
exit "$status"
