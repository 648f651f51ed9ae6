#!/usr/bin/env bash
# Builds Lumetta for Windows here: installs the cross compiler (and, for the tests, Wine),
# then makes build/windows/lumetta.exe, which needs only the DLLs every Windows has, and the
# zip to hand out, which runs where it is unpacked.
# Usage: windows.sh [test]    (test: then runs the Windows tests under Wine)
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh windows
base=(-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release -DLUMETTA_WERROR=ON)
args=("${base[@]}")
# The Linux program, when built, draws the pictures the Windows one is held to.
[ -x build/release/lumetta ] && args+=(-DLUMETTA_LINUX_PROGRAM="$PWD/build/release/lumetta")
cmake -S . -B build/windows "${args[@]}" >/dev/null
cmake --build build/windows -j"$(nproc)"
echo "windows: made build/windows/lumetta.exe and its zip, build/windows/lumetta-*-windows.zip" >&2
if [ "${1:-}" = test ]; then
  ctest --test-dir build/windows --output-on-failure --timeout 300 -j"$(nproc)"
  # The same commit makes the same zip, in another folder too.
  again=build/windows-again
  rm -rf "$again"
  cmake -S . -B "$again" "${base[@]}" -DLUMETTA_TESTS=OFF >/dev/null
  cmake --build "$again" -j"$(nproc)" --target lumetta_zip >/dev/null
  cmp build/windows/lumetta-*-windows.zip "$again"/lumetta-*-windows.zip ||
    { echo "windows: two builds of the same commit made different zips" >&2; exit 1; }
  rm -rf "$again"
  echo "windows: a second build made the same zip, byte for byte" >&2
fi
