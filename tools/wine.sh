#!/usr/bin/env bash
# Runs a Windows program built with MinGW-w64 under 64-bit Wine, in a private Wine prefix
# and on a private X display, for CTest and CI.
#
#   bash tools/wine.sh prefix DIR
#       Makes a Wine prefix in DIR, unless DIR already holds a complete one made by this
#       script. Prints nothing on success and one line on failure. A prefix takes about
#       700 MB and 10-20 s to make.
#
#   bash tools/wine.sh run DIR PROGRAM.exe [ARGS...]
#       Runs PROGRAM in the prefix in DIR (making the prefix first if needed) on a private
#       Xvfb display, passes its standard output and error through with the CRs removed and
#       exits with its exit status. When it ends, no Wine process of the prefix is left.
#       Runs in the same prefix take turns (a lock in DIR); use one prefix per parallel job.
#
# Environment:
#   WINE_TIMEOUT=SECONDS  how long the program may run, default 120, 0 for no limit. After
#                         that it is killed and the exit status is 124.
#   WINE_USE_DISPLAY=1    use $DISPLAY instead of starting Xvfb, so that a test can drive the
#                         program's window with xdotool on a display it owns.
#   WINE_RAW_STDOUT=1     pass standard output through as it is (a picture written to "-"),
#                         CRs and all.
#   WINEDEBUG             passed on to Wine, default -all.
#
# Exit status 125 means this script itself failed (bad arguments, no Xvfb, no prefix).
# Wine gets HOME and the XDG folders inside DIR, so nothing is written outside DIR and /tmp;
# the prefix's Desktop and Documents folders are DIR/home.
#
# Needs: wine (Debian: apt-get install -y wine wine64), xvfb, fonts-ipafont-gothic.
set -uo pipefail

readonly ME=wine.sh
readonly SCREEN=1024x768x24
# The font that gives Japanese text its glyphs, and the faces that fall back to it. Menus
# and dialogs are drawn with these faces; without the link Japanese shows as boxes.
readonly LINK_FONT='ipag.ttf,IPAGothic'
readonly LINKED_FACES=('Tahoma' 'MS Shell Dlg' 'MS UI Gothic' 'Segoe UI')

dir=
tmp=
xvfb_pid=
display_ready=
prefix_busy=

say() { printf '%s: %s\n' "$ME" "$*" >&2; }
fail() {
    say "$*"
    exit 125
}
usage() { fail "usage: bash tools/wine.sh prefix DIR | run DIR PROGRAM.exe [ARGS...]"; }

# Wine and Xvfb must not inherit the lock on fd 9: the wineserver outlives its first client
# and would hold the prefix locked.
wine_() { wine "$@" 9>&-; }
wineserver_() { wineserver "$@" 9>&-; }

# Ends every process of the prefix. The server saves the registry as it goes.
stop_wine() {
    wineserver_ -k >/dev/null 2>&1
    timeout 30 wineserver -w >/dev/null 2>&1 9>&-
}

cleanup() {
    local status=$?
    trap - EXIT INT TERM HUP
    [[ $prefix_busy ]] && stop_wine
    if [[ $xvfb_pid ]]; then
        kill "$xvfb_pid" 2>/dev/null
        wait "$xvfb_pid" 2>/dev/null
    fi
    [[ $tmp ]] && rm -rf -- "$tmp"
    exit "$status"
}

