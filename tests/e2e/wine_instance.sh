#!/bin/bash
# One clock per session on Windows, by hand under Wine: run on the X server
# of xsession.sh with a cross-built timer.exe and a Wine prefix of its own.
#
#   tests/e2e/xsession.sh tests/e2e/wine_instance.sh TIMER.EXE WINEPREFIX [QT-BIN-DIR]
#
# QT-BIN-DIR is where the Qt DLLs are when they are not beside timer.exe.
# Checks: a second start exits 0 and shows the hidden window again; starts at
# once end with one clock; a clock killed outright does not block the next.
set -euo pipefail
exe=$(realpath "$1")
export WINEPREFIX=$(realpath -m "$2")
[ -n "${3:-}" ] && export WINEPATH=$(winepath -w "$3" 2>/dev/null || echo "$3")
export WINEDEBUG=-all
title='^Tarvenel Timer v0\.3\.1$'
failures=0
pids=()
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wineserver -k 2>/dev/null || true
}
trap cleanup EXIT

windows() { xdotool search --all --onlyvisible --name "$title" 2>/dev/null || true; }
wait_until() { # seconds, command...
    local limit=$1; shift
    for _ in $(seq $((limit * 5))); do "$@" && return 0; sleep 0.2; done
    return 1
}
one_window() { [ "$(windows | wc -l)" -eq 1 ]; }
no_window() { [ -z "$(windows)" ]; }
start() { wine "$exe" >/dev/null 2>&1 & pids+=($!); }
# A later start: its exit code, bounded.
again() { timeout 60 wine "$exe" >/dev/null 2>&1; }

mkdir -p "$WINEPREFIX"
wineboot -i >/dev/null 2>&1 || true

start
wait_until 120 one_window || { echo "FAIL: the first clock shows no window"; exit 1; }
echo "first clock is up"

again && echo "second start exited 0" || fail "the second start exited $?"
one_window || fail "$(windows | wc -l) clock windows after a second start"

# Hidden by No to the close question (Windows always has a notification
# area), then brought back by a start.
window=$(windows | head -n1)
question() { xdotool search --onlyvisible --name '^확인$' >/dev/null 2>&1; }
xdotool windowactivate --sync "$window" 2>/dev/null || true
xdotool key --window "$window" alt+F4
wait_until 20 question || fail "closing the window asked nothing"
xdotool windowactivate --sync "$(xdotool search --onlyvisible --name '^확인$' | head -n1)" 2>/dev/null || true
xdotool key n
wait_until 20 no_window || fail "No did not hide the window"
again || fail "the start beside a hidden clock exited $?"
wait_until 20 one_window && echo "a start showed the hidden window" ||
    fail "the hidden window did not come back"

# Killed outright: nothing it left blocks the next start.
wineserver -k 2>/dev/null || true
wait_until 20 no_window || fail "the killed clock's window stayed"
start
wait_until 120 one_window && echo "a clock starts after one was killed" ||
    fail "no clock after the first was killed"
wineserver -k 2>/dev/null || true
wait_until 20 no_window || true

# Four at once: one clock, the others end with 0.
codes=()
for _ in 1 2 3 4; do (timeout 120 wine "$exe" >/dev/null 2>&1; echo $? >>"$WINEPREFIX/codes") & done
wait_until 120 one_window || fail "no clock after four starts at once"
wait_until 60 test "$(wc -l <"$WINEPREFIX/codes" 2>/dev/null || echo 0)" -ge 3 ||
    fail "three of four starts did not end"
sleep 2
one_window || fail "$(windows | wc -l) clock windows after four starts at once"
[ "$(sort "$WINEPREFIX/codes" | uniq -c | awk '$2 == 0 { print $1 }')" = 3 ] ||
    fail "exit codes of the starts at once: $(tr '\n' ' ' <"$WINEPREFIX/codes")"
rm -f "$WINEPREFIX/codes"

[ "$failures" -eq 0 ] && echo "wine single-instance checks passed"
exit $((failures > 0))
