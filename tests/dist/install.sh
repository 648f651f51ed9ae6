#!/usr/bin/env bash
# Installs into a temporary prefix, as `cmake --install` does for a user, and checks the tree:
# every file in its place, a desktop entry and AppStream data that validate, a manual page
# that formats, and the installed program rendering and opening its window from the folder
# its desktop entry names.
# Usage: install.sh BUILD_DIR
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "FAIL: $*"; exit 1; }
for f in bin/lumetta lib/lumetta/modules/lumetta-window.so lib/lumetta/modules/lumetta-video.so \
         lib/lumetta/modules/lumetta-ornament-menu.so lib/lumetta/modules/lumetta-ornament-wayland.so share/lumetta/panel.bmp share/applications/lumetta.desktop \
         share/metainfo/io.github.lumetta.Lumetta.metainfo.xml share/man/man1/lumetta.1.gz \
         share/doc/lumetta/copyright share/doc/lumetta/changelog.gz share/xscreensaver/config/lumetta.xml; do
  [ -f "$prefix/$f" ] || fail "$f is not installed"
done
for size in 16 32 48 64 128 256; do
  icon=$prefix/share/icons/hicolor/${size}x${size}/apps/lumetta.png
  [ "$(identify -format '%wx%h' "$icon")" = "${size}x${size}" ] || fail "no ${size}x${size} icon"
done
[ -x "$prefix/bin/lumetta" ] || fail "the program is not executable"
echo "PASS: every file is in its place"

entry=$prefix/share/applications/lumetta.desktop
desktop-file-validate "$entry" || fail "the desktop entry does not validate"
for exec_line in "--ornament" "--ornament --pattern 2" "--ornament --stop"; do
  grep -qx "Exec=$prefix/bin/lumetta $exec_line" "$entry" || fail "the desktop entry has no action for $exec_line"
done
appstreamcli validate --no-net "$prefix/share/metainfo/io.github.lumetta.Lumetta.metainfo.xml" >/dev/null ||
  fail "the AppStream data does not validate"
man -l "$prefix/share/man/man1/lumetta.1.gz" 2>&1 >/dev/null | grep . && fail "the manual page has faults"
python3 -c 'import sys, xml.dom.minidom; xml.dom.minidom.parse(sys.argv[1])' \
  "$prefix/share/xscreensaver/config/lumetta.xml" || fail "the screensaver settings are not well-formed XML"
echo "PASS: desktop entry, AppStream data, manual page and screensaver settings are sound"

# Start as the desktop would: in the entry's Path=, with the entry's program.
path=$(sed -n 's/^Path=//p' "$entry")
exec_=$(sed -n "s/^Exec=\([^ ]*\).*/\1/p" "$entry" | head -n 1)  # the entry's own, not its action's
[ "$path" = "$prefix/share/lumetta" ] || fail "Path= is $path"
[ "$exec_" = "$prefix/bin/lumetta" ] || fail "Exec= runs $exec_"
(cd "$path" && "$exec_" --render "$prefix/picture.png" --size 64x64) || fail "the installed program cannot render from Path="
[ "$(identify -format '%wx%h' "$prefix/picture.png")" = 64x64 ] || fail "no picture"
echo "PASS: the installed program renders from its desktop entry's folder"
# The window comes from the installed module; with it, a window titled Lumetta appears.
here=$(cd "$(dirname "$0")" && pwd)
# opens_window FOLDER: the installed program, started there, shows its window.
opens_window() {
  XDG_CONFIG_HOME=$prefix/config "$here/../gui/run-under-xvfb.sh" bash -c '
    cd "$1" && "$2" 2>"$3/window.err" & program=$!
    found=$(timeout 20 xdotool search --sync --name "^Lumetta\$")
    kill "$program"; wait "$program" 2>/dev/null
    [ -n "$found" ]' window "$1" "$exec_" "$prefix"
}
opens_window "$path" || fail "the installed program opens no window: $(cat "$prefix/window.err")"
rm -rf "$prefix/window.err" "$prefix/config"
echo "PASS: the installed program opens its window from its desktop entry's folder"

# Started from any other folder, the installed program finds its own picture: in the window
# and in --render. A picture in the folder it is started in wins over the installed one.
elsewhere=$(mktemp -d)
trap 'rm -rf "$prefix" "$elsewhere"' EXIT
(cd "$elsewhere" && "$exec_" --render installed.png --size 64x64) ||
  fail "the installed program cannot render from an unrelated folder"
opens_window "$elsewhere" ||
  fail "the installed program opens no window from an unrelated folder: $(cat "$prefix/window.err")"
head -c 200000 /dev/zero > "$elsewhere/panel.bmp"   # a black picture of one's own
(cd "$elsewhere" && "$exec_" --render own.png --size 64x64) || fail "no picture with a panel.bmp of one's own"
cmp -s "$elsewhere/installed.png" "$elsewhere/own.png" && fail "the installed picture won over the one in the current folder"
echo "PASS: from an unrelated folder the installed program renders and opens its window; a picture there wins"

# With neither picture: the box in the window, one line naming both places, status 1.
mv "$prefix/share/lumetta/panel.bmp" "$prefix/panel.bmp.away"
rm "$elsewhere/panel.bmp"
status=0
(cd "$elsewhere" && "$exec_" --render none.png) 2>"$prefix/none.err" || status=$?
[ "$status" -eq 1 ] || fail "--render without any picture ended with $status"
[ "$(cat "$prefix/none.err")" = "lumetta: cannot read panel.bmp in $elsewhere: No such file or directory, nor in $prefix/share/lumetta: No such file or directory" ] ||
  fail "the message does not name both places: $(cat "$prefix/none.err")"
XDG_CONFIG_HOME=$prefix/config "$here/../gui/run-under-xvfb.sh" bash -c '
  cd "$1" && "$2" 2>"$3/window.err" & program=$!
  box=$(timeout 20 xdotool search --sync --onlyvisible --name "^orbelle3\$" | head -n 1)
  [ -n "$box" ] || { kill "$program"; exit 1; }
  sleep 0.3; xdotool windowfocus --sync "$box"; xdotool key Return
  status=0; wait "$program" || status=$?
  [ "$status" -eq 1 ]' window "$elsewhere" "$exec_" "$prefix" ||
  fail "without any picture the window did not show its box and end with status 1: $(cat "$prefix/window.err")"
grep -q "nor in $prefix/share/lumetta" "$prefix/window.err" || fail "the window's line does not name both places"
mv "$prefix/panel.bmp.away" "$prefix/share/lumetta/panel.bmp"
rm -rf "$prefix/window.err" "$prefix/none.err" "$prefix/config"
echo "PASS: with no picture anywhere, the box, one line naming both places, and status 1"

# Uninstalling by the manifest leaves nothing but folders.
xargs rm -f < "$build/install_manifest.txt"
rm -f "$prefix/picture.png"
left=$(find "$prefix" -type f)
[ -z "$left" ] || fail "left after removing the installed files: $left"
echo "PASS: the install manifest names every file installed"
