"""The clock on Wayland: weston (headless) beside the private X server.
On a Wayland-only session the modes the compositor cannot honour are shown
disabled with the reason; where X is offered too, the clock runs on X."""
import argparse
import os
import subprocess

import pyatspi

from harness import Failure, Helper, Timer, check, main, states, wait_for

parser = argparse.ArgumentParser()
parser.add_argument("--timer", required=True)
parser.add_argument("--shots", required=True)
args = parser.parse_args()

SOCKET = "timer-e2e-wayland"
REASON = "이 데스크톱(Wayland)에서는 지원되지 않습니다."


def start_weston():
    weston = Helper("weston", "--backend=headless-backend.so", "--socket=" + SOCKET,
                    "--idle-time=0", "--width=1280", "--height=1024")
    path = os.path.join(os.environ["XDG_RUNTIME_DIR"], SOCKET)
    try:
        wait_for(lambda: os.path.exists(path) or weston.process.poll() is not None, 15,
                 what="weston's socket")
        check(weston.process.poll() is None, "weston exited with %s" % weston.process.returncode)
    except BaseException:
        weston.stop()
        raise
    return weston


def controls(timer):
    topmost = timer.find(pyatspi.ROLE_CHECK_BOX, "항상 위")
    slider = timer.find(pyatspi.ROLE_SLIDER)
    glass = timer.find(pyatspi.ROLE_CHECK_BOX, "Vista GlassFrame")
    check(topmost is not None and slider is not None, "the bottom row is incomplete")
    return topmost, slider, glass


def enabled(node):
    return "enabled" in states(node) and "sensitive" in states(node)


def wayland_only_disables_what_it_cannot_do():
    with start_weston():
        env = {"DISPLAY": None, "QT_QPA_PLATFORM": None, "WAYLAND_DISPLAY": SOCKET}
        with Timer(args.timer, env=env, x_window=False) as timer:
            timer.wait_loaded()
            labels = timer.data_labels()
            check(all(text and text != "loading..." for text in labels.values()),
                  "texts on Wayland: %r" % labels)
            topmost, slider, glass = controls(timer)
            check(not enabled(topmost), "항상 위 is enabled on Wayland")
            check(topmost.description == "창을 항상 위에 두는 기능은 " + REASON,
                  "항상 위 says %r" % topmost.description)
            check(not enabled(slider), "the opacity slider is enabled on Wayland")
            check(slider.description == "창 투명도 조절은 " + REASON,
                  "the slider says %r" % slider.description)
            # Every Wayland compositor composites: the glass steps stay.
            check(glass is not None and enabled(glass), "Vista GlassFrame is missing or disabled")


def with_x_offered_too_the_clock_runs_on_x():
    with start_weston():
        env = {"QT_QPA_PLATFORM": None, "WAYLAND_DISPLAY": SOCKET}
        with Timer(args.timer, env=env) as timer:
            timer.wait_loaded()
            topmost, slider, _ = controls(timer)
            check(enabled(topmost) and enabled(slider), "a mode is disabled on X")
            check(topmost.description == "", "항상 위 says %r on X" % topmost.description)
        # Unless the user names the platform.
        with Timer(args.timer, env=env, args=["-platform", "wayland"], x_window=False) as timer:
            timer.wait_loaded()
            topmost, slider, _ = controls(timer)
            check(not enabled(topmost) and not enabled(slider),
                  "-platform wayland did not run the clock on Wayland")
            check(not subprocess.run(["xdotool", "search", "--pid", str(timer.process.pid)],
                                     capture_output=True).stdout.split(),
                  "the clock made X windows under -platform wayland")


main([wayland_only_disables_what_it_cannot_do, with_x_offered_too_the_clock_runs_on_x])
