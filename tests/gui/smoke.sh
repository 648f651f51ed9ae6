#!/usr/bin/env bash
# Starts the real program, finds its window, checks title and size, looks at it, closes it
# with Esc and expects a clean exit.
# Usage: smoke.sh LUMETTA ASSETS_DIR OUT_DIR
set -euo pipefail
. "$(dirname "$0")/common.sh"
bin=$1 assets=$2 out=$3
enter_work_dir

"$bin" 2>"$out/smoke.stderr" &
pid=$!

wid=$(timeout 30 xdotool search --sync --onlyvisible --name '^Lumetta$' | head -n 1) || {
  echo "FAIL: no visible window titled Lumetta"; cat "$out/smoke.stderr"; exit 1; }
geometry=$(xwininfo -id "$wid" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}')
[ "$geometry" = 500x500 ] || { echo "FAIL: window is $geometry, not 500x500"; exit 1; }

# Look at the window as a user would: the scene paints it, its middle neither black nor the
# toolkit's grey.
painted() {
  import -window "$wid" "$out/window.png" || return 1
  centre=$(convert "$out/window.png" -format '%[pixel:p{250,300}]' info:)
  case "$centre" in
    *"(0,0,0)"*|*black*|*"(246,245,244)"*) return 1 ;;
  esac
}
eventually painted || { echo "FAIL: the scene did not paint the window (centre $centre)"; exit 1; }
echo "centre pixel: $centre"

# The timer keeps drawing: soon after, the bulbs have blinked.
changed() {
  import -window "$wid" "$out/window-later.png" || return 1
  changed=$(compare -metric AE "$out/window.png" "$out/window-later.png" null: 2>&1 || true)
  [ "${changed%% *}" -gt 0 ] 2>/dev/null
}
eventually changed || { echo "FAIL: the picture did not change: no frames after the first"; exit 1; }
echo "pixels changed since: $changed"

press_and_expect_exit "$wid" Escape 0 Esc "$out/smoke.stderr"
echo "PASS: window Lumetta 500x500 painted and animating, closed by Esc with status 0"

# Full screen: the whole 1024 x 768 screen is the scene, with no menu bar or toolbar.
"$bin" --fullscreen 2>"$out/smoke.stderr" &
pid=$!
wid=$(timeout 30 xdotool search --sync --onlyvisible --name '^Lumetta$' | head -n 1) || {
  echo "FAIL: no full-screen window"; cat "$out/smoke.stderr"; exit 1; }
full() {
  read -r w h < <(xwininfo -id "$wid" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w, h}')
  [ "$w" -ge 1024 ] && [ "$h" -ge 768 ]
}
eventually full || { echo "FAIL: full screen is ${w}x$h"; exit 1; }
# The top left is the backdrop's dark brown, once drawn: not black, nor the toolkit's grey menu bar.
backdrop() {
  import -window root "$out/fullscreen.png" || return 1
  top=$(convert "$out/fullscreen.png" -format '%[fx:int(255*p{5,5}.r)],%[fx:int(255*p{5,5}.g)],%[fx:int(255*p{5,5}.b)]' info:)
  case "$top" in
    2[0-9][0-9],2[0-9][0-9],2[0-9][0-9]|0,0,0) return 1 ;;
  esac
}
eventually backdrop || { echo "FAIL: a menu bar or toolbar at the top ($top)"; exit 1; }
press_and_expect_exit "$wid" Escape 0 Esc "$out/smoke.stderr"
echo "PASS: --fullscreen fills the screen with the scene and Esc ends it"
