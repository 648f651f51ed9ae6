#!/usr/bin/env bash
# Starts the real program where there is no panel.bmp: it must show the message box
# captioned "orbelle3" and no main window, and end with status 1 once OK is pressed.
# Usage: missing-panel.sh LUMETTA OUT_DIR
set -euo pipefail
bin=$1 out=$2
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"; [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null || true' EXIT
cd "$work"

"$bin" 2>"$out/missing-panel.stderr" &
pid=$!
box=$(timeout 30 xdotool search --sync --onlyvisible --name '^orbelle3$' | head -n 1) || {
  echo "FAIL: no box captioned orbelle3"; exit 1; }
sleep 0.5
import -window "$box" "$out/missing-panel.png"
if xdotool search --onlyvisible --name '^Lumetta$' >/dev/null; then
  echo "FAIL: the main window showed"; exit 1
fi
xdotool windowfocus --sync "$box"
xdotool key Return
for _ in $(seq 50); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then echo "FAIL: OK did not end the program"; exit 1; fi
status=0; wait "$pid" || status=$?
pid=
[ "$status" -eq 1 ] || { echo "FAIL: exit status $status, not 1"; cat "$out/missing-panel.stderr"; exit 1; }
echo "PASS: box orbelle3, no main window, status 1 after OK"
