#!/usr/bin/env bash
# Builds Lumetta for Windows here: installs the cross compiler (and, for the tests, Wine),
# then makes build/windows/lumetta.exe, which needs only the DLLs every Windows has.
# Usage: windows.sh [test]    (test: then runs the Windows tests under Wine)
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh windows
args=(-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release -DLUMETTA_WERROR=ON)
# The Linux program, when built, draws the pictures the Windows one is held to.
[ -x build/release/lumetta ] && args+=(-DLUMETTA_LINUX_PROGRAM="$PWD/build/release/lumetta")
cmake -S . -B build/windows "${args[@]}" >/dev/null
cmake --build build/windows -j"$(nproc)"
echo "windows: made build/windows/lumetta.exe" >&2
if [ "${1:-}" = test ]; then
  ctest --test-dir build/windows --output-on-failure --timeout 300 -j"$(nproc)"
fi