# A REG_MULTI_SZ value as REGEDIT4 writes it: the ANSI bytes of each string with a 00 after
# it, then one more 00 to end the list.
multi_sz() {
    local s i out=
    for s; do
        for ((i = 0; i < ${#s}; i++)); do
            printf -v out '%s%02x,' "$out" "'${s:i:1}"
        done
        out+=00,
    done
    printf 'hex(7):%s00' "$out"
}

# The registry settings every prefix gets. A crash would otherwise start winedbg, which waits
# for someone to attach and so hangs the run; with no debugger the program just ends with
# the exception code.
settings() {
    local face link
    link=$(multi_sz "$LINK_FONT")
    printf '%s\n' 'REGEDIT4' '' \
        '[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\AeDebug]' \
        '"Debugger"=""' \
        '"Auto"="0"' '' \
        '[HKEY_CURRENT_USER\Software\Wine\WineDbg]' \
        '"ShowCrashDialog"=dword:00000000' '' \
        '[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink]'
    for face in "${LINKED_FACES[@]}"; do
        printf '"%s"=%s\n' "$face" "$link"
    done
}

# Whether the saved registry file $1 has the line $3 in key $2 (key as written in the file,
# with doubled backslashes). Key names are compared without case, as Windows does.
reg_has() {
    KEY="[$2]" LINE=$3 awk '
        BEGIN { key = tolower(ENVIRON["KEY"]); line = ENVIRON["LINE"] }
        /^\[/ { inside = index(tolower($0), key) == 1; next }
        inside && $0 == line { found = 1; exit }
        END { exit !found }' "$1"
}

settings_took() {
    local nt='Software\\Microsoft\\Windows NT\\CurrentVersion' face
    reg_has "$dir/system.reg" "$nt\\\\AeDebug" '"Debugger"=""' || return 1
    for face in "${LINKED_FACES[@]}"; do
        reg_has "$dir/system.reg" "$nt\\\\FontLink\\\\SystemLink" \
            "\"$face\"=str(7):\"$LINK_FONT\\0\"" || return 1
    done
}

# Wine's own files stay in DIR, and so does everything it would put in the home folder.
use_prefix() {
    export WINEPREFIX=$dir WINEARCH=win64
    export WINEDEBUG=${WINEDEBUG:--all}
    # No Mono or Gecko install prompts, and no menu entries or desktop files.
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
    export HOME=$dir/home
    export XDG_CONFIG_HOME=$HOME/.config XDG_CACHE_HOME=$HOME/.cache XDG_DATA_HOME=$HOME/.local/share
}

# Takes the prefix for this script alone; held until the script ends.
lock_prefix() {
    mkdir -p -- "$1" 2>/dev/null || fail "cannot make folder $1"
    dir=$(cd -- "$1" && pwd -P) || fail "cannot enter folder $1"
    exec 9>>"$dir/.lock" || fail "cannot write in $dir"
    # In the background so that a signal is answered while another run holds the lock.
    flock 9 &
    wait "$!" || fail "cannot lock $dir"
    use_prefix
    # From here on, the prefix's processes are ended when the script ends.
    prefix_busy=1
}

need_tmp() {
    [[ $tmp ]] && return 0
    tmp=$(mktemp -d /tmp/wine-sh.XXXXXX) || fail "cannot make a folder in /tmp"
}

# Wine must see the display from its first command on: a wineserver started without one
# breaks later windowed programs in the same prefix.
need_display() {
    [[ $display_ready ]] && return 0
    if [[ ${WINE_USE_DISPLAY:-} == 1 ]]; then
        [[ ${DISPLAY:-} ]] || fail "WINE_USE_DISPLAY=1 but DISPLAY is not set"
        display_ready=1
        return 0
    fi
    command -v Xvfb >/dev/null || fail "Xvfb is missing (Debian: apt-get install -y xvfb)"
    need_tmp
    local launch=() n='' i
    # Xvfb is killed with this script even if the script itself is killed outright.
    if setpriv --pdeathsig KILL true 2>/dev/null; then
        launch=(setpriv --pdeathsig KILL)
    fi
    # Xvfb picks a free display number itself and writes it to fd 3 once it takes clients.
    : >"$tmp/display"
    "${launch[@]}" Xvfb -displayfd 3 -screen 0 "$SCREEN" -nolisten tcp -noreset \
        3>"$tmp/display" </dev/null >"$tmp/xvfb.log" 2>&1 9>&- &
    xvfb_pid=$!
    for ((i = 0; i < 500; i++)); do
        read -r n <"$tmp/display" && [[ $n =~ ^[0-9]+$ ]] && break
        n=
        kill -0 "$xvfb_pid" 2>/dev/null || break
        sleep 0.02
    done
    [[ $n ]] || fail "Xvfb did not start: $(tail -n 1 "$tmp/xvfb.log")"
    export DISPLAY=:$n
    unset XAUTHORITY
    display_ready=1
}

# Makes the prefix in $dir unless it is complete. The stamp .ready is written last and holds
# the registry settings it was made with, so a change to them reaches existing prefixes.
make_prefix() {
    local want name
    want=$(settings)
    [[ -f $dir/.ready && $(<"$dir/.ready") == "$want" ]] && return 0
    # Unless complete, the prefix is made anew. setup.log is the first file this script
    # writes, so a folder without it and with other files in it is not ours to wipe.
    if [[ ! -f $dir/.ready && ! -f $dir/setup.log ]]; then
        for name in "$dir"/* "$dir"/.[!.]* "$dir"/..?*; do
            [[ -e $name || -L $name ]] || continue
            [[ ${name##*/} == .lock ]] || fail "$dir is not empty and is not a prefix made by $ME"
        done
    fi
    need_display
    need_tmp
    # An earlier run killed outright may have left the prefix's processes behind.
    stop_wine
    if [[ ! -f $dir/.ready ]]; then
        find "$dir" -mindepth 1 -maxdepth 1 ! -name .lock -exec rm -rf -- {} + ||
            fail "cannot clear $dir"
        : >"$dir/setup.log" || fail "cannot write in $dir"
        mkdir -p "$HOME"
        wine_ wineboot -i >>"$dir/setup.log" 2>&1 ||
            fail "wineboot failed in $dir (see $dir/setup.log)"
    fi
    mkdir -p "$HOME"
    printf '%s\n' "$want" >"$tmp/settings.reg"
    # regedit takes a Windows path (a leading / would read as a switch); Z: is the Unix root.
    wine_ regedit "Z:${tmp//\//\\}\\settings.reg" >>"$dir/setup.log" 2>&1
    # The registry reaches the disk when the server ends.
    timeout 120 wineserver -w >/dev/null 2>&1 9>&- || stop_wine
    settings_took || fail "the registry settings did not take in $dir (see $dir/setup.log)"
    { printf '%s\n' "$want" >"$dir/.ready.new" && mv -f -- "$dir/.ready.new" "$dir/.ready"; } ||
        fail "cannot write in $dir"
}

strip_cr() { stdbuf -oL tr -d '\r'; }

run_program() {
    local exe=$1 secs=${WINE_TIMEOUT:-120} start status out_pid err_pid
    shift
    # Wine finds its own programs (reg, cmd, ...) by name; a path must name a file.
    [[ -f $exe || $exe != */* ]] || fail "no such program: $exe"
    need_display
    stop_wine
    # Wine writes CR LF; the output goes through fifos so that the program's exit status is
    # known directly and the script can still answer signals while it waits.
    mkfifo "$tmp/out" "$tmp/err" || fail "cannot make fifos in $tmp"
    if [[ ${WINE_RAW_STDOUT:-} == 1 ]]; then cat <"$tmp/out" 9>&- & else strip_cr <"$tmp/out" 9>&- & fi
    out_pid=$!
    strip_cr <"$tmp/err" >&2 9>&- &
    err_pid=$!
    start=$SECONDS
    # --foreground lets a program read a terminal; the prefix's other processes are ended by
    # stop_wine in any case. KILL follows if the program ignores TERM.
    timeout --foreground -k 5 "$secs" wine "$exe" "$@" <&0 >"$tmp/out" 2>"$tmp/err" 9>&- &
    wait "$!"
    status=$?
    stop_wine
    wait "$out_pid" "$err_pid"
    if ((secs > 0 && (status == 124 || (status == 137 && SECONDS - start >= secs)))); then
        say "$exe did not end within $secs s"
        status=124
    fi
    return "$status"
}

trap cleanup EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM
# A closed standard input would make the redirection for the program fail.
{ true <&0; } 2>/dev/null || exec </dev/null

case ${1:-} in
prefix)
    (($# == 2)) || usage
    lock_prefix "$2"
    make_prefix
    ;;
run)
    (($# >= 3)) || usage
    [[ ${WINE_TIMEOUT:-120} =~ ^[0-9]+$ ]] || fail "WINE_TIMEOUT must be a whole number of seconds"
    lock_prefix "$2"
    shift 2
    need_tmp
    make_prefix
    run_program "$@"
    exit
    ;;
*)
    usage
    ;;
esac
