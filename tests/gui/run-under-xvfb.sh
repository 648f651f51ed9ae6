#!/usr/bin/env bash
# Runs a GUI test script on a private Xvfb display (1024 x 768, 24-bit), with no window manager.
set -euo pipefail
exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$@"
