#!/usr/bin/env bash
# Documents named on the command line: any regular file opens whatever bytes its name holds;
# anything else (missing, a FIFO, a folder) is said in a box, never waited on, and ends the
# program with status 1 and no window.
# Usage: documents.sh LUMETTA ASSETS_DIR OUT_DIR
set -euo pipefail
. "$(dirname "$0")/common.sh"
bin=$1 assets=$2 out=$3
enter_work_dir
export XDG_CONFIG_HOME=$work/config

touch café.pell ノート.pell $'bad\xff.pell'
for doc in café.pell ノート.pell $'bad\xff.pell'; do
  "$bin" "$doc" 2>"$out/documents.stderr" &
  pid=$!
  wid=$(timeout 30 xdotool search --sync --onlyvisible --name '^Lumetta$' | head -n 1) || {
    echo "FAIL: no window for the document '$doc'"; cat "$out/documents.stderr"; exit 1; }
  press_and_expect_exit "$wid" Escape 0 Esc "$out/documents.stderr"
done
echo "PASS: documents with non-ASCII and non-UTF-8 names open"

mkfifo fifo.pell
mkdir folder.pell
for doc in fifo.pell folder.pell missing.pell; do
  "$bin" "$doc" 2>"$out/documents.stderr" &
  pid=$!
  box=$(timeout 30 xdotool search --sync --onlyvisible --name '^orbelle3 Error$' | head -n 1) || {
    echo "FAIL: no message for the document '$doc'"; cat "$out/documents.stderr"; exit 1; }
  if xdotool search --onlyvisible --name '^Lumetta$' >/dev/null; then echo "FAIL: a window for '$doc'"; exit 1; fi
  press_and_expect_exit "$box" Return 1 OK "$out/documents.stderr"
  grep -q "lumetta: cannot open $work/$doc: " "$out/documents.stderr" || {
    echo "FAIL: no reason for '$doc' on stderr"; cat "$out/documents.stderr"; exit 1; }
done
echo "PASS: a FIFO, a folder or a missing file is said at once and ends with status 1"
