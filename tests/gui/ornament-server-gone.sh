#!/usr/bin/env bash
# The ornament ends quietly, with status 0 and nothing said, when the X server under it goes:
# it hangs on a private Xvfb of this script's own, which is then killed; the second time with
# its menu open for the first time, when the toolkit's own connection goes too.
# Usage: ornament-server-gone.sh LUMETTA
set -uo pipefail
bin=$1
dir=$(mktemp -d)
xvfb= ornament=
trap '[ -n "$ornament" ] && kill -9 "$ornament" 2>/dev/null; [ -n "$xvfb" ] && kill -9 "$xvfb" 2>/dev/null; rm -rf "$dir"' EXIT

trial() {  # with_menu: 0 or 1
  exec 9>"${TMPDIR:-/tmp}/lumetta-xvfb-start.lock"
  flock 9
  rm -f "$dir/display"
  Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp -noreset 3>"$dir/display" >/dev/null 2>&1 9>&- </dev/null &
  xvfb=$!
  for _ in $(seq 200); do [ -s "$dir/display" ] && break; sleep 0.05; done
  flock -u 9
  exec 9>&-
  local display
  display=$(head -n 1 "$dir/display")
  [ -n "$display" ] || { echo "FAIL: Xvfb did not start"; exit 1; }
  export DISPLAY=:$display
  XDG_CONFIG_HOME=$dir "$bin" --ornament --geometry 300x300+100+100 2>"$dir/stderr" &
  ornament=$!
  # Hanging: its window shown.
  for _ in $(seq 300); do
    xdotool search --onlyvisible --class lumetta >/dev/null 2>&1 && break
    sleep 0.1
  done
  xdotool search --onlyvisible --class lumetta >/dev/null 2>&1 || {
    echo "FAIL: the ornament never showed"; cat "$dir/stderr"; exit 1; }
  if [ "$1" -eq 1 ]; then
    # A right click on a leaf (which takes clicks once the first frame gave the outline), until
    # the menu's window shows beside the ornament's.
    for _ in $(seq 20); do
      xdotool mousemove 140 250 click 3
      for _ in $(seq 10); do
        [ "$(xdotool search --onlyvisible --class lumetta 2>/dev/null | wc -l)" -ge 2 ] && break 2
        sleep 0.1
      done
    done
    [ "$(xdotool search --onlyvisible --class lumetta 2>/dev/null | wc -l)" -ge 2 ] || {
      echo "FAIL: the menu never opened"; cat "$dir/stderr"; exit 1; }
  fi
  kill -9 "$xvfb"
  xvfb=
  for _ in $(seq 200); do kill -0 "$ornament" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$ornament" 2>/dev/null; then
    echo "FAIL: the ornament is still there 20 s after its X server went"
    exit 1
  fi
  wait "$ornament"
  local status=$?
  ornament=
  if [ "$status" -ne 0 ] || [ -s "$dir/stderr" ]; then
    echo "FAIL: with the menu open $1, it ended with status $status, saying:"
    cat "$dir/stderr"
    exit 1
  fi
}
trial 0
trial 1
echo "PASS: the X server went, and the ornament with it, quietly, its menu open or not"
