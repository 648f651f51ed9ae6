#!/usr/bin/env bash
# Runs a command on a private Xvfb display (1024 x 768, 24-bit), with no window manager.
# The server picks a free display number itself, so that tests can run side by side.
set -uo pipefail
dir=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$dir/display" 2>"$dir/xvfb.log" &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; rm -rf "$dir"' EXIT
for _ in $(seq 200); do
  [ -s "$dir/display" ] && break
  kill -0 "$xvfb" 2>/dev/null || break
  sleep 0.05
done
display=$(head -n 1 "$dir/display")
if [ -z "$display" ]; then
  echo "run-under-xvfb: Xvfb did not start" >&2
  cat "$dir/xvfb.log" >&2
  exit 1
fi
DISPLAY=:$display "$@"
