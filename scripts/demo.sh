#!/usr/bin/env bash
# Builds everything, packs the sample product into build/TarnisSetup.exe,
# signed, shows what tnpack --inspect finds in it, and runs the installer
# under Wine: in a window on $DISPLAY for a person, or on a private virtual
# display where it clicks through the install by itself and saves a
# screenshot of every page under build/demo/.
#
# The installer is signed with TN_SIGN_PKCS12/TN_SIGN_PASS_FILE when they are
# set (they also sign the archive library in the build); otherwise with a
# throw-away certificate made on the spot under build/demo/certificate,
# which nothing trusts.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="${TN_BUILD_ROOT:-$root/build}"

"$root/scripts/setup.sh"
"$root/scripts/build.sh"

setup_exe="$out/TarnisSetup.exe"
tnpack="$out/host/tnpack"
product="$out/win32/sample/product"
if [ -x "$tnpack" ] && [ -d "$product" ]; then
  sign=()
  if [ -n "${TN_SIGN_PKCS12:-}" ] && [ -n "${TN_SIGN_PASS_FILE:-}" ]; then
    echo "demo: signing with $TN_SIGN_PKCS12 (TN_SIGN_PKCS12)"
    sign=(--sign-pkcs12 "$TN_SIGN_PKCS12" --sign-pass-file "$TN_SIGN_PASS_FILE")
    inspect=()
  else
    certificate="$out/demo/certificate"
    publisher="$(sed -n 's/^Publisher[[:space:]]*=[[:space:]]*//p' "$root/config/info.ini" | tr -d '\r' | sed 's/[[:space:]]*$//')"
    rm -rf "$certificate"
    python3 "$root/tests/harness/signing_certificate.py" "$certificate" "$publisher" >/dev/null
    echo "demo: made a throw-away certificate authority and a code-signing certificate for"
    echo "      \"$publisher\" on the spot in $certificate; nothing trusts them, so"
    echo "      Windows would still warn about this installer. Sign releases with your own"
    echo "      certificate: TN_SIGN_PKCS12=cert.p12 TN_SIGN_PASS_FILE=pass.txt scripts/demo.sh"
    sign=(--sign-pkcs12 "$certificate/signer.p12" --sign-pass-file "$certificate/pass.txt"
          --sign-ca "$certificate/ca.pem")
    inspect=(--sign-ca "$certificate/ca.pem")
  fi
  echo "demo: packing $product"
  echo "demo: \$ tnpack --stub $out/win32/tnsetup.exe --product $product --out $setup_exe ${sign[*]}"
  "$tnpack" --stub "$out/win32/tnsetup.exe" --product "$product" --out "$setup_exe" "${sign[@]}"
  echo "demo: \$ tnpack --inspect $setup_exe ${inspect[*]}"
  "$tnpack" --inspect "$setup_exe" "${inspect[@]}"
else
  echo "demo: no packing tool or sample product yet; running the bare installer stub"
  cp "$out/win32/tnsetup.exe" "$setup_exe"
fi

export TN_BUILD_DIR="$out/win32" TN_SOURCE_DIR="$root" TN_HOST_BUILD_DIR="$out/host"
exec python3 "$root/scripts/demo_walkthrough.py" "$setup_exe" "$out/demo"
