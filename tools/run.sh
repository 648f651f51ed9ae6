#!/usr/bin/env bash
# The run command: installs what is missing, builds, and opens Lumetta in the folder of the
# shipped backdrop picture. Arguments are passed on to lumetta. Everything but the program's
# own output goes to standard error.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh run
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j"$(nproc)" --target lumetta >&2
cd assets
exec ../build/release/lumetta "$@"
