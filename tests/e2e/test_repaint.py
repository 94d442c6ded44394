"""The window repaints only what changed from one tick to the next: after a
minute of ticks its labels must still show exactly what a window started
afresh at the same instant shows, without a compositor and with glowing text
under one. The window takes the size of a longer text on the tick that shows
it, and the labels follow a compositor that starts and stops."""
import argparse
import datetime
import os
import tempfile
import time

import pyatspi

from harness import (Shot, Timer, check, extents, faketime_file, main, private_runtime_dir, run,
                     start_compositor, stop_compositor, wait_for)

# Ten seconds before a Friday ends (cycle second 2150): the countdowns tick,
# then the game clock wraps, the merchant moves on, and Saturday's longer
# weekday texts make the window grow.
START = datetime.datetime(2026, 12, 11, 23, 59, 50)
WINDOW_PLACES = [(0, 0), (640, 0)]

parser = argparse.ArgumentParser()
parser.add_argument("--timer", required=True)
parser.add_argument("--shots", required=True)
args = parser.parse_args()
os.makedirs(args.shots, exist_ok=True)


class Clock:
    """The faked instant both timers read, standing still until moved."""

    def __init__(self):
        self.file = tempfile.NamedTemporaryFile("w", suffix=".faketime")
        self.set(START)

    def set(self, instant):
        self.now = instant
        self.file.seek(0)
        self.file.truncate()
        self.file.write(instant.strftime("%Y-%m-%d %H:%M:%S") + "\n")
        self.file.flush()

    def close(self):
        self.file.close()


def start_timer(clock, place):
    # A session of its own for each, so that the second is no second start
    # of the first.
    timer = Timer(args.timer, env=dict(faketime_file(clock.file.name),
                                       XDG_RUNTIME_DIR=private_runtime_dir()))
    try:
        timer.settle()
        run("xdotool", "windowmove", "--sync", str(timer.window_id), *map(str, place))
        wait_for(lambda: timer.geometry()[:2] == place, 5, what="the window at %r" % (place,))
        timer.settle()
        timer.wait_loaded()
    except BaseException:
        timer.stop()
        raise
    return timer


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
    check([box for _, box in mine] == [box for _, box in theirs],
          "the labels lie elsewhere: %r against %r" % (mine, theirs))
    wrong = []
    for name, (x, y, w, h) in mine:
        for py in range(y, y + h):
            if any(shot.pixel(ax + px, ay + py) != shot.pixel(bx + px, by + py)
                   for px in range(x, x + w)):
                wrong.append(name)
                break
    return wrong


def tick_to(timer, clock, instant):
    """Moves the clock on and waits until the timer shows it."""
    before = timer.data_labels()
    clock.set(instant)
    wait_for(lambda: timer.data_labels() != before, 5,
             what="the timer to show %s" % instant)
    # The repaint comes in the same turn of the event loop as the texts.
    time.sleep(0.2)


def compare_with_a_fresh_window(timer, clock, what):
    reference = start_timer(clock, WINDOW_PLACES[1])
    try:
        wait_for(lambda: reference.data_labels() == timer.data_labels(), 5,
                 what="the same texts in both windows")
        check(reference.geometry()[2:] == timer.geometry()[2:],
              "%s: window %r, a fresh one %r" % (what, timer.geometry()[2:],
                                                   reference.geometry()[2:]))
        run("xdotool", "mousemove", "1279", "1023")
        time.sleep(0.3)
        shot = Shot()
        wrong = differing_labels(shot, timer, reference)
        if wrong:
            shot.save(os.path.join(args.shots, "repaint-%s.png" % what.replace(" ", "-")),
                      (0, 0, 1280, 600))
        check(not wrong, "%s: stale pixels in %r" % (what, wrong))
    finally:
        reference.stop()


def tick_through_a_minute(what):
    clock = Clock()
    timer = start_timer(clock, WINDOW_PLACES[0])
    try:
        size = timer.geometry()[2:]
        for second in range(1, 61):
            instant = START + datetime.timedelta(seconds=second)
            day = timer.data_labels()["dayName"]
            tick_to(timer, clock, instant)
            if timer.data_labels()["dayName"] != day:
                # Read from the program, which answers only after the tick:
                # its window already has the size the longer texts need.
                e = timer.frame().queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
                grown = (e.width, e.height)
                check(grown != size, "the window kept its size %r for a new day" % (size,))
                compare_with_a_fresh_window(timer, clock, "%s, new day" % what)
                check(timer.geometry()[2:] == grown, "the window grew after the tick")
            elif second in (9, 11, 60):
                # 11 s: the second after midnight, when three digits of some
                # countdowns change at once ("36:00" to "35:59").
                compare_with_a_fresh_window(timer, clock, "%s, %d s" % (what, second))
    finally:
        timer.stop()
        clock.close()


def ticking_leaves_no_stale_pixels():
    tick_through_a_minute("no compositor")


def glowing_ticks_leave_no_stale_pixels():
    with start_compositor():
        tick_through_a_minute("xcompmgr")


def halo_pixels(timer, shot):
    """Pixels inside the labels lighter than the window's own colour: only
    glowing text has them."""
    x0, y0, _, _ = timer.geometry()
    background = max(shot.pixel(x0 + 2, y0 + 2))
    count = 0
    for _, (x, y, w, h) in label_boxes(timer):
        for py in range(y0 + y, y0 + y + h):
            for px in range(x0 + x, x0 + x + w):
                if min(shot.pixel(px, py)) > background + 4:
                    count += 1
    return count


def labels_follow_the_compositor():
    clock = Clock()
    timer = start_timer(clock, WINDOW_PLACES[0])
    try:
        run("xdotool", "mousemove", "1279", "1023")
        check(halo_pixels(timer, Shot()) == 0, "glow without a compositor")
        compositor = start_compositor()
        try:
            tick_to(timer, clock, START + datetime.timedelta(seconds=1))
            wait_for(lambda: halo_pixels(timer, Shot()) > 200, 3,
                     what="glowing labels under the compositor")
        finally:
            stop_compositor(compositor)
        tick_to(timer, clock, START + datetime.timedelta(seconds=2))
        wait_for(lambda: halo_pixels(timer, Shot()) == 0, 3,
                 what="plain labels once the compositor has gone")
    finally:
        timer.stop()
        clock.close()


main([ticking_leaves_no_stale_pixels, glowing_ticks_leave_no_stale_pixels,
      labels_follow_the_compositor])
