#!/bin/bash
# On the X server of tests/xsession.py: starts a timer binary and waits for
# its window, titled as given, to be viewable, then stops it by its pid.
#
#   show_installed.sh TIMER TITLE
set -euo pipefail
env -u LD_LIBRARY_PATH QT_QPA_PLATFORM=xcb "$1" &
pid=$!
trap 'kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null || true' EXIT
for _ in $(seq 150); do
    kill -0 "$pid" 2>/dev/null || { echo "the installed timer exited"; exit 1; }
    for window in $(xdotool search --all --pid "$pid" --name "^${2//./\\.}\$" 2>/dev/null); do
        if [[ $(xwininfo -id "$window") == *'Map State: IsViewable'* ]]; then
            echo "the installed timer shows its window"
            exit 0
        fi
    done
    sleep 0.1
done
echo "no window of the installed timer within 15 s"
exit 1
