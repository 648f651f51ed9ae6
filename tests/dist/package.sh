#!/usr/bin/env bash
# Builds the Debian package and checks it: lintian finds no error or warning, its
# dependencies were computed from the program, and it holds the installed tree under /usr.
# Usage: package.sh BUILD_DIR
set -euo pipefail
build=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
(cd "$out" && cpack -G DEB --config "$build/CPackConfig.cmake" >/dev/null) || fail "cpack failed"
deb=$(ls "$out"/lumetta_*_*.deb)
lintian --fail-on error,warning "$deb" 2>&1 | grep -v 'running with root privileges' || true
lintian --fail-on error,warning "$deb" >/dev/null 2>&1 || fail "lintian found errors or warnings"
echo "PASS: lintian is content"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libwxgtk3.2-1 libpng16-16 libwebp7 libavcodec59 libavformat59 libgif7 libimagequant0 libegl1 libc6 fonts-ipafont-gothic; do
  case "$depends" in *"$lib"*) ;; *) fail "no dependency on $lib: $depends" ;; esac
done
echo "PASS: dependencies: $depends"
dpkg-deb -x "$deb" "$out/root"
for f in usr/bin/lumetta usr/share/lumetta/panel.bmp usr/share/applications/lumetta.desktop; do
  [ -f "$out/root/$f" ] || fail "$f is not in the package"
done
grep -qx 'Path=/usr/share/lumetta' "$out/root/usr/share/applications/lumetta.desktop" || fail "the entry's Path= is not /usr/share/lumetta"
echo "PASS: the package holds the tree under /usr"
