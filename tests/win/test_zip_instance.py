"""One clock per session on Windows: the shipped timer.exe started again
and again in one prefix under Wine, on an X server with openbox and trayer.
A later start hands over to the running clock and ends with 0; the clock
comes to the front, also from the tray; starts at once leave one clock; a
clock killed outright leaves nothing behind that blocks the next start; and
a clock that hangs is told of in a message box."""
import contextlib
import os
import time

import project
import winx
import xscreen
from project import TITLE
from xsession import Failure, Helper, wait_for

# A later start either hands over at once or gives up after its own 10 s.
HAND_OVER_TIMEOUT = 60


def clocks():
    return winx.windows_titled(TITLE)


def start_again(start_timer):
    """A start beside a running clock: it must end by itself, with 0."""
    assert start_timer().exit_code(HAND_OVER_TIMEOUT) == 0, \
        "a start beside a running clock failed"


@contextlib.contextmanager
def cover(over):
    """A plain window over the clock's place, with the focus."""
    x, y, w, h = xscreen.geometry(over)
    with Helper("xmessage", "-name", "cover", "-title", "cover", "-geometry",
                "%dx%d+%d+%d" % (w + 200, h + 200, max(0, x - 100), max(0, y - 100)),
                "a window over the clock"):
        window = wait_for(lambda: xscreen.windows(name="cover", class_name="Xmessage"), 10,
                          what="the covering window")[0]
        xscreen.activate(window)
        wait_for(lambda: in_front(window), 10, what="the covering window in front")
        yield window


def in_front(window, other=None, focused=True):
    """The window lies above the other one, and has the focus."""
    order = xscreen.stacking()
    if (focused and xscreen.active_window() != window) or window not in order:
        return False
    return other is None or (other in order and order.index(window) > order.index(other))


def comes_to_front(window, covering, focused=True):
    try:
        wait_for(lambda: xscreen.is_viewable(window) and in_front(window, covering, focused), 15)
    except Failure:
        raise Failure("the clock (%#x, %s) is not in front of the covering window (%#x): "
                      "the active window is %#x, the stacking from the bottom %s" %
                      (window, "shown" if xscreen.is_viewable(window) else "not shown",
                       covering, xscreen.active_window() or 0,
                       ", ".join("%#x" % w for w in xscreen.stacking())))


def test_a_later_start_brings_the_running_clock_to_the_front(start_timer, start_with_tray_icon,
                                                             shots):
    timer, window, _ = start_with_tray_icon(start_timer)
    winx.settle(window)
    assert len(clocks()) == 1, "clock windows after one start"

    # Behind another window: a later start hands over and the clock is
    # raised. Wine 8 never asks the window manager to activate a window that
    # is already mapped, so the focus stays where it was here.
    with cover(window) as covering:
        start_again(start_timer)
        comes_to_front(window, covering, focused=False)
    assert clocks() == [window], "clock windows after a second start"
    assert timer.running(), "the first clock ended"

    # Hidden to the tray, with another window in front: a start shows it
    # again, in front.
    winx.answer_close_question(window, "n")
    wait_for(lambda: not xscreen.is_viewable(window), 10, what="the window to hide")
    assert timer.running(), "answering No ended the clock"
    with cover(window) as covering:
        start_again(start_timer)
        comes_to_front(window, covering)
        xscreen.Shot().save(os.path.join(shots, "wine-instance-front.png"))
    assert clocks() == [window], "clock windows after a start from the tray"
    assert timer.running(), "the clock in the tray ended"


def test_a_killed_clock_does_not_block_the_next_start(start_timer):
    killed = start_timer()
    winx.window_titled(TITLE, 60)
    killed.stop()
    wait_for(lambda: not clocks(), 20, what="the killed clock's window to go")

    timer = start_timer()
    window = winx.window_titled(TITLE, 60)
    # Still running a while later: it took the session rather than finding a
    # clock that cannot answer.
    time.sleep(2)
    assert timer.process.poll() is None, "the start after a killed clock exited"
    assert clocks() == [window]


def test_four_starts_at_once_end_with_one_clock(start_timer):
    starts = [start_timer() for _ in range(4)]
    wait_for(lambda: sum(not s.running() for s in starts) >= 3, 120,
             what="three of the four starts to end")
    assert [s.process.returncode for s in starts if not s.running()] == [0, 0, 0]
    window = winx.window_titled(TITLE, 60)
    winx.settle(window)
    assert clocks() == [window], "clock windows after four starts at once"
    assert any(s.running() for s in starts), "no clock runs after four starts at once"


def test_a_hung_clock_is_said_in_a_message_box(launch, start_timer, stand_in, shots):
    hung = launch(stand_in, project.APP_ID, "hung")
    wait_for(lambda: "ready" in hung.log(), 30, what="the hung stand-in")
    timer = start_timer()
    # Nobody reads a Windows program's standard error.
    box = winx.window_titled("타르베넬 타이머", HAND_OVER_TIMEOUT)
    xscreen.Shot().save(os.path.join(shots, "wine-no-answer.png"))
    xscreen.activate(box)
    xscreen.key("Return")
    assert timer.exit_code(10) == 1
    assert "does not answer" in timer.log()
