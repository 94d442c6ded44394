"""One clock per session on Windows: the shipped timer.exe started again
and again in one prefix under Wine, on an X server with openbox and trayer.
A later start hands over to the running clock and ends with 0; the clock
comes to the front, also from the tray; starts at once leave one clock; and
a clock killed outright leaves nothing behind that blocks the next start."""
import os
import shutil
import time

from winx import (TITLE, Failure, activate, active_window, check, harness, is_viewable, run,
                  session, settle, stacking, start_with_tray_icon, wait_for, window_titled,
                  windows_titled, winharness)

QUESTION_TITLE = "확인"
# A later start either hands over at once or gives up after its own 10 s.
HAND_OVER_TIMEOUT = 60

args, work, folder, prefix = session("e2e_instance")


def start_timer():
    return winharness.Program(prefix, os.path.join(folder, "timer.exe"), cwd=folder,
                              env={"WINEPATH": ""})


def clocks():
    return windows_titled(TITLE)


def start_again():
    """A start beside a running clock: it must end by itself, with 0."""
    later = start_timer()
    try:
        code = later.exit_code(HAND_OVER_TIMEOUT)
        check(code == 0, "a start beside a running clock exited with %d: %s" % (code, later.log()))
    finally:
        later.stop()


class Cover(harness.Helper):
    """A plain window over the clock's place, with the focus."""

    def __init__(self, over):
        x, y, w, h = harness.window_geometry(over)
        super().__init__("xmessage", "-name", "cover", "-geometry",
                         "%dx%d+%d+%d" % (w + 200, h + 200, max(0, x - 100), max(0, y - 100)),
                         "a window over the clock")
        try:
            self.window = int(wait_for(lambda: run("xdotool", "search", "--onlyvisible",
                                                   "--classname", "^cover$",
                                                   check_rc=False).split(), 10,
                                       what="the covering window")[0])
            activate(self.window)
            wait_for(lambda: in_front(self.window), 10, what="the covering window in front")
        except BaseException:
            self.stop()
            raise


def in_front(window, other=None, focused=True):
    """The window lies above the other one, and has the focus."""
    order = stacking()
    if (focused and active_window() != window) or window not in order:
        return False
    return other is None or (other in order and order.index(window) > order.index(other))


def comes_to_front(window, cover, focused=True):
    try:
        wait_for(lambda: is_viewable(window) and in_front(window, cover.window, focused), 15)
    except Failure:
        raise Failure("the clock (%#x, %s) is not in front of the covering window (%#x): "
                      "the active window is %#x, the stacking from the bottom %s" %
                      (window, "shown" if is_viewable(window) else "not shown", cover.window,
                       active_window() or 0, ", ".join("%#x" % w for w in stacking())))


def hide_to_tray(window, timer):
    """No to the close question: the clock goes on in the tray."""
    activate(window)
    harness.key("alt+F4")
    question = window_titled(QUESTION_TITLE, 15)
    activate(question)
    harness.key("n")
    wait_for(lambda: not is_viewable(window), 10, what="the window to hide")
    check(timer.running(), "answering No ended the clock")


def a_later_start_brings_the_running_clock_to_the_front():
    timer, window, _ = start_with_tray_icon(start_timer, TITLE)
    try:
        settle(window)
        check(len(clocks()) == 1, "%d clock windows after one start" % len(clocks()))

        # Behind another window: a later start hands over and the clock is
        # raised. Wine 8 never asks the window manager to activate a window
        # that is already mapped, so the focus stays where it was here.
        with Cover(window) as cover:
            start_again()
            comes_to_front(window, cover, focused=False)
        check(clocks() == [window], "clock windows after a second start: %r" % clocks())
        check(timer.running(), "the first clock ended")

        # Hidden to the tray, with another window in front: a start shows it
        # again, in front.
        hide_to_tray(window, timer)
        with Cover(window) as cover:
            start_again()
            comes_to_front(window, cover)
            harness.screenshot(os.path.join(args.shots, "wine-instance-front.png"))
        check(clocks() == [window], "clock windows after a start from the tray: %r" % clocks())
        check(timer.running(), "the clock in the tray ended")
    except BaseException:
        print(timer.log())
        raise
    finally:
        timer.stop()
        prefix.stop()


def a_killed_clock_does_not_block_the_next_start():
    killed = start_timer()
    try:
        window_titled(TITLE, 60)
    finally:
        # SIGKILL to the process itself: wine execs into the program.
        killed.stop()
    wait_for(lambda: not clocks(), 20, what="the killed clock's window to go")

    timer = start_timer()
    try:
        window = window_titled(TITLE, 60)
        # Still running a while later: it took the session rather than
        # finding a clock that cannot answer.
        time.sleep(2)
        code = timer.process.poll()
        check(code is None, "the start after a killed clock exited with %s: %s" %
              (code, timer.log()))
        check(clocks() == [window], "clock windows: %r" % clocks())
    finally:
        timer.stop()
        prefix.stop()


def four_starts_at_once_end_with_one_clock():
    starts = [start_timer() for _ in range(4)]
    try:
        wait_for(lambda: sum(not s.running() for s in starts) >= 3, 120,
                 what="three of the four starts to end")
        ended = [s for s in starts if not s.running()]
        codes = [s.process.returncode for s in ended]
        check(len(ended) == 3 and codes == [0, 0, 0],
              "the starts at once ended with %r: %s" % (codes, starts[0].log()))
        window = window_titled(TITLE, 60)
        settle(window)
        check(clocks() == [window], "clock windows after four starts at once: %r" % clocks())
        check(any(s.running() for s in starts), "no clock runs after four starts at once")
    finally:
        for s in starts:
            s.stop()
        prefix.stop()


tray = harness.start_tray()
try:
    harness.main([a_later_start_brings_the_running_clock_to_the_front,
                  a_killed_clock_does_not_block_the_next_start,
                  four_starts_at_once_end_with_one_clock])
finally:
    prefix.stop()
    tray.stop()
    shutil.rmtree(work, ignore_errors=True)
