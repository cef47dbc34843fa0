#!/bin/sh
# Creates or removes the throwaway Wine prefix of the Wine tests.
#   prefix.sh create <prefix>    a fresh prefix, initialised and idle
#   prefix.sh remove <prefix>    stops its server and deletes it
set -eu
action=$1
export WINEPREFIX="$2"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
case "$action" in
create)
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wine wineboot --init >/dev/null 2>&1
    wineserver -w
    ;;
remove)
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
    ;;
*)
    echo "usage: prefix.sh create|remove <prefix>" >&2
    exit 2
    ;;
esac
