#!/usr/bin/env bash
# Runs a command on a private Xvfb display (1024 x 768, 24-bit), with no window manager.
# The server picks a free display number itself, so that tests can run side by side. Servers
# started at the same moment can pick the same number, and the loser takes the winner's socket
# away; so one server starts at a time, and it must answer before the command runs. A server
# that resets when its last client leaves refuses whoever connects meanwhile: it never resets.
#
# A command still running after LUMETTA_TEST_WATCHDOG seconds (100 unless set; every GUI
# test takes a few seconds) has its processes and their threads' stacks printed on standard
# error, and appended to the file LUMETTA_HANG_LOG names if set, and is left to go on: a slow
# machine may still finish it, and a hang says where it hung even though nobody can attach
# to it afterwards.
set -uo pipefail
dir=$(mktemp -d)
xvfb= command=
stop() {  # pid: asks it to end, and makes sure it has within two seconds
  kill "$1" 2>/dev/null || return 0
  for _ in $(seq 20); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done
  kill -9 "$1" 2>/dev/null
}
# Every process under pid, pid first.
tree() {
  echo "$1"
  local child
  for child in $(cat /proc/"$1"/task/*/children 2>/dev/null); do tree "$child"; done
}
trap 'if [ -n "$command" ]; then for p in $(tree "$command"); do stop "$p"; done; fi
      [ -n "$xvfb" ] && stop "$xvfb"; rm -rf "$dir"' EXIT
started=$SECONDS
exec 9>"${TMPDIR:-/tmp}/lumetta-xvfb-start.lock"
flock 9
display=
for attempt in 1 2 3; do
  : >"$dir/display"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$dir/display" >"$dir/xvfb.log" 2>&1 9>&- </dev/null &
  xvfb=$!
  for _ in $(seq 200); do
    [ -s "$dir/display" ] && break
    kill -0 "$xvfb" 2>/dev/null || break
    sleep 0.05
  done
  display=$(head -n 1 "$dir/display")
  [ -n "$display" ] && xdpyinfo -display ":$display" >/dev/null 2>&1 && break
  stop "$xvfb"
  xvfb= display=
done
flock -u 9
exec 9>&-
if [ -z "$display" ]; then
  echo "run-under-xvfb: Xvfb did not start" >&2
  cat "$dir/xvfb.log" >&2
  exit 1
fi
[ $((SECONDS - started)) -gt 10 ] && echo "run-under-xvfb: the server took $((SECONDS - started)) s to start" >&2

report_hang() {
  echo "run-under-xvfb: still running after ${limit} s: $*"
  local p
  for p in $(tree "$command"); do
    [ -r /proc/"$p"/cmdline ] || continue
    echo "== process $p: $(tr '\0' ' ' </proc/"$p"/cmdline | cut -c1-300)"
    for t in /proc/"$p"/task/*; do
      echo "   thread ${t##*/} $(cut -d' ' -f3 "$t"/stat 2>/dev/null) in $(cat "$t"/wchan 2>/dev/null)"
    done
    command -v gdb >/dev/null &&
      timeout 30 gdb -p "$p" -batch -ex 'thread apply all bt 20' 2>/dev/null | grep -E '^(#|Thread)' | cut -c1-240
  done
}

limit=${LUMETTA_TEST_WATCHDOG:-100}
DISPLAY=:$display "$@" &
command=$!
deadline=$((SECONDS + limit))
while kill -0 "$command" 2>/dev/null && [ "$SECONDS" -lt "$deadline" ]; do sleep 0.1; done
if kill -0 "$command" 2>/dev/null; then
  report=$(report_hang "$@")
  echo "$report" >&2
  [ -n "${LUMETTA_HANG_LOG:-}" ] && { echo "$report"; echo; } >>"$LUMETTA_HANG_LOG"
fi
wait "$command"
status=$?
command=
# A server that went away while the command ran says why in its log.
if ! kill -0 "$xvfb" 2>/dev/null; then
  echo "run-under-xvfb: Xvfb ended before the command did:" >&2
  cat "$dir/xvfb.log" >&2
fi
exit "$status"
