#!/bin/sh
# wine_prefix.sh start|stop PREFIX
#
# start: creates the test prefix if needed (null display driver, no add-on
# prompts), then leaves a wineserver running, with the desktop and service
# processes already up. Everything Wine spawns here writes to /dev/null:
# those processes outlive this script, and any pipe they inherited would keep
# CTest waiting.
# stop: shuts that wineserver down.
set -u
action=$1
export WINEPREFIX=$2
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

quiet() {
    "$@" >/dev/null 2>&1 </dev/null
}

fail() {
    echo "wine_prefix.sh: $1 failed (prefix $WINEPREFIX)" >&2
    quiet wineserver -k
    exit 1
}

case $action in
start)
    mkdir -p "$WINEPREFIX" || exit 1
    # Whatever an interrupted run left behind goes first.
    quiet wineserver -k
    quiet wineserver -w
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        quiet wineboot -i || fail "wineboot -i"
    fi
    quiet wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f || fail "reg add"
    # The desktop process reads the driver setting when it starts, and
    # wineboot may already have started one without it.
    quiet wineserver -k
    quiet wineserver -w
    # Kept alive between the tests, but not forever: should the stop step
    # never run (an interrupted ctest), it goes away by itself.
    quiet wineserver -p120 || fail "wineserver -p120"
    # Let the first window bring up the desktop process now rather than
    # inside a test; this also proves windows can be created at all.
    if [ $# -ge 3 ]; then
        quiet wine "$3" || fail "creating a window ($3)"
    fi
    ;;
stop)
    quiet wineserver -k
    quiet wineserver -w
    exit 0
    ;;
*)
    echo "usage: $0 start|stop PREFIX [WARMUP.EXE]" >&2
    exit 2
    ;;
esac
