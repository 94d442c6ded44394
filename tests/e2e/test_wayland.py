"""The clock on Wayland: weston (headless) beside the private X server.
On a Wayland-only session the modes the compositor cannot honour are shown
disabled with the reason; where X is offered too, the clock runs on X."""
import pyatspi

import xscreen
from clockapp import states

REASON = "이 데스크톱(Wayland)에서는 지원되지 않습니다."


def controls(timer):
    topmost = timer.find(pyatspi.ROLE_CHECK_BOX, "항상 위")
    slider = timer.find(pyatspi.ROLE_SLIDER)
    glass = timer.find(pyatspi.ROLE_CHECK_BOX, "Vista GlassFrame")
    assert topmost is not None and slider is not None, "the bottom row is incomplete"
    return topmost, slider, glass


def enabled(node):
    return "enabled" in states(node) and "sensitive" in states(node)


def test_wayland_only_disables_what_it_cannot_do(weston, clocks):
    timer = clocks.start(env={"DISPLAY": None, "QT_QPA_PLATFORM": None,
                              "WAYLAND_DISPLAY": weston}, x_window=False)
    labels = timer.data_labels()
    assert all(text and text != "loading..." for text in labels.values()), labels
    topmost, slider, glass = controls(timer)
    assert not enabled(topmost), "항상 위 is enabled on Wayland"
    assert topmost.description == "창을 항상 위에 두는 기능은 " + REASON
    assert not enabled(slider), "the opacity slider is enabled on Wayland"
    assert slider.description == "창 투명도 조절은 " + REASON
    # Every Wayland compositor composites: the glass steps stay.
    assert glass is not None and enabled(glass), "Vista GlassFrame is missing or disabled"


def test_with_x_offered_too_the_clock_runs_on_x(weston, clocks):
    env = {"QT_QPA_PLATFORM": None, "WAYLAND_DISPLAY": weston}
    timer = clocks.start(env=env)
    topmost, slider, _ = controls(timer)
    assert enabled(topmost) and enabled(slider), "a mode is disabled on X"
    assert topmost.description == "", "항상 위 has a reason on X"
    timer.stop()
    # Unless the user names the platform.
    timer = clocks.start(env=env, args=["-platform", "wayland"], x_window=False)
    topmost, slider, _ = controls(timer)
    assert not enabled(topmost) and not enabled(slider), \
        "-platform wayland did not run the clock on Wayland"
    assert not xscreen.windows(of_pid=timer.process.pid, visible=False), \
        "the clock made X windows under -platform wayland"
