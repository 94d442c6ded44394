"""Windows programs under Wine as the X server shows them: the clock's
window, the popups Wine maps for a program, the tray icon Wine's desktop
process docks into trayer and the balloons it draws beside it.

Wine's windows are invisible to AT-SPI, so they are found by title and
class and read from their X properties and the screen's pixels."""
import re
import time
import warnings

import xscreen
from xsession import Failure, wait_for

QUESTION_TITLE = "확인"


class WineFlake(UserWarning):
    """Wine did not do what it does only some of the time, and was asked
    again: the reason shows in pytest's summary."""


def retried(message):
    warnings.warn(WineFlake(message), stacklevel=2)


def windows_titled(title):
    return xscreen.windows(name=re.escape(title))


def window_titled(title, timeout=30):
    return wait_for(lambda: (windows_titled(title) or [None])[0], timeout,
                    what="a window titled %r" % title)


def popups(program):
    """The shown windows of a program (by its executable's name) that Wine
    maps override-redirect: menus, tooltips, balloons."""
    return [w for w in xscreen.windows(class_name=program) if xscreen.is_override_redirect(w)]


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
    panels = set(xscreen.windows(class_name="trayer", visible=False))
    for icon in xscreen.windows(class_name="explorer.exe", visible=False):
        if panels.intersection(xscreen.ancestors(icon)):
            x, y, w, h = xscreen.geometry(icon)
            if len(set(xscreen.Shot().image.crop((x, y, x + w, y + h)).getdata())) > 10:
                return icon
    return None


def settle(window, steady=2.0, timeout=30):
    """Waits until the window has kept its geometry for a while: it follows
    its texts, and grows at the first refresh after it was first shown.
    Returns the geometry."""
    deadline = time.monotonic() + timeout
    last, since = None, time.monotonic()
    while True:
        now = xscreen.geometry(window)
        if now != last:
            last, since = now, time.monotonic()
        elif time.monotonic() - since >= steady:
            return now
        if time.monotonic() > deadline:
            raise Failure("the window kept changing its geometry for %d s" % timeout)
        time.sleep(0.2)


def answer_close_question(window, answer, shot=None):
    """Alt+F4 on the clock, and a key to the question it asks; the screen
    with the question goes to the file shot."""
    xscreen.activate(window)
    xscreen.key("alt+F4")
    question = window_titled(QUESTION_TITLE, 15)
    if shot:
        xscreen.Shot().save(shot)
    xscreen.activate(question)
    xscreen.key(answer)


def open_menu(click, where, attempts=3):
    """Clicks until the clock shows a menu: Wine passes a right click on to
    the program only most of the time (about two of three here)."""
    for attempt in range(1, attempts + 1):
        click()
        try:
            return wait_for(popup_menus, 5, what="the menu of " + where)
        except Failure:
            retried("right click %d of %d on %s: no menu" % (attempt, attempts, where))
    raise Failure("no menu after %d right clicks on %s" % (attempts, where))
