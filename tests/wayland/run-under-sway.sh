#!/usr/bin/env bash
# Runs a command on a private, headless sway (a Wayland compositor that offers layer surfaces)
# with one 1024 x 768 output, HEADLESS-1, on a plain colour, and no X display: WAYLAND_DISPLAY
# is the path of its socket and SWAYSOCK that of its IPC socket, so that the command keeps the
# runtime folder its own home gave it. sway will not run as root; as root, it runs as nobody
# (uid 65534) in a runtime folder of that user's, which root reaches all the same.
# Exits 77 (skipped) with a line saying why when no sway can be started here.
#
# usage: run-under-sway.sh COMMAND [ARGUMENTS...]
set -uo pipefail
if ! command -v sway >/dev/null; then
  echo "run-under-sway: no sway on this machine (Debian's sway package), so no Wayland compositor to test on" >&2
  exit 77
fi
dir=$(mktemp -d "${TMPDIR:-/tmp}/lumetta-sway-XXXXXX") || exit 1
chmod 755 "$dir"
runtime=$dir/runtime
mkdir -m 700 "$runtime"
as=()
if [ "$(id -u)" -eq 0 ]; then
  chown 65534:65534 "$runtime"
  as=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
cat >"$dir/config" <<'CONFIG'
output * bg #2040c0 solid_color
output HEADLESS-1 resolution 1024x768 position 0 0
xwayland disable
default_border none
focus_follows_mouse no
CONFIG
chmod 644 "$dir/config"
sway= command=
stop() {  # pid: asks it to end, and makes sure it has within two seconds
  kill "$1" 2>/dev/null || return 0
  for _ in $(seq 20); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done
  kill -9 "$1" 2>/dev/null
}
trap '[ -n "$command" ] && stop "$command"; [ -n "$sway" ] && stop "$sway"; rm -rf "$dir"' EXIT
"${as[@]}" env -i PATH="$PATH" HOME="$dir" XDG_RUNTIME_DIR="$runtime" WLR_BACKENDS=headless WLR_RENDERER=pixman \
  WLR_LIBINPUT_NO_DEVICES=1 sway -c "$dir/config" >"$dir/sway.log" 2>&1 </dev/null &
sway=$!
# Ready once both its sockets are there and it answers on its IPC one.
ready=
for _ in $(seq 400); do
  kill -0 "$sway" 2>/dev/null || break
  ipc=$(find "$runtime" -maxdepth 1 -name 'sway-ipc.*.sock' 2>/dev/null | head -n 1)
  if [ -n "$ipc" ] && [ -S "$runtime/wayland-1" ] && SWAYSOCK=$ipc swaymsg -t get_outputs >/dev/null 2>&1; then
    ready=1
    break
  fi
  sleep 0.05
done
if [ -z "$ready" ]; then
  echo "run-under-sway: sway did not start here, so there is no Wayland compositor to test on:" >&2
  tail -n 20 "$dir/sway.log" >&2
  exit 77
fi
unset DISPLAY WAYLAND_SOCKET
WAYLAND_DISPLAY=$runtime/wayland-1 SWAYSOCK=$ipc "$@" &
command=$!
wait "$command"
status=$?
command=
# A compositor that went while a command failed may be why: its log says.
if [ "$status" -ne 0 ] && ! kill -0 "$sway" 2>/dev/null; then
  echo "run-under-sway: sway ended before the command did:" >&2
  tail -n 20 "$dir/sway.log" >&2
fi
exit "$status"
