#!/bin/sh
# Creates or removes a throwaway Wine prefix of the Wine tests.
#   prefix.sh create <prefix> [<32-bit driver> <64-bit driver>]
#       a fresh prefix, initialised and idle; with the two builds of the
#       scripted codec driver installed as scripted.acm (64-bit in system32,
#       32-bit in syswow64) and listed in system.ini as msacm.scripted
#   prefix.sh remove <prefix>
#       stops its server and deletes it
#   prefix.sh run <prefix> <program> [<argument>...]
#       runs a Windows program in it, with its exit status
# Wine's server keeps its socket under TMPDIR, which is <prefix>-tmp here as in
# the tests, so that removing both leaves nothing behind.
set -eu
action=$1
export WINEPREFIX="$2"
export TMPDIR="$2-tmp"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
case "$action" in
create)
    rm -rf "$WINEPREFIX" "$TMPDIR"
    mkdir -p "$WINEPREFIX" "$TMPDIR"
    wine wineboot --init >/dev/null 2>&1
    wineserver -w
    if [ $# -ge 4 ]; then
        windows="$WINEPREFIX/drive_c/windows"
        cp "$3" "$windows/syswow64/scripted.acm"
        cp "$4" "$windows/system32/scripted.acm"
        sed -i 's/^\[drivers32\]\r\{0,1\}$/&\nmsacm.scripted=scripted.acm/' "$windows/system.ini"
        grep -q '^msacm.scripted=scripted.acm' "$windows/system.ini"
    fi
    ;;
run)
    shift 2
    exec wine "$@"
    ;;
remove)
    if [ -d "$WINEPREFIX" ]; then
        wineserver -k 2>/dev/null || true
        wineserver -w 2>/dev/null || true
    fi
    rm -rf "$WINEPREFIX" "$TMPDIR"
    ;;
*)
    echo "usage: prefix.sh create <prefix> [<32-bit driver> <64-bit driver>] | remove <prefix>" \
        "| run <prefix> <program> [<argument>...]" >&2
    exit 2
    ;;
esac
