#!/usr/bin/env bash
# The ornament on two monitors of different heights, under an X server with real RandR outputs
# (Xorg's dummy driver; Xvfb has one monitor and a screen that cannot shrink): the default
# place is the primary monitor's top right, a kept place in the gap above the smaller monitor
# is not used, and when the monitor it hangs on goes it comes back onto the other without the
# kept place being written over. Xorg needs root: skipped (status 77) without it or the driver.
# Usage: ornament-monitors.sh LUMETTA
set -uo pipefail
bin=$1
[ "$(id -u)" -eq 0 ] || { echo "SKIP: Xorg with the dummy driver needs root"; exit 77; }
command -v Xorg >/dev/null && ls /usr/lib/xorg/modules/drivers/dummy_drv.so >/dev/null 2>&1 ||
  { echo "SKIP: no Xorg with the dummy driver"; exit 77; }
dir=$(mktemp -d)
xorg= ornament=
trap '[ -n "$ornament" ] && kill -9 "$ornament" 2>/dev/null; [ -n "$xorg" ] && kill "$xorg" 2>/dev/null; wait; rm -rf "$dir"' EXIT
fail() { echo "FAIL: $*"; [ -f "$dir/stderr" ] && cat "$dir/stderr"; exit 1; }

cat >"$dir/xorg.conf" <<'EOF'
Section "Device"
  Identifier "dummy"
  Driver "dummy"
  VideoRam 256000
EndSection
Section "Monitor"
  Identifier "monitor"
  HorizSync 5.0-1000.0
  VertRefresh 5.0-200.0
EndSection
Section "Screen"
  Identifier "screen"
  Device "dummy"
  Monitor "monitor"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Virtual 3200 1200
  EndSubSection
EndSection
EOF
exec 9>"${TMPDIR:-/tmp}/lumetta-xvfb-start.lock"
flock 9
Xorg -displayfd 3 -config "$dir/xorg.conf" -configdir "$dir" -noreset -nolisten tcp -logfile "$dir/xorg.log" \
  3>"$dir/display" >/dev/null 2>&1 9>&- </dev/null &
xorg=$!
for _ in $(seq 300); do [ -s "$dir/display" ] && break; kill -0 "$xorg" 2>/dev/null || break; sleep 0.1; done
flock -u 9
exec 9>&-
display=$(head -n 1 "$dir/display")
[ -n "$display" ] || { echo "SKIP: Xorg did not start"; tail -n 5 "$dir/xorg.log"; exit 77; }
export DISPLAY=:$display XDG_CONFIG_HOME=$dir/config
# Under Xorg the GL driver (swrast_dri.so) is unloaded before the program exits, so the leak
# checker cannot name the driver's own small leaks to leave them out; the ornament's leaks are
# checked by its tests under Xvfb, where the driver stays loaded.
[ -n "${ASAN_OPTIONS:-}" ] && export ASAN_OPTIONS=$ASAN_OPTIONS:detect_leaks=0
conf=$XDG_CONFIG_HOME/orbelle3/orbelle3.conf

# 1920x1200, the primary, and 1280x800 beside it, 400 pixels down.
xrandr --newmode wide 193.25 1920 2056 2256 2592 1200 1203 1209 1245 -hsync +vsync &&
  xrandr --newmode small 71.00 1280 1328 1360 1440 800 803 809 823 +hsync -vsync &&
  xrandr --addmode DUMMY0 wide && xrandr --addmode DUMMY1 small &&
  xrandr --output DUMMY0 --mode wide --pos 0x0 --primary --output DUMMY1 --mode small --pos 1920x400 ||
  fail "cannot set up two monitors"
[ "$(xrandr --listmonitors | head -n 1)" = "Monitors: 2" ] || fail "not two monitors: $(xrandr --listmonitors)"

# hang [ARGS]: starts the ornament and waits until it is shown; sets $wid.
hang() {
  GDK_SCALE=1 "$bin" --ornament "$@" 2>"$dir/stderr" &
  ornament=$!
  wid=
  for _ in $(seq 300); do
    wid=$(xdotool search --onlyvisible --class lumetta 2>/dev/null | head -n 1) && [ -n "$wid" ] && break
    sleep 0.1
  done
  [ -n "$wid" ] || fail "the ornament did not show"
}
take_down() {
  kill "$ornament"
  wait "$ornament" || fail "it did not end with status 0"
  ornament=
}
place() { xwininfo -id "$wid" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4} END {print x "," y}'; }
# place_is X,Y: waits for the ornament to stand there.
place_is() {
  for _ in $(seq 100); do [ "$(place)" = "$1" ] && return 0; sleep 0.1; done
  fail "it stands at $(place), not $1"
}

hang
place_is 1512,48
take_down
echo "PASS: the default place is the primary monitor's top right"

mkdir -p "$(dirname "$conf")"
printf '[Ornament]\nX=2792\nY=48\n' >"$conf"
hang
place_is 1512,48
take_down
echo "PASS: a kept place in the gap above the smaller monitor is not used"

printf '[Ornament]\nX=2500\nY=600\n' >"$conf"
hang
place_is 2500,600
xrandr --output DUMMY1 --off || fail "cannot take the second monitor away"
for _ in $(seq 100); do
  read -r x y < <(place | tr , ' ')
  [ "$((x + 360))" -le 1920 ] && [ "$((y + 360))" -le 1200 ] && break
  sleep 0.1
done
[ "$((x + 360))" -le 1920 ] && [ "$((y + 360))" -le 1200 ] || fail "off the screen at $x,$y after the monitor went"
take_down
grep -qx 'X=2500' "$conf" && grep -qx 'Y=600' "$conf" || fail "the kept place was written over: $(cat "$conf")"
echo "PASS: when its monitor goes it comes onto the other, and the kept place stays"
