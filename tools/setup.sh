#!/usr/bin/env bash
# Installs the Debian packages Lumetta needs: `setup.sh run` what building and running it
# takes, `setup.sh windows` what the Windows program's build and tests take, `setup.sh` (or
# `setup.sh all`) all of that and what the tests and benchmarks take too.
# Quiet when everything is already there; says what it installs, and fails loudly.
set -euo pipefail

build=(
  cmake g++ make pkg-config
  libwxgtk3.2-dev        # window, menus, doc/view, wxGLCanvas
  libglib2.0-dev         # file names shown as GLib shows them
  libx11-dev             # the display is looked for before the window starts
  libxext-dev libxfixes-dev libxrender-dev libxss-dev   # the ornament: its shape, the compositor, its visual, the blanked screen
  libxrandr-dev libxinerama-dev   # the ornament: the monitors
  libgtk-3-dev           # the ornament's menu
  libgtk-layer-shell-dev libwayland-dev libwayland-bin wayland-protocols libxkbcommon-dev   # the ornament on a Wayland desktop's layer surface: the surface, the compositor's protocols made into code (outputs' names), keys by their place
  libgl-dev libglu1-mesa-dev
  libegl-dev libegl-mesa0 libgl1-mesa-dri   # headless rendering on llvmpipe
  libpng-dev             # PNG output of --render
  libwebp-dev            # animated WebP output of --render
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev   # MP4 (H.264 by libx264) output
  libgif-dev libimagequant-dev  # GIF output: the file, and each frame's 256 colours
  libcli11-dev           # command-line parsing
)
run=(
  fonts-ipafont-gothic   # the Japanese menu, toolbar tips and about box
)
test=(
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth x11-utils xdotool imagemagick   # GUI tests on a private X server
  picom                  # the ornament under a compositing manager
  sway grim wev          # the ornament on a Wayland compositor (headless sway), its screenshots, a window under it
  xserver-xorg-core xserver-xorg-video-dummy x11-xserver-utils   # the ornament on two monitors (Xorg, xrandr)
  x11-xkb-utils          # other keyboard layouts in the GUI tests
  libxdamage-dev         # the screensaver test counts what it draws
  desktop-file-utils appstream man-db        # the installed desktop entry, AppStream data, manual page
  dpkg-dev lintian       # the Debian package: dependencies computed, then checked
  clang libclang-rt-14-dev   # the fuzzers (libFuzzer), and the sanitizer build
  clang-format clang-tidy    # the layout and the faults tools/style.sh looks for
  chromium python3       # the greetings played in a browser
)
# The Windows program, built here and tested under Wine (tools/windows.sh).
windows=(
  cmake make python3
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64   # the cross compiler, with std::thread; windres
  libcli11-dev googletest    # headers and sources built for Windows too
  wine wine64 xvfb xauth fonts-ipafont-gothic imagemagick   # the tests: Wine on a private X server, Japanese glyphs, pictures compared
)

case "${1:-all}" in
  run) wanted=("${build[@]}" "${run[@]}") ;;
  windows) wanted=("${windows[@]}") ;;
  all) wanted=("${build[@]}" "${run[@]}" "${test[@]}" "${windows[@]}") ;;
  *) echo "usage: setup.sh [run|windows|all]" >&2; exit 2 ;;
esac

missing=()
for p in "${wanted[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = installed ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${#missing[@]} packages: ${missing[*]}" >&2
sudo=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "setup: need root (or sudo) to install: ${missing[*]}" >&2; exit 1; }
  sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
echo "setup: reading the package lists" >&2
if ! "${sudo[@]}" apt-get update -q >&2; then
  echo "setup: apt-get update failed" >&2; exit 1
fi
echo "setup: downloading and installing; this takes a few minutes on a new machine" >&2
if ! "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}" >&2; then
  echo "setup: could not install: ${missing[*]}" >&2; exit 1
fi
echo "setup: done" >&2
