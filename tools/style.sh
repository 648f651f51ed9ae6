#!/usr/bin/env bash
# The code's habits, checked: clang-format finds every C++ file as .clang-format lays it out,
# and clang-tidy (.clang-tidy) finds nothing in the program's own code. BUILD_DIR holds a
# configured build with compile_commands.json (CMAKE_EXPORT_COMPILE_COMMANDS=ON).
# Usage: style.sh BUILD_DIR      (tools/style.sh --fix formats the tree in place instead)
set -euo pipefail
cd "$(dirname "$0")/.."
files=$(git ls-files '*.h' '*.cpp')
if [ "${1:-}" = --fix ]; then
  # shellcheck disable=SC2086
  clang-format -i $files
  exit 0
fi
build=${1:?usage: style.sh BUILD_DIR}
# shellcheck disable=SC2086
clang-format --dry-run -Werror $files
echo "style: every file is laid out as .clang-format says" >&2
run-clang-tidy-14 -p "$build" -j"$(nproc)" -quiet "$PWD/(app|export|saver|ornament|window|os|x11|wayland|view|models|bulbs|core)/([a-z]+/)?[^/]+\.cpp\$" >"$build/tidy.log" 2>&1 || {
  grep -E 'warning:|error:' "$build/tidy.log" >&2 || tail -40 "$build/tidy.log" >&2
  echo "style: clang-tidy found faults (the whole account: $build/tidy.log)" >&2
  exit 1
}
echo "style: clang-tidy finds nothing in the program's code" >&2
