#!/usr/bin/env bash
# The test command: installs what is missing, builds, and runs the whole suite twice, once
# as built for users by GCC and once under AddressSanitizer and UndefinedBehaviorSanitizer
# by Clang, both with warnings as errors; checks the layout and clang-tidy; then the fuzzers,
# for 25 seconds each.
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

cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMETTA_WERROR=ON >/dev/null
cmake --build build/release -j"$jobs"
# The tests must have been built: an empty run would pass.
[ -x build/release/tests/lumetta_tests ] || { echo "check: the tests were not built" >&2; exit 1; }
# A test that times out runs once more; a GUI test that ran long left its stacks in the log.
ctest --test-dir build/release --output-on-failure --timeout 300 -j"$jobs" --repeat after-timeout:2

# Clang's sanitizers are the reference; its compile commands serve clang-tidy too.
CC=clang CXX=clang++ cmake -S . -B build/sanitize -DCMAKE_BUILD_TYPE=Debug -DLUMETTA_SANITIZE=ON \
  -DLUMETTA_BENCH=ON -DLUMETTA_WERROR=ON -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
cmake --build build/sanitize -j"$jobs"
# Leaks inside the GL driver and the toolkit are theirs; the suppressions name only those libraries.
# The leak checker's own tracking of dynamic TLS (which the GL driver, loaded at run time,
# uses) reads stale entries with this glibc and falls over at exit; it is left out.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1:intercept_tls_get_addr=0
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build/sanitize --output-on-failure --timeout 300 -j"$jobs" --repeat after-timeout:2

bash tools/style.sh build/sanitize
bash tools/fuzz.sh 25
