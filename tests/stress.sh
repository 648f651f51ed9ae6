#!/usr/bin/env bash
# Runs the tests that drive the real program on a display, a compositor or in a browser (the
# window, the screensaver, the ornament on X and on Wayland, the GUI scripts, the greetings in
# Chromium) many times over on a loaded machine: one busy loop for each processor keeps every
# core taken, as a build or another suite would. A test that waits for a side effect of its
# own actions rather than for the program's own sign fails here sooner or later.
#
# usage: tests/stress.sh BUILD_DIR [ROUNDS] [REGEX]
#   BUILD_DIR  a configured and built tree (build/release, or build/sanitize, which runs
#              with the sanitizers' options the test command gives it)
#   ROUNDS     how many times the whole set runs (20 unless given)
#   REGEX      which tests, as ctest -R takes it
# Prints each round's failures and a tally; the status is 1 when any test failed once.
set -uo pipefail
build=${1:?usage: tests/stress.sh BUILD_DIR [ROUNDS] [REGEX]}
rounds=${2:-20}
pattern=${3:-'^(window|saver|ornament|wayland|gui|browser)\.'}
[ -f "$build/CTestTestfile.cmake" ] || { echo "stress: $build is not a built tree" >&2; exit 2; }
# A sanitized tree runs as the test command runs it.
if grep -q '^LUMETTA_SANITIZE:BOOL=ON' "$build/CMakeCache.txt" 2>/dev/null; then
  . "$(dirname "$0")/../tools/sanitizers.sh"
fi

hogs=()
stop_hogs() { [ ${#hogs[@]} -eq 0 ] || kill "${hogs[@]}" 2>/dev/null; }
trap stop_hogs EXIT
for _ in $(seq "$(nproc)"); do
  bash -c 'while :; do :; done' &
  hogs+=($!)
done

log=$(mktemp -d)
declare -A failed=()
for round in $(seq "$rounds"); do
  ctest --test-dir "$build" -R "$pattern" -j"$(nproc)" --timeout 300 --output-on-failure \
    >"$log/round-$round.txt" 2>&1
  names=$(sed -n 's/^[[:space:]]*[0-9][0-9]* - \(.*\) (.*)$/\1/p' "$log/round-$round.txt")
  if [ -n "$names" ]; then
    echo "round $round: failed: $(echo "$names" | paste -sd' ')"
    for n in $names; do failed[$n]=$((${failed[$n]:-0} + 1)); done
    cp "$log/round-$round.txt" "$build/stress-round-$round.txt"
  else
    echo "round $round: $(grep -E 'tests passed, [0-9]+ tests failed' "$log/round-$round.txt")"
  fi
done
rm -rf "$log"
if [ ${#failed[@]} -eq 0 ]; then
  echo "stress: every test passed $rounds times under load"
  exit 0
fi
echo "stress: failures over $rounds rounds (each failing round's output is in $build/stress-round-N.txt):"
for n in "${!failed[@]}"; do echo "  ${failed[$n]}  $n"; done
exit 1
