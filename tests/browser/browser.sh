#!/usr/bin/env bash
# Opens what `lumetta --render` writes in a real browser, headless Chromium, and checks from
# the page itself (page.html) that the MP4 plays in a <video> and the GIF and the WebP show in
# an <img>: their sizes, an odd size kept exactly, the video's duration and frame times, the
# pictures' frame counts, looping and frame durations, and that the frames match the PNGs
# that `--render frame%03d.png` writes for the same frames. Then that the transparent PNG,
# WebP, GIF and WebM show the page's colour around the wreath and the wreath over it.
#
# Usage: browser.sh LUMETTA ASSETS_DIR OUT_DIR
#   ASSETS_DIR holds panel.bmp; OUT_DIR keeps the logs, the page as Chromium left it
#   (dom.html) and a screenshot of it (page.png).
# Exits 0 when every check passed, 1 otherwise, 77 (skipped) when there is no Chromium at
# /usr/bin/chromium (or at $CHROMIUM, when that is set).
#
# How it runs: the rendered files and the page are served from a temporary folder on
# http://127.0.0.1 by serve.py.  Chromium's --dump-dom prints the page as soon as its load
# event has fired, long before the video has been seeked through, so serve.py holds back a
# 1x1 <img> on the page until the page has posted its result: the load event then comes
# after the last check.  That needs a server; it also means the files arrive as from a web
# server (types, range requests), and no canvas is tainted, as one is for file:// pictures
# unless --allow-file-access-from-files is given.  (--virtual-time-budget does not work for
# this: virtual time runs ahead of the decoders, and the budget ran out before the first
# picture had been decoded.)  The page writes one line per check into <pre id="result">.
set -euo pipefail

if [ $# -ne 3 ]; then
  echo "usage: $0 LUMETTA ASSETS_DIR OUT_DIR" >&2
  exit 2
fi
bin=$1 assets=$2 out=$3
here=$(cd "$(dirname "$0")" && pwd)
chromium=${CHROMIUM:-/usr/bin/chromium}

if [ ! -x "$chromium" ]; then
  echo "SKIP: no Chromium on this machine (install the chromium package)"
  exit 77
fi
command -v python3 >/dev/null || { echo "FAIL: python3 is needed to serve the page"; exit 1; }
[ -x "$bin" ] || { echo "FAIL: no program at $bin"; exit 1; }
[ -f "$assets/panel.bmp" ] || { echo "FAIL: no panel.bmp in $assets"; exit 1; }

# One loop of blink pattern 2 is 20 frames, and its animations start 3 frames into the
# sequence: animation frame k is sequence frame 3 + k.
pattern=2 frames=20 lead=3
size=160x120 odd=161x121

mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/lumetta-browser.XXXXXX")
server=
cleanup() {
  if [ -n "$server" ]; then kill "$server" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
site=$work/site
mkdir -p "$site/seq"
cp "$assets/panel.bmp" "$site/"
cp "$here/page.html" "$site/"

started=$(date +%s.%N)
seconds_since_start() { awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }'; }

: >"$out/render.log"
render() {
  echo "lumetta $*" >>"$out/render.log"
  if ! (cd "$site" && "$bin" "$@") >>"$out/render.log" 2>&1; then
    echo "FAIL: lumetta $* did not render"
    cat "$out/render.log"
    exit 1
  fi
}
for kind in mp4 gif webp; do
  render --render "anim.$kind" --size "$size" --pattern "$pattern"
  render --render "odd.$kind" --size "$odd" --pattern "$pattern"
done
for kind in webm gif webp; do
  render --render "clear.$kind" --size "$size" --pattern "$pattern" --transparent
done
render --render clear.png --size "$size" --pattern "$pattern" --transparent --frames $((lead + 1))
render --render seq/f%03d.png --size "$size" --pattern "$pattern" --frames $((lead + frames + 1))
render --render odd.png --size "$odd" --pattern "$pattern" --frames $((lead + 1))
echo "rendered in $(seconds_since_start) s"

# serve.py prints the port it listens on; it answers the held picture after 120 s at most
# (a loaded machine plays the page slowly; one that never finishes is the fault).
: >"$work/port"
python3 -u "$here/serve.py" "$site" "$out/posted-result.txt" 120 >"$work/port" 2>"$out/server.log" &
server=$!
port=
for _ in $(seq 100); do
  port=$(awk '/^PORT / { print $2 }' "$work/port" || true)
  [ -n "$port" ] && break
  kill -0 "$server" 2>/dev/null || break
  sleep 0.1
done
[ -n "$port" ] || { echo "FAIL: the page server did not start"; cat "$out/server.log"; exit 1; }

w=${size%x*} h=${size#*x} ow=${odd%x*} oh=${odd#*x}
url="http://127.0.0.1:$port/page.html?w=$w&h=$h&ow=$ow&oh=$oh&frames=$frames&lead=$lead"
# Chromium gets a fresh profile and home in the temporary folder, so that it runs for any
# user and leaves nothing behind.  --no-sandbox: as root Chromium refuses to start without
# it, and an ordinary user needs it where user namespaces are turned off; the page is our
# own, served from this machine.  The background-networking flags keep it from calling out
# (this machine's network refuses it anyway).  --timeout makes it print the page as it is
# after 125 s even if the page never finished.
mkdir -p "$work/home"
status=0
HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_CACHE_HOME=$work/home/.cache \
  timeout -k 5 140 "$chromium" --headless=new --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --disable-dev-shm-usage --user-data-dir="$work/profile" --window-size=800,1000 \
    --timeout=125000 --screenshot="$out/page.png" --dump-dom "$url" \
    >"$out/dom.html" 2>"$out/chromium.log" || status=$?
echo "Chromium finished in $(seconds_since_start) s from the start (exit status $status)"

# The result block, with the few entities that --dump-dom writes turned back into text.
awk '/^<pre id="result">/ { on = 1; sub(/^<pre id="result">/, "") }
     on { done = sub(/<\/pre>.*/, ""); print; if (done) exit }' "$out/dom.html" |
  sed -e 's/&lt;/</g' -e 's/&gt;/>/g' -e 's/&quot;/"/g' -e 's/&#39;/'"'"'/g' -e 's/&amp;/\&/g' \
  >"$out/result.txt"
cat "$out/result.txt"

# Every check must have run and passed: a page that stopped early fails.  want_checks is
# the number of PASS/FAIL lines that page.html writes when it runs to the end.
want_checks=25
passed=$(grep -c '^PASS ' "$out/result.txt" || true)
failed=$(grep -c '^FAIL ' "$out/result.txt" || true)
if ! grep -qx 'DONE' "$out/result.txt"; then
  echo "FAIL: the page did not finish (Chromium exit status $status); see $out/dom.html and $out/chromium.log"
  grep -v dbus "$out/chromium.log" | tail -n 20 || true
  exit 1
fi
if [ "$failed" -ne 0 ] || [ "$passed" -ne "$want_checks" ]; then
  echo "FAIL: $passed of $want_checks checks passed, $failed failed"
  exit 1
fi
echo "PASS: all $want_checks browser checks passed in $(seconds_since_start) s"
