#!/usr/bin/env bash
# The Windows screensaver keeps its contract under Wine: "/s" covers the screen with the
# scene until a key is pressed, then ends; "/p HWND" draws the scene in the window given and
# ends with it (preview_host.exe); "/p" with a handle that is no window ends at once, quietly. Runs on a display of its own, which the program shares (WINE_USE_DISPLAY).
# Runs lumetta.scr as it is unpacked from the zip, its backdrop beside it.
# Usage: screensaver.sh WINE_SH PREFIX WINDOWS_ZIP PREVIEW_HOST_EXE
set -euo pipefail
wine=$1 prefix=$2 zip=$3 host=$4
work=$(mktemp -d)
python3 -m zipfile -e "$zip" "$work/unpacked"
scr=$work/unpacked/Lumetta/lumetta.scr
Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
DISPLAY=:$(cat "$work/display")
export DISPLAY WINE_USE_DISPLAY=1

out=$(WINE_TIMEOUT=60 bash "$wine" run "$prefix" "$scr" /p 12345 2>&1) || { echo "FAIL: /p on no window: $out" >&2; exit 1; }
[ -z "$out" ] || { echo "FAIL: /p on no window said: $out" >&2; exit 1; }
# The saver by its Windows name: Wine shows the Unix root as drive Z.
WINE_TIMEOUT=120 bash "$wine" run "$prefix" "$host" "Z:${scr//\//\\}"

WINE_TIMEOUT=120 bash "$wine" run "$prefix" "$scr" /s >"$work/saver.log" 2>&1 &
saver=$!
# The scene shows: the screen is neither black nor one colour.
shown=
for _ in $(seq 60); do
  read -r mean spread < <(import -window root -silent png:- 2>/dev/null |
    convert png:- -colorspace gray -format '%[fx:mean] %[fx:standard_deviation]\n' info: 2>/dev/null || echo "0 0")
  if awk -v m="$mean" -v s="$spread" 'BEGIN { exit !(m > 0.15 && s > 0.05) }'; then shown=1; break; fi
  sleep 1
done
if [ -z "$shown" ]; then
  echo "FAIL: /s never showed the scene (screen mean $mean): $(cat "$work/saver.log")" >&2
  kill "$saver" 2>/dev/null || true
  exit 1
fi
xdotool key space
for _ in $(seq 100); do kill -0 "$saver" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$saver" 2>/dev/null; then
  echo "FAIL: /s went on after a key" >&2
  kill "$saver" 2>/dev/null || true
  exit 1
fi
wait "$saver" || { echo "FAIL: /s ended with status $?: $(cat "$work/saver.log")" >&2; exit 1; }
echo "screensaver: /s showed the scene (mean $mean) and ended on a key; /p ran in its window and ended with it, and on no window ended quietly"
