# The sanitizers' options for running the build/sanitize tree; sourced by tools/check.sh and
# tests/stress.sh.
# Leaks inside the GL driver and the toolkit are theirs; the suppressions name only those libraries.
# The leak checker's own tracking of dynamic TLS (which the GL driver, loaded at run time,
# uses) reads stale entries with this glibc and falls over at exit; it is left out.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1:intercept_tls_get_addr=0
export LSAN_OPTIONS=suppressions=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
