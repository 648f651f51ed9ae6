#!/usr/bin/env bash
# Runs a command on a private Xvfb display (1024 x 768, 24-bit), with no window manager.
# The server picks a free display number itself, so that tests can run side by side. Servers
# started at the same moment can pick the same number, and the loser takes the winner's socket
# away; so one server starts at a time, and it must answer before the command runs. A server
# that resets when its last client leaves refuses whoever connects meanwhile: it never resets.
set -uo pipefail
dir=$(mktemp -d)
xvfb=
trap '[ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null; wait 2>/dev/null; rm -rf "$dir"' EXIT
exec 9>"${TMPDIR:-/tmp}/lumetta-xvfb-start.lock"
flock 9
display=
for attempt in 1 2 3; do
  : >"$dir/display"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$dir/display" 2>"$dir/xvfb.log" 9>&- &
  xvfb=$!
  for _ in $(seq 200); do
    [ -s "$dir/display" ] && break
    kill -0 "$xvfb" 2>/dev/null || break
    sleep 0.05
  done
  display=$(head -n 1 "$dir/display")
  [ -n "$display" ] && xdpyinfo -display ":$display" >/dev/null 2>&1 && break
  kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null
  xvfb= display=
done
flock -u 9
exec 9>&-
if [ -z "$display" ]; then
  echo "run-under-xvfb: Xvfb did not start" >&2
  cat "$dir/xvfb.log" >&2
  exit 1
fi
DISPLAY=:$display "$@"
status=$?
# A server that went away while the command ran says why in its log.
if ! kill -0 "$xvfb" 2>/dev/null; then
  echo "run-under-xvfb: Xvfb ended before the command did:" >&2
  cat "$dir/xvfb.log" >&2
fi
exit "$status"
