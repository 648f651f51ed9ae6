#!/usr/bin/env bash
# Includes run one way. At the bottom the scene, which knows nothing of any window system:
# core <- models <- bulbs <- view, with res/ holding only data. Above it os/, what the ways of
# showing the scene ask of the operating system, and x11/ and wayland/, what those on an X
# display and on a Wayland desktop share, neither of which knows the other.
# Above that the ways themselves, export/, saver/, ornament/ and window/, each of which may use
# the floors below but never another way. The ornament's own part knows no window system; each
# of its surfaces, ornament/x11/ and ornament/wayland/, uses it and its own floor, never the
# other's. On top app/, the program, which chooses among them, and windows/, the program on
# Windows, over the same floors.
# Fails naming every include that breaks this.
# Usage: layers.sh SOURCE_DIR
set -euo pipefail
cd "$1"
status=0
# The one include that points up, by design: the wreath ends its drawing with the bulb string
# and its blink step, which the bulbs' patterns own.
exception='models/wreath.cpp:#include "bulbs/patterns.h"'
check() {  # folder, then the folders it may include from (a name with a dot: a header pattern)
  local folder=$1; shift
  local allowed
  allowed=$(for a in "$@"; do case "$a" in *.*) printf '%s|' "$a" ;; *) printf '%s/|' "$a" ;; esac; done)
  while IFS= read -r hit; do
    case "$hit" in "$exception") continue ;; esac
    echo "FAIL: $hit"
    status=1
  done < <(grep -HE '^#include "' "$folder"/*.h "$folder"/*.cpp 2>/dev/null |
             grep -vE "#include \"(${allowed%|})" | sed 's/:[0-9]*:/:/' || true)
}
scene=(core models bulbs view res)
check core core
check res res
check models core models
check bulbs core models bulbs
check view core models bulbs view res
check os core res os
check x11 "${scene[@]}" os x11
check wayland "${scene[@]}" os wayland
check export "${scene[@]}" os export
check saver "${scene[@]}" os x11 saver
check ornament "${scene[@]}" os wayland/compositor.h 'ornament/[a-z_]+\.h' ornament/x11/x11_ornament.h \
  ornament/wayland/wayland_entry.h ornament/wayland/buffer_parts.h
check ornament/x11 "${scene[@]}" os x11 'ornament/[a-z_]+\.h' ornament/x11
check ornament/wayland "${scene[@]}" os wayland 'ornament/[a-z_]+\.h' ornament/wayland
check window "${scene[@]}" os x11 window
check app "${scene[@]}" os x11 wayland export saver ornament window app
check windows "${scene[@]}" os export app windows
[ "$status" -eq 0 ] && echo "PASS: every include points down, but the wreath's one to the bulbs' patterns"
exit "$status"
