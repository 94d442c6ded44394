"""Windows programs under Wine as the X server sees them, for the end-to-end
tests that run on tests/e2e/xsession.sh: their windows, the tray icon Wine
docks into trayer, and starting a program until that icon comes.

Wine's windows are invisible to AT-SPI, so they are found by title with
xdotool and read with xprop, xwininfo and screenshots.
"""
import argparse
import os
import re
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))

import harness  # noqa: E402
import winharness  # noqa: E402
from harness import Failure, check, run, wait_for  # noqa: E402,F401


TITLE = "Tarvenel Timer v0.3.1"


def session(name, *options):
    """What an end-to-end test of the Windows product starts from: its
    arguments (--zip, --wine-dir, --shots and the test's own options), the
    zip unpacked into a scratch folder, and a fresh prefix of its own.
    Returns (args, scratch folder, unpacked folder, prefix)."""
    parser = argparse.ArgumentParser()
    for option in ("--zip", "--wine-dir", "--shots") + options:
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    os.makedirs(args.shots, exist_ok=True)
    work = tempfile.mkdtemp(prefix=name + ".")
    folder = winharness.unpack(args.zip, work)
    prefix = winharness.clone(winharness.template(args.wine_dir),
                              os.path.join(args.wine_dir, name))
    return args, work, folder, prefix


def windows_titled(title, visible=True):
    args = ["xdotool", "search"] + (["--onlyvisible"] if visible else []) + \
        ["--name", "^" + re.escape(title) + "$"]
    return [int(w) for w in run(*args, check_rc=False).split()]


def window_titled(title, timeout=30):
    return wait_for(lambda: (windows_titled(title) or [None])[0], timeout,
                    what="a window titled %r" % title)


def is_viewable(window):
    return "Map State: IsViewable" in run("xwininfo", "-id", str(window), check_rc=False)


def net_wm_state(window):
    return set(re.findall(r"_NET_WM_STATE_\w+", run("xprop", "-id", str(window),
                                                    "_NET_WM_STATE", check_rc=False)))


def popups(program):
    """The shown windows of a program (by its executable's name) that Wine
    maps override-redirect: menus, tooltips, balloons."""
    shown = run("xdotool", "search", "--onlyvisible", "--class", "^%s$" % re.escape(program),
                check_rc=False).split()
    return [int(w) for w in shown
            if "Override Redirect State: yes" in run("xwininfo", "-id", w, check_rc=False)]


def popup_menus():
    """The clock's menus shown."""
    return popups("timer.exe")


def tray_balloons():
    """The tray icons' messages shown: Wine's desktop process, which holds
    the tray, draws them."""
    return popups("explorer.exe")


def tray_icon():
    """The window Wine's desktop process has embedded into trayer's panel,
    once it shows an image rather than a patch of the panel."""
    for panel in run("xdotool", "search", "--class", "trayer", check_rc=False).split():
        tree = run("xwininfo", "-tree", "-id", panel, check_rc=False)
        for match in re.finditer(r'(0x[0-9a-f]+) .*\("explorer\.exe" "explorer\.exe"\)', tree):
            icon = int(match.group(1), 16)
            x, y, w, h = harness.window_geometry(icon)
            shot = harness.Shot()
            colours = {shot.pixel(px, py) for px in range(x, x + w) for py in range(y, y + h)}
            if len(colours) > 10:
                return icon
    return None


def settle(window, steady=2.0, timeout=30):
    """Waits until the window has kept its geometry for a while: it follows
    its texts, and grows at the first refresh after it was first shown.
    Returns the geometry."""
    deadline = time.monotonic() + timeout
    last, since = None, time.monotonic()
    while True:
        now = harness.window_geometry(window)
        if now != last:
            last, since = now, time.monotonic()
        elif time.monotonic() - since >= steady:
            return now
        if time.monotonic() > deadline:
            raise Failure("the window kept changing its geometry for %d s" % timeout)
        time.sleep(0.2)


def active_window():
    match = re.search(r"window id # (0x[0-9a-f]+)",
                      run("xprop", "-root", "_NET_ACTIVE_WINDOW", check_rc=False))
    return int(match.group(1), 16) if match else None


def stacking():
    """The managed windows from the bottom up."""
    out = run("xprop", "-root", "_NET_CLIENT_LIST_STACKING", check_rc=False)
    return [int(w, 16) for w in re.findall(r"0x[0-9a-f]+", out)]


def click_window(window, button=1, repeat=1):
    x, y, w, h = harness.window_geometry(window)
    harness.click_at(x + w // 2, y + h // 2, button=button, repeat=repeat)


def activate(window):
    run("xdotool", "windowactivate", "--sync", str(window), check_rc=False)


def start_with_tray_icon(start, title, attempts=4, icon_timeout=20):
    """Starts a program with start() until its window is shown and Wine has
    docked its tray icon: Wine 8 with trayer draws the icon only some of the
    time. Returns (program, window, icon); says plainly when the icon never
    came, so that a missing icon never looks like a fault of the program."""
    for attempt in range(1, attempts + 1):
        program = start()
        try:
            window = window_titled(title, 60)
            try:
                icon = wait_for(tray_icon, icon_timeout, 0.5, what="the tray icon")
            except Failure:
                print("start %d of %d: Wine docked no tray icon within %d s" %
                      (attempt, attempts, icon_timeout), flush=True)
                program.stop()
                # A new desktop process, whose tray may come up where the
                # last one's did not.
                program.prefix.stop()
                continue
            return program, window, icon
        except BaseException:
            program.stop()
            raise
    raise Failure("Wine docked no tray icon into trayer in %d starts of %s (Wine 8 draws "
                  "one only some of the time); the tray checks could not run" %
                  (attempts, title))


__all__ = ["Failure", "TITLE", "activate", "active_window", "check", "click_window", "harness",
           "is_viewable", "net_wm_state", "popup_menus", "popups", "run", "session", "settle",
           "stacking", "start_with_tray_icon", "tray_balloons", "tray_icon", "wait_for",
           "window_titled", "windows_titled", "winharness"]
