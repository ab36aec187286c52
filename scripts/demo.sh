#!/usr/bin/env bash
# Builds everything, packs the sample product into build/TarnisSetup.exe and
# runs the installer under Wine: in a window on $DISPLAY for a person, or on a
# private virtual display where it clicks through the install by itself and
# saves a screenshot of every page under build/demo/.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="${TN_BUILD_ROOT:-$root/build}"

"$root/scripts/setup.sh"
"$root/scripts/build.sh"

setup_exe="$out/TarnisSetup.exe"
tnpack="$out/host/tnpack"
product="$out/win32/sample/product"
if [ -x "$tnpack" ] && [ -d "$product" ]; then
  echo "demo: packing $product"
  "$tnpack" --stub "$out/win32/tnsetup.exe" --product "$product" --out "$setup_exe"
else
  echo "demo: no packing tool or sample product yet; running the bare installer stub"
  cp "$out/win32/tnsetup.exe" "$setup_exe"
fi

export TN_BUILD_DIR="$out/win32" TN_SOURCE_DIR="$root" TN_HOST_BUILD_DIR="$out/host"
exec python3 "$root/scripts/demo_walkthrough.py" "$setup_exe" "$out/demo"
