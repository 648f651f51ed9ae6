#!/usr/bin/env bash
# Starts the real program where there is no panel.bmp: it must show the message box
# captioned "orbelle3" and no main window, and end with status 1 once OK is pressed.
# Usage: missing-panel.sh LUMETTA OUT_DIR
set -euo pipefail
. "$(dirname "$0")/common.sh"
bin=$1 out=$2
enter_work_dir

"$bin" 2>"$out/missing-panel.stderr" &
pid=$!
box=$(timeout 30 xdotool search --sync --onlyvisible --name '^orbelle3$' | head -n 1) || {
  echo "FAIL: no box captioned orbelle3"; exit 1; }
sleep 0.5
import -window "$box" "$out/missing-panel.png"
if xdotool search --onlyvisible --name '^Lumetta$' >/dev/null; then
  echo "FAIL: the main window showed"; exit 1
fi
press_and_expect_exit "$box" Return 1 OK "$out/missing-panel.stderr"
echo "PASS: box orbelle3, no main window, status 1 after OK"
