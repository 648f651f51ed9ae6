#!/usr/bin/env bash
# The recent-file list across real restarts of the program, and settings files that are
# damaged or cannot be written: the program always starts, ends with status 0 on Esc, and
# never loses what the file held.
# Usage: settings.sh LUMETTA ASSETS_DIR OUT_DIR
set -euo pipefail
. "$(dirname "$0")/common.sh"
bin=$1 assets=$2 out=$3
enter_work_dir
export XDG_CONFIG_HOME=$work/config
conf=$XDG_CONFIG_HOME/orbelle3/orbelle3.conf

# Starts the program with the given arguments and ends it with Esc.
run() {
  "$bin" "$@" 2>"$out/settings.stderr" &
  pid=$!
  local wid
  wid=$(timeout 30 xdotool search --sync --onlyvisible --name '^Lumetta$' | head -n 1) || {
    echo "FAIL: no window for $*"; cat "$out/settings.stderr"; exit 1; }
  press_and_expect_exit "$wid" Escape 0 Esc "$out/settings.stderr"
}
recent() { grep -E '^file[1-4]=' "$conf" | cut -d= -f2- | paste -sd' '; }
expect_recent() {
  [ "$(recent)" = "$1" ] || { echo "FAIL: recent files '$(recent)', not '$1'"; cat "$conf"; exit 1; }
}

for doc in a b a c d e; do touch "$work/$doc.pell"; done
touch "$work/"'x$HOME.pell' "$work/ノート.pell"
run
[ ! -e "$conf" ] || [ -z "$(recent | tr -d ' ')" ] || { echo "FAIL: a run without a document filled the list"; exit 1; }
for doc in a b a c d e 'x$HOME.pell'; do run "${doc%.pell}.pell"; done
run 'x$HOME.pell'
w=$work
expect_recent "$w/x\$HOME.pell $w/e.pell $w/d.pell $w/c.pell"
echo "PASS: the list keeps the last four documents, newest first, each once, names as they are"

# Another program's keys saved while the window runs (the ornament, dragged to 600,200) are
# there after the window has saved its list: it writes its own keys alone.
"$bin" e.pell 2>"$out/settings.stderr" &
pid=$!
wid=$(timeout 30 xdotool search --sync --onlyvisible --name '^Lumetta$' | head -n 1) || {
  echo "FAIL: no window"; cat "$out/settings.stderr"; exit 1; }
printf '[Ornament]\nX=600\nY=200\n' >>"$conf"
press_and_expect_exit "$wid" Escape 0 Esc "$out/settings.stderr"
grep -q '^X=600$' "$conf" || { echo "FAIL: the window wrote over the ornament's place"; cat "$conf"; exit 1; }
expect_recent "$w/e.pell $w/x\$HOME.pell $w/d.pell $w/c.pell"
echo "PASS: what another program saved meanwhile stays"

# A damaged file: lines it cannot read, another program's group and bytes that are not
# UTF-8 all survive; the list is still updated.
printf '[RecentFiles\nthis line has no equals sign\n[Other]\nkey=kept \xff\xfe\n' >"$conf"
run ノート.pell
grep -q 'error\|expected\|unexpected' "$out/settings.stderr" || {
  echo "FAIL: nothing said about the damaged lines"; cat "$out/settings.stderr"; exit 1; }
for line in '\[RecentFiles$' '^this line has no equals sign$' '^\[Other\]$' '^key=kept'; do
  grep -q "$line" "$conf" || { echo "FAIL: the damaged file lost '$line'"; cat "$conf"; exit 1; }
done
grep -q $'\xff\xfe' "$conf" || { echo "FAIL: the bytes that are not UTF-8 were changed"; exit 1; }
grep -q "=$w/ノート.pell\$" "$conf" || { echo "FAIL: the list was not saved"; cat "$conf"; exit 1; }
echo "PASS: a damaged settings file keeps every line and still takes the list"

# A folder where the file should be, and a file where the folder should be.
rm -rf "$XDG_CONFIG_HOME"; mkdir -p "$conf"
run a.pell
[ -d "$conf" ] || { echo "FAIL: the folder in the file's place was replaced"; exit 1; }
grep -q "settings" "$out/settings.stderr" || { echo "FAIL: nothing said"; exit 1; }
rm -rf "$XDG_CONFIG_HOME"; mkdir -p "$XDG_CONFIG_HOME"; echo precious >"$XDG_CONFIG_HOME/orbelle3"
run a.pell
grep -q "Not a directory" "$out/settings.stderr" || { echo "FAIL: the reason was not said"; cat "$out/settings.stderr"; exit 1; }
[ "$(cat "$XDG_CONFIG_HOME/orbelle3")" = precious ] || { echo "FAIL: the file in the folder's place changed"; exit 1; }
# A settings folder that is a link to itself.
rm -rf "$XDG_CONFIG_HOME"; mkdir -p "$XDG_CONFIG_HOME"; ln -s orbelle3 "$XDG_CONFIG_HOME/orbelle3"
run a.pell
grep -q "Too many levels of symbolic links" "$out/settings.stderr" || {
  echo "FAIL: the loop was not said"; cat "$out/settings.stderr"; exit 1; }
echo "PASS: settings that cannot be read or written stop nothing and overwrite nothing"

# A settings file kept elsewhere through a link, the file not made yet: the link stays.
rm -rf "$XDG_CONFIG_HOME"; mkdir -p "$XDG_CONFIG_HOME/orbelle3" "$work/dotfiles"
ln -s ../../dotfiles/orbelle3.conf "$conf"
run a.pell
[ -L "$conf" ] || { echo "FAIL: the link was replaced by a file"; exit 1; }
grep -q "=$w/a.pell\$" "$work/dotfiles/orbelle3.conf" || { echo "FAIL: the linked file was not written"; exit 1; }
echo "PASS: a linked settings file is written where the link points"
