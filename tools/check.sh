#!/usr/bin/env bash
# The test command: installs what is missing, builds, and runs the whole suite twice, once
# as built for users by GCC and once under AddressSanitizer and UndefinedBehaviorSanitizer
# by Clang, both with warnings as errors; builds the Windows program and runs its tests under
# Wine; checks the layout and clang-tidy; then the fuzzers, for 25 seconds each.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
jobs=$(nproc)
# GUI tests that run long say here what they were doing (see tests/gui/run-under-xvfb.sh).
export LUMETTA_HANG_LOG=$PWD/build/slow-tests.log
mkdir -p build && rm -f "$LUMETTA_HANG_LOG"
report_slow() {
  [ -s "$LUMETTA_HANG_LOG" ] || return 0
  echo "check: some tests ran over 100 s; what they were doing then:" >&2
  cat "$LUMETTA_HANG_LOG" >&2
}
trap report_slow EXIT

# The suite leaves the user's home alone: it runs with HOME on a folder it may not write (or,
# for root, must not) and XDG_CONFIG_HOME on one holding a settings file and a recent file,
# both looked at after each pass, byte for byte, down to the folders' times.
watched=$PWD/build/watched-home
chmod -R u+w "$watched" 2>/dev/null || true
rm -rf "$watched"
mkdir -p "$watched/home" "$watched/config/orbelle3"
printf '[Ornament]\nX=17\nY=23\n[RecentFiles]\nfile1=/nowhere/kept.pell\n' >"$watched/config/orbelle3/orbelle3.conf"
chmod -R a-w "$watched/home"
snapshot() { (cd "$watched" && find . -printf '%p %M %s %T@\n' | sort && find . -type f -exec sha256sum {} + | sort); }
untouched=$(snapshot)
# suite BUILD_DIR: the whole suite of that build, then the look at the home.
suite() {
  HOME=$watched/home XDG_CONFIG_HOME=$watched/config \
    ctest --test-dir "$1" --output-on-failure --timeout 300 -j"$jobs" --repeat after-timeout:2
  if [ "$(snapshot)" != "$untouched" ]; then
    echo "check: the suite in $1 changed the home or settings it was started with:" >&2
    diff <(echo "$untouched") <(snapshot) >&2
    exit 1
  fi
}

cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMETTA_WERROR=ON >/dev/null
cmake --build build/release -j"$jobs"
# The tests must have been built: an empty run would pass.
[ -x build/release/tests/lumetta_tests ] || { echo "check: the tests were not built" >&2; exit 1; }
# A test that times out runs once more; a GUI test that ran long left its stacks in the log.
suite build/release

# The Windows program, cross-built and tested under Wine, its pictures held to the Linux one's.
bash tools/windows.sh test

# Clang's sanitizers are the reference; its compile commands serve clang-tidy too.
CC=clang CXX=clang++ cmake -S . -B build/sanitize -DCMAKE_BUILD_TYPE=Debug -DLUMETTA_SANITIZE=ON \
  -DLUMETTA_BENCH=ON -DLUMETTA_WERROR=ON -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
cmake --build build/sanitize -j"$jobs"
. tools/sanitizers.sh
suite build/sanitize

bash tools/style.sh build/sanitize
bash tools/fuzz.sh 25
