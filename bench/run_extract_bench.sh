#!/usr/bin/env bash
# Install-speed benchmark, one command:
#
#   bench/run_extract_bench.sh [ROUNDS]      (default 5 rounds)
#
# Makes the ~300 MB benchmark product (bench/make_product.py), packs it with
# tnpack behind the installer stub, and times in one run, each method in a
# fresh copy of the 64-bit template prefix, the order rotated every round
# (bench/extract_bench.py has the details):
#   (a') 7-Zip's own console (7za, built here for i686 Windows) under Wine
#   the benchmark program (bench/extract_bench.exe: the extraction worker)
#   the real installer: a real click on the install button of the welcome
#        page, until the finish page is on the screen, less its fixed pauses
#   (c)  an NSIS installer of the same files (SetCompressor /SOLID lzma),
#        installed silently under Wine
#   (a)  7zz x, natively, for reference
# TN_BENCH_BASELINE=DIR adds an earlier build (DIR/extract_bench.exe and
# DIR/setup.exe, packed the same way) to every round.
# with wall time, process and Wine server CPU time, and the time from start
# to the first painted window (the installer's and a plain window's).
# TN_BENCH_PAUSES_MS overrides the fixed pauses taken off the installer's
# time (by default those of the start-install sequence as built).
#
# Trees: TN_BUILD_ROOT (default build/) with host/ and win32/ inside, or
# TN_HOST_TREE and TN_WIN32_TREE. Work files go to $TN_BUILD_ROOT/bench.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="${TN_BUILD_ROOT:-$root/build}"
host="${TN_HOST_TREE:-$out/host}"
win="${TN_WIN32_TREE:-$out/win32}"
work="$out/bench"
rounds="${1:-5}"
jobs="${TN_JOBS:-2}"
mkdir -p "$work"

say() { printf '== %s\n' "$*" >&2; }

# Debian's NSIS comes with the benchmarks' part of the set-up.
if ! command -v makensis >/dev/null; then
  say "installing the benchmarks' packages"
  bash "$root/scripts/setup.sh" --bench >&2
fi

[ -f "$host/CMakeCache.txt" ] && [ -f "$win/CMakeCache.txt" ] || {
  say "configuring the build trees"; TN_BUILD_ROOT="$out" TN_JOBS="$jobs" bash "$root/scripts/build.sh"; }
say "building tnpack, the installer stub and the bench program"
cmake --build "$host" --target tnpack -j "$jobs" >/dev/null
cmake --build "$win" --target tnsetup sevenzip_dll extract_bench plain_window winauto sample_product \
  -j "$jobs" >/dev/null

# 7-Zip's console for Windows from the same source package, built once.
sevenza="$work/7za.exe"
if [ ! -f "$sevenza" ]; then
  say "building 7za.exe for i686 Windows (once)"
  deps="$(sed -n 's/^TARNIS_DEPS_DIR:PATH=//p' "$win/CMakeCache.txt")"
  src="$(ls -d "$deps"/7zip-*/ | head -n 1)"
  rm -rf "$work/7zip-src"
  cp -a "$src" "$work/7zip-src"
  (cd "$work/7zip-src/CPP/7zip/Bundles/Alone" &&
   make -j "$jobs" -f makefile.gcc IS_MINGW=1 MSYSTEM=1 CC=i686-w64-mingw32-gcc \
        CXX=i686-w64-mingw32-g++ RC=i686-w64-mingw32-windres >"$work/7za-build.log" 2>&1)
  cp "$work/7zip-src/CPP/7zip/Bundles/Alone/_o/7za.exe" "$sevenza"
fi

say "making the product"
python3 "$root/bench/make_product.py" "$work/product" >&2
# The programs the installer's configuration names (tnpack refuses a product
# without them), taken from the sample product. No hypervisor setup: the
# benchmark times the installation itself.
programs=(ZEVodirodaz.exe uninstall.exe TNZiduvaZevi.exe ZiduVaziruzOzuded.exe)
sample_dir="$(sed -n 's/^TN_SAMPLE_PRODUCT_DIR:PATH=//p' "$win/CMakeCache.txt")"
for program in "${programs[@]}"; do
  cp -p "$sample_dir/$program" "$work/product/$program"
done

setup="$work/setup.exe"
if [ ! -f "$setup" ] || [ "$work/product.complete" -nt "$setup" ] || [ "$win/tnsetup.exe" -nt "$setup" ] ||
   [ "$host/tnpack" -nt "$setup" ] || [ "$sample_dir/${programs[0]}" -nt "$setup" ]; then
  say "packing the installer with tnpack"
  "$host/tnpack" --stub "$win/tnsetup.exe" --product "$work/product" --out "$setup.new" >&2
  mv "$setup.new" "$setup"
fi

nsis="$work/nsis_setup.exe"
if [ ! -f "$nsis" ] || [ "$work/product.complete" -nt "$nsis" ]; then
  say "making the NSIS installer"
  cat >"$work/product.nsi" <<NSI
Unicode true
SetCompressor /SOLID lzma
Name "Tarnis"
OutFile "$nsis.new"
InstallDir "C:\\bench\\nsis"
RequestExecutionLevel admin
Section
  SetOutPath "\$INSTDIR"
  File /r "$work/product/*.*"
SectionEnd
NSI
  makensis -V2 "$work/product.nsi" >&2
  mv "$nsis.new" "$nsis"
fi

[ -n "${TN_BENCH_PREPARE_ONLY:-}" ] && exit 0

say "running $rounds rounds"
# The harness takes its template prefixes and scratch space from this tree.
export TN_BUILD_DIR="$win" TN_SOURCE_DIR="$root"
# The fixed pauses between the click and the finish page on a first
# installation: 300 ms after ending the configured processes, 200 ms after
# ending the hypervisor's, 300 ms before the extraction and 200 ms before
# loading the library.
pauses="${TN_BENCH_PAUSES_MS:-1000}"
# TN_BENCH_BASELINE: a folder with an earlier build's extract_bench.exe and
# packed setup.exe, measured beside the current ones.
baseline=()
if [ -n "${TN_BENCH_BASELINE:-}" ]; then
  baseline=(--baseline-bench "$TN_BENCH_BASELINE/extract_bench.exe"
            --baseline-installer "$TN_BENCH_BASELINE/setup.exe")
fi
python3 "$root/bench/extract_bench.py" --work "$work" --win-tree "$win" \
  --installer "$setup" --nsis "$nsis" --sevenza "$sevenza" --rounds "$rounds" \
  --pauses-ms "$pauses" "${baseline[@]}" |
  tee "$work/bench_report.txt"
