#!/usr/bin/env bash
# Runs a test in a home of its own: HOME and the XDG folders (settings, caches, data, state,
# and a private runtime folder) in a fresh folder, removed afterwards, whatever the
# environment the suite was started from. No test reads the user's settings or writes into
# their home: not the program's settings file, not GTK's recent files, not dconf (settings
# stay in memory, and no session bus is reached). The GL driver's shader cache, which only
# makes drawing start sooner, is shared by the suite in SHADER_CACHE.
#
# usage: own-home.sh SHADER_CACHE COMMAND [ARGUMENTS...]
set -uo pipefail
cache=${1:?usage: own-home.sh SHADER_CACHE COMMAND [ARGUMENTS...]}
shift
home=$(mktemp -d "${TMPDIR:-/tmp}/lumetta-home-XXXXXX") || exit 1
trap 'rm -rf "$home"' EXIT
mkdir -p -m 700 "$home/runtime"
export HOME=$home
export XDG_CONFIG_HOME=$home/.config XDG_CACHE_HOME=$home/.cache XDG_DATA_HOME=$home/.local/share
export XDG_STATE_HOME=$home/.local/state XDG_RUNTIME_DIR=$home/runtime
export MESA_SHADER_CACHE_DIR=$cache
export GSETTINGS_BACKEND=memory NO_AT_BRIDGE=1
unset DBUS_SESSION_BUS_ADDRESS
"$@"
