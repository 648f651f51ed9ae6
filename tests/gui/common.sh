# Shared by the GUI test scripts; sourced, not run.

# Presses key in window wid, then expects the program with process id $pid to end with status
# want, within 30 seconds (a loaded machine takes its time; a program that does not end at all
# is the fault). what names the action in the failure message; stderr is
# the file holding the program's error output.
press_and_expect_exit() {
  local wid=$1 key=$2 want=$3 what=$4 stderr=$5
  xdotool windowfocus --sync "$wid"
  xdotool key "$key"
  for _ in $(seq 300); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$pid" 2>/dev/null; then echo "FAIL: $what did not end the program"; exit 1; fi
  local status=0
  wait "$pid" || status=$?
  pid=
  [ "$status" -eq "$want" ] || { echo "FAIL: exit status $status, not $want"; cat "$stderr"; exit 1; }
}

# Makes OUT_DIR ($out), then moves into a fresh folder ($work, removed at exit along with the
# program $pid if it still runs) holding a copy of the backdrop picture from $assets, if any.
enter_work_dir() {
  mkdir -p "$out"
  work=$(mktemp -d)
  trap 'rm -rf "$work"; [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null || true' EXIT
  if [ -n "${assets:-}" ] && [ -f "$assets/panel.bmp" ]; then cp "$assets/panel.bmp" "$work/"; fi
  cd "$work"
}

# Waits up to 30 seconds for the command given to succeed, trying again every 0.2 s: the way to
# wait for the program's own sign. Fails when it never does.
eventually() {
  local _
  for _ in $(seq 150); do
    "$@" && return 0
    sleep 0.2
  done
  return 1
}
