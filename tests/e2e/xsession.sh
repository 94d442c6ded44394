#!/bin/bash
# Runs a command on a private X server with a window manager and its own
# D-Bus session, then stops what it started. The display number comes from
# the server itself (-displayfd), so parallel runs never collide.
#
#   xsession.sh COMMAND [ARG...]
#
# The command sees DISPLAY, XDG_RUNTIME_DIR and DBUS_SESSION_BUS_ADDRESS, and an
# empty XDG_CONFIG_HOME of its own, so that no settings of the user's (the
# clock's alarms among them) take part.
set -euo pipefail

runtime=$(mktemp -d /tmp/xsession.XXXXXX)
chmod 700 "$runtime"
xvfb_pid=
wm_pid=

cleanup() {
    [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null && wait "$wm_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    rm -rf "$runtime"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

: >"$runtime/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$runtime/display" \
    >"$runtime/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
    [ -s "$runtime/display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || { cat "$runtime/xvfb.log" >&2; exit 1; }
    sleep 0.05
done
display=$(head -n1 "$runtime/display")
[ -n "$display" ] || { echo "xsession: Xvfb did not report a display" >&2; exit 1; }
export DISPLAY=":$display"
export XDG_RUNTIME_DIR="$runtime"
mkdir "$runtime/config"
export XDG_CONFIG_HOME="$runtime/config"

openbox --sm-disable >"$runtime/openbox.log" 2>&1 &
wm_pid=$!
for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.05
done

# openbox announces itself before it is ready, and a window mapped in that
# moment can stay unmanaged for good. A probe window is mapped again until
# openbox has framed it; from then on every window is managed.
xmessage -name wm-probe -geometry +0+0 probe >/dev/null 2>&1 &
probe_pid=$!
framed=
for _ in $(seq 50); do
    probe=$(xdotool search --classname '^wm-probe$' 2>/dev/null | head -n1 || true)
    if [ -n "$probe" ]; then
        if xwininfo -id "$probe" -children 2>/dev/null | grep -q 'Parent window id: .*(the root window)'; then
            xdotool windowmap "$probe" 2>/dev/null || true
        else
            framed=1
            break
        fi
    fi
    sleep 0.2
done
kill "$probe_pid" 2>/dev/null; wait "$probe_pid" 2>/dev/null || true
[ -n "$framed" ] || { echo "xsession: the window manager manages no window" >&2; exit 1; }

status=0
dbus-run-session -- "$@" || status=$?
exit "$status"
