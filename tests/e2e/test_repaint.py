"""The window repaints only what changed from one tick to the next: after a
minute of ticks its labels must still show exactly what a window started
afresh at the same instant shows, without a compositor and with glowing text
under one. The window takes the size of a longer text on the tick that shows
it, and the labels follow a compositor that starts and stops."""
import datetime
import os
import time

import pyatspi
import pytest
from PIL import ImageChops

import xscreen
from clockapp import extents
from xsession import run, wait_for

# Ten seconds before a Friday ends (cycle second 2150): the countdowns tick,
# then the game clock wraps, the merchant moves on, and Saturday's longer
# weekday texts make the window grow.
START = datetime.datetime(2026, 12, 11, 23, 59, 50)
# Frames wholly on the screen: the clock moves a window whose frame is not.
LEFT, RIGHT = (20, 40), (660, 40)


@pytest.fixture
def clock(fake_clock):
    fake_clock.set(START)
    return fake_clock


@pytest.fixture
def start_at(clocks, clock):
    """Starts a clock, in a session of its own so that the second is no
    second start of the first, with its window at the place given."""
    def start(place):
        timer = clocks.start(clock=clock, own_session=True)
        run("xdotool", "windowmove", "--sync", str(timer.window_id), *map(str, place))
        wait_for(lambda: timer.geometry()[:2] == place, 5, what="the window at %r" % (place,))
        timer.settle()
        return timer
    return start


def label_boxes(timer):
    """Each label's box, relative to the window."""
    x0, y0, _, _ = timer.geometry()
    boxes = []
    for node in timer.accessibles(pyatspi.ROLE_LABEL):
        x, y, w, h = extents(node)
        boxes.append((node.name, (x - x0, y - y0, w, h)))
    return boxes


def differing_labels(shot, timer, reference):
    """The labels whose pixels differ between the two windows."""
    ax, ay, _, _ = timer.geometry()
    bx, by, _, _ = reference.geometry()
    mine, theirs = label_boxes(timer), label_boxes(reference)
    assert [box for _, box in mine] == [box for _, box in theirs], "the labels lie elsewhere"
    return [name for name, (x, y, w, h) in mine
            if ImageChops.difference(shot.image.crop((ax + x, ay + y, ax + x + w, ay + y + h)),
                                     shot.image.crop((bx + x, by + y, bx + x + w, by + y + h))
                                     ).getbbox()]


def tick_to(timer, clock, instant):
    """Moves the clock on and waits until the timer shows it."""
    before = timer.data_labels()
    clock.set(instant)
    wait_for(lambda: timer.data_labels() != before, 5, what="the timer to show %s" % instant)
    # The repaint comes in the same turn of the event loop as the texts.
    time.sleep(0.2)


def compare_with_a_fresh_window(timer, start_at, what, shots):
    reference = start_at(RIGHT)
    wait_for(lambda: reference.data_labels() == timer.data_labels(), 5,
             what="the same texts in both windows")
    assert reference.geometry()[2:] == timer.geometry()[2:], "%s: the window's size" % what
    xscreen.park_pointer()
    time.sleep(0.3)
    shot = xscreen.Shot()
    wrong = differing_labels(shot, timer, reference)
    if wrong:
        shot.save(os.path.join(shots, "repaint-%s.png" % what.replace(" ", "-")),
                  (0, 0, xscreen.SCREEN[0], 600))
    reference.stop()
    assert not wrong, "%s: stale pixels" % what


@pytest.mark.parametrize("composited", [False, True], ids=["no-compositor", "xcompmgr"])
def test_ticking_leaves_no_stale_pixels(request, start_at, clock, shots, composited):
    if composited:
        request.getfixturevalue("compositor")
    what = request.node.callspec.id
    timer = start_at(LEFT)
    size = timer.geometry()[2:]
    for second in range(1, 61):
        day = timer.data_labels()["dayName"]
        tick_to(timer, clock, START + datetime.timedelta(seconds=second))
        if timer.data_labels()["dayName"] != day:
            # Read from the program, which answers only after the tick:
            # its window already has the size the longer texts need.
            grown = extents(timer.frame())[2:]
            assert grown != size, "the window kept its size for a new day"
            compare_with_a_fresh_window(timer, start_at, "%s, new day" % what, shots)
            assert timer.geometry()[2:] == grown, "the window grew after the tick"
        elif second in (9, 11, 60):
            # 11 s: the second after midnight, when three digits of some
            # countdowns change at once ("36:00" to "35:59").
            compare_with_a_fresh_window(timer, start_at, "%s, %d s" % (what, second), shots)


def halo_pixels(timer, shot):
    """Pixels inside the labels lighter than the window's own colour: only
    glowing text has them."""
    x0, y0, _, _ = timer.geometry()
    background = max(shot.pixel(x0 + 2, y0 + 2))
    return sum(1 for _, (x, y, w, h) in label_boxes(timer)
               for p in shot.image.crop((x0 + x, y0 + y, x0 + x + w, y0 + y + h)).getdata()
               if min(p) > background + 4)


def test_labels_follow_the_compositor(start_at, clock):
    timer = start_at(LEFT)
    xscreen.park_pointer()
    assert halo_pixels(timer, xscreen.Shot()) == 0, "glow without a compositor"
    compositor = xscreen.start_compositor()
    try:
        tick_to(timer, clock, START + datetime.timedelta(seconds=1))
        wait_for(lambda: halo_pixels(timer, xscreen.Shot()) > 200, 3,
                 what="glowing labels under the compositor")
    finally:
        xscreen.stop_compositor(compositor)
    tick_to(timer, clock, START + datetime.timedelta(seconds=2))
    wait_for(lambda: halo_pixels(timer, xscreen.Shot()) == 0, 3,
             what="plain labels once the compositor has gone")
