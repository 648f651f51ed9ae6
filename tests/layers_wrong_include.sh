#!/usr/bin/env bash
# The layer check itself: each wrong include below, added to a copy of the source, must make
# layers.sh fail. Usage: layers_wrong_include.sh SOURCE_DIR
set -euo pipefail
source_dir=$1
here=$(dirname "$0")
wrong=(
  'models/mesh.cpp:bulbs/bulb_string.h'        # a mesh drawer that knows the bulbs
  'saver/saver_host.cpp:export/safe_file.h'    # one way of showing the scene using another
  'window/settings.cpp:saver/saver_host.h'
  'os/modules.cpp:view/scene.h'                # the operating system's floor above the scene's
  'ornament/ornament.cpp:saver/saver_host.h'
  'ornament/ornament.cpp:x11/display.h'                    # the ornament's own part knowing a window system
  'ornament/x11/x11_surface.cpp:ornament/wayland/frame_surface.h'   # one surface knowing the other
  'ornament/wayland/layer_surface.cpp:x11/display.h'
  'x11/frame_clock.cpp:window/settings.h'      # a floor above the ways it serves
  'wayland/scene_keys.cpp:x11/key_places.h'    # the Wayland floor knowing the X one
)
copy=$(mktemp -d)
trap 'rm -rf "$copy"' EXIT
for w in "${wrong[@]}"; do
  rm -rf "${copy:?}"/*
  for folder in core res models bulbs view os x11 wayland export saver ornament window app; do
    cp -r "$source_dir/$folder" "$copy/"
  done
  echo "#include \"${w#*:}\"" >> "$copy/${w%%:*}"
  if bash "$here/layers.sh" "$copy" >/dev/null; then
    echo "layers.sh let through: ${w%%:*} including ${w#*:}" >&2
    exit 1
  fi
done
echo "PASS: every wrong include was caught"
