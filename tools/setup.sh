#!/usr/bin/env bash
# Installs the Debian packages Lumetta needs to build, test and run.
# Quiet when everything is already there; loud and non-zero when something cannot be installed.
set -euo pipefail

packages=(
  # build
  cmake g++ make pkg-config
  libwxgtk3.2-dev        # window, menus, doc/view, wxGLCanvas
  libglib2.0-dev         # file names shown as GLib shows them
  libx11-dev             # the display is looked for before the window starts
  libgl-dev libglu1-mesa-dev
  libegl-dev libegl-mesa0 libgl1-mesa-dri   # headless rendering on llvmpipe
  libpng-dev             # PNG output of --render
  libcli11-dev           # command-line parsing
  libgtest-dev libgmock-dev libbenchmark-dev
  libgtk-3-dev           # in-process GUI tests find toolbar buttons on screen
  # running and GUI tests
  fonts-ipafont-gothic
  xvfb xauth x11-utils xdotool imagemagick
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = installed ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}" >&2
sudo=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "setup: need root (or sudo) to install: ${missing[*]}" >&2; exit 1; }
  sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
if ! "${sudo[@]}" apt-get update -qq >&2; then
  echo "setup: apt-get update failed" >&2; exit 1
fi
if ! "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; then
  echo "setup: could not install: ${missing[*]}" >&2; exit 1
fi
