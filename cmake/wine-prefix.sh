#!/bin/sh
# Creates, keeps alive and stops the isolated Wine prefix named by WINEPREFIX.
#   ensure  create the prefix once (wineboot), marked as ours for the registry tests
#   start   ensure, then keep a wineserver running so each process starts fast
#   stop    end that wineserver
set -eu
: "${WINEPREFIX:?WINEPREFIX must name the isolated prefix}"
. "$(dirname "$0")/wine-env.sh"
marker="$WINEPREFIX/.lumaris-isolated-prefix"

ensure() {
    [ -f "$marker" ] && return 0
    mkdir -p "$(dirname "$WINEPREFIX")"
    # One creator at a time: parallel tests may all find the prefix missing.
    exec 9>"$WINEPREFIX.lock"
    flock 9
    if [ ! -f "$marker" ]; then
        wineboot --init >/dev/null 2>&1
        wineserver -w
        echo "isolated Wine prefix of a lumaris-hba build tree" >"$marker"
    fi
    flock -u 9
}

case "${1:-}" in
    ensure) ensure ;;
    # The server, and the helper services the first program starts, are detached
    # from our output: whoever reads it would otherwise wait for them to end.
    start)
        ensure
        wineserver -p </dev/null >/dev/null 2>&1 || true  # one may be running already
        wine cmd.exe /c exit </dev/null >/dev/null 2>&1
        ;;
    stop) wineserver -k 2>/dev/null || true ;;
    *) echo "usage: $0 ensure|start|stop" >&2; exit 2 ;;
esac
