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
for f in bin/lumetta lib/lumetta/modules/lumetta-window.so share/lumetta/panel.bmp share/applications/lumetta.desktop \
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
appstreamcli validate --no-net "$prefix/share/metainfo/io.github.lumetta.Lumetta.metainfo.xml" >/dev/null ||
  fail "the AppStream data does not validate"
man -l "$prefix/share/man/man1/lumetta.1.gz" 2>&1 >/dev/null | grep . && fail "the manual page has faults"
python3 -c 'import sys, xml.dom.minidom; xml.dom.minidom.parse(sys.argv[1])' \
  "$prefix/share/xscreensaver/config/lumetta.xml" || fail "the screensaver settings are not well-formed XML"
echo "PASS: desktop entry, AppStream data, manual page and screensaver settings are sound"

# Start as the desktop would: in the entry's Path=, with the entry's program.
path=$(sed -n 's/^Path=//p' "$entry")
exec_=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
[ "$path" = "$prefix/share/lumetta" ] || fail "Path= is $path"
[ "$exec_" = "$prefix/bin/lumetta" ] || fail "Exec= runs $exec_"
(cd "$path" && "$exec_" --render "$prefix/picture.png" --size 64x64) || fail "the installed program cannot render from Path="
[ "$(identify -format '%wx%h' "$prefix/picture.png")" = 64x64 ] || fail "no picture"
echo "PASS: the installed program renders from its desktop entry's folder"
# The window comes from the installed module; with it, a window titled Lumetta appears.
here=$(cd "$(dirname "$0")" && pwd)
XDG_CONFIG_HOME=$prefix/config "$here/../gui/run-under-xvfb.sh" bash -c '
  cd "$1" && "$2" 2>"$3/window.err" & program=$!
  found=$(timeout 20 xdotool search --sync --name "^Lumetta\$")
  kill "$program"; wait "$program" 2>/dev/null
  [ -n "$found" ]' window "$path" "$exec_" "$prefix" ||
  fail "the installed program opens no window: $(cat "$prefix/window.err")"
rm -rf "$prefix/window.err" "$prefix/config"
echo "PASS: the installed program opens its window from its desktop entry's folder"

# Uninstalling by the manifest leaves nothing but folders.
xargs rm -f < "$build/install_manifest.txt"
rm -f "$prefix/picture.png"
left=$(find "$prefix" -type f)
[ -z "$left" ] || fail "left after removing the installed files: $left"
echo "PASS: the install manifest names every file installed"
