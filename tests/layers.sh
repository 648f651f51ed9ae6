#!/usr/bin/env bash
# Includes run one way: app -> view -> models, bulbs -> core, and res/ holds only data.
# Fails naming every include that points back up.
# Usage: layers.sh SOURCE_DIR
set -euo pipefail
cd "$1"
status=0
check() {  # folder, then the folders it may include from
  local folder=$1; shift
  local allowed
  allowed=$(printf '%s/|' "$@")
  while IFS= read -r hit; do
    echo "FAIL: $hit"
    status=1
  done < <(grep -HnE '^#include "' "$folder"/*.h "$folder"/*.cpp 2>/dev/null | grep -vE "#include \"(${allowed%|})" || true)
}
check core core
check res res
check models core models bulbs res
check bulbs core models bulbs res
check view core models bulbs view res
[ "$status" -eq 0 ] && echo "PASS: every include points down"
exit "$status"
