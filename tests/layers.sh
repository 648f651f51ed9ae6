#!/usr/bin/env bash
# Includes run one way: app -> view -> bulbs -> models -> core, and res/ holds only data that
# the shell and the scene read. Fails naming every include that points back up.
# Usage: layers.sh SOURCE_DIR
set -euo pipefail
cd "$1"
status=0
# The one include that points up, by design: the wreath ends its drawing with the bulb string
# and its blink step, which the bulbs' patterns own.
exception='models/wreath.cpp:#include "bulbs/patterns.h"'
check() {  # folder, then the folders it may include from
  local folder=$1; shift
  local allowed
  allowed=$(printf '%s/|' "$@")
  while IFS= read -r hit; do
    case "$hit" in "$exception") continue ;; esac
    echo "FAIL: $hit"
    status=1
  done < <(grep -HE '^#include "' "$folder"/*.h "$folder"/*.cpp 2>/dev/null |
             grep -vE "#include \"(${allowed%|})" | sed 's/:[0-9]*:/:/' || true)
}
check core core
check res res
check models core models
check bulbs core models bulbs
check view core models bulbs view res
check app core models bulbs view app res
[ "$status" -eq 0 ] && echo "PASS: every include points down, but the wreath's one to the bulbs' patterns"
exit "$status"
