"""The clock under test as a player meets it: the real binary, its window's
texts and controls read over AT-SPI (a label's accessible name is its text),
its X windows through xscreen, and real clicks and keys."""
import os
import re
import subprocess
import time

import pyatspi
from gi.repository import GLib
from Xlib import error as xerror

import xscreen
from fakeclock import running_from
from xscreen import click_at, key
from xsession import Failure, check, private_runtime_dir, stop_process, wait_for

DATA_LABELS = ["gameTime", "realTime", "moongate", "moongateRoute", "job",
               "dayName", "dayEffect", "dayItem", "merchant", "merchantNext",
               "merchantAfter"]


def environment(env=None):
    """The test's environment for a program on X, with env added; a value of
    None removes the variable."""
    result = dict(os.environ, QT_QPA_PLATFORM="xcb")
    result.update(env or {})
    return {k: v for k, v in result.items() if v is not None}


class Timer:
    """One running clock process and handles on its window."""

    def __init__(self, binary, title, fake_time=None, clock=None, tz="Asia/Seoul", env=None,
                 args=(), x_window=True, accessible=True, own_session=False, stderr=None):
        """fake_time starts the clock at that instant, running on; clock is a
        FakeClock. env adds to the environment (None removes a variable). With
        own_session it is no second start of the clocks before it.
        Without x_window the program is not looked for on the X server (a
        Wayland client); without accessible, not on the accessibility bus."""
        self.title = title
        own = {"TZ": tz, "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1"}
        if fake_time:
            own.update(running_from(fake_time))
        if clock:
            own.update(clock.env())
        if own_session:
            own["XDG_RUNTIME_DIR"] = private_runtime_dir()
        own.update(env or {})
        self.process = subprocess.Popen([binary, *args], env=environment(own), stderr=stderr)
        self.app = None
        self._tray_menu = None
        self._last_icon_click = 0
        try:
            if accessible:
                self.app = wait_for(self._find_app, 15, what="the clock on the accessibility bus")
            if x_window:
                self.refresh_window()
        except BaseException:
            self.stop()
            raise

    def _find_app(self):
        self.check_running()
        for app in pyatspi.Registry.getDesktop(0):
            try:
                if app is not None and app.get_process_id() == self.process.pid \
                        and app.childCount > 0:
                    return app
            except Exception:  # an application gone while being looked at
                pass
        return None

    def check_running(self):
        if self.process.poll() is not None:
            raise Failure("the clock exited with code %d" % self.process.returncode)

    def stop(self):
        stop_process(self.process)

    def exit_code(self, timeout=5):
        """Waits for the process to end by itself and returns its exit code."""
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            raise Failure("the clock still runs %ss later" % timeout)

    # --- the window as the accessibility bus sees it ------------------------

    def frame(self):
        return self.app.getChildAtIndex(0)

    def accessibles(self, role=None):
        """Every accessible below the window, in tree order."""
        return [n for n in descendants(self.frame()) if role is None or n.getRole() == role]

    def find(self, role, name=None):
        for node in self.accessibles(role):
            if name is None or node.name == name:
                return node
        return None

    def label_texts(self):
        return [label.name for label in self.accessibles(pyatspi.ROLE_LABEL)]

    def data_labels(self):
        """The eleven data labels by name, located by the captions around them."""
        texts = self.label_texts()
        check(len(texts) == 22, "expected 22 labels, found %d: %r" % (len(texts), texts))

        def after(caption, count):
            i = texts.index(caption)
            return texts[i + 1:i + 1 + count]

        game, real_caption, real = after("에린시간:", 3)
        check(real_caption == "현실시간:", "clock row out of order: %r" % texts)
        values = [game, real] + after("문게이트:", 2) + after("아르바이트:", 1) \
            + after("요일효과:", 2) + after("어드밴스트 아이템:", 1) + after("프라이스:", 3)
        return dict(zip(DATA_LABELS, values))

    def combo(self):
        combos = self.accessibles(pyatspi.ROLE_COMBO_BOX)
        check(len(combos) == 1, "expected one shop chooser")
        return combos[0]

    def wait_loaded(self):
        """Waits for the first refresh, after which the layout holds its texts."""
        wait_for(lambda: "loading..." not in self.label_texts(), 5, what="the first refresh")

    def settle(self):
        """Waits until the window is mapped and the toolkit knows where it is,
        so that accessible extents can be clicked."""
        wait_for(lambda: self.is_mapped() and extents(self.frame()) == self.geometry(), 10,
                 what="the window to be mapped and placed")

    def top_levels(self):
        """The application's shown windows other than the clock itself."""
        found = []
        for i in range(self.app.childCount):
            node = self.app.getChildAtIndex(i)
            try:
                if node is not None and node.name != self.title and \
                        node.getState().contains(pyatspi.STATE_SHOWING):
                    found.append(node)
            except Exception:  # gone while being looked at
                pass
        return found

    def alert(self):
        """The message box shown, if any."""
        for node in self.top_levels():
            if node.getRole() in (pyatspi.ROLE_ALERT, pyatspi.ROLE_DIALOG):
                return node
        return None

    # --- the window as X sees it ----------------------------------------------

    def refresh_window(self):
        """Finds the window again: the toolkit may re-create it under a new id."""
        def found():
            self.check_running()
            return xscreen.windows(of_pid=self.process.pid, name=re.escape(self.title),
                                   visible=False)
        self.window_id = wait_for(found, 10, what="the clock's window")[0]
        return self.window_id

    def geometry(self):
        return xscreen.geometry(self.window_id)

    def is_mapped(self):
        return xscreen.is_viewable(self.window_id)

    def is_active(self):
        return xscreen.active_window() == self.window_id

    def net_wm_state(self):
        return xscreen.net_wm_state(self.window_id)

    def wm_state(self):
        return xscreen.wm_state(self.window_id)

    def opacity(self):
        return xscreen.opacity(self.window_id)

    def x_windows(self):
        """The program's mapped X windows."""
        return xscreen.windows(of_pid=self.process.pid)

    def x_window_named(self, name):
        found = xscreen.windows(of_pid=self.process.pid, name=re.escape(name))
        return found[0] if found else None

    def balloons(self):
        """The balloon windows that the program draws itself."""
        return [w for w in self.x_windows()
                if "_NET_WM_WINDOW_TYPE_TOOLTIP" in xscreen.window_types(w)]

    def ask_to_close(self):
        """Closes the window through the window manager (Alt+F4 under
        openbox) and returns the message box that asks what to do."""
        # A key pressed before the window manager has moved the focus goes
        # to the window that had it, so wait for the focus, and press again
        # when no question came.
        for attempt in range(3):
            xscreen.activate(self.window_id)
            wait_for(self.is_active, 5, what="the window to take the focus")
            key("alt+F4")
            try:
                return wait_for(self.alert, 3, what="the question on closing")
            except Failure:
                if attempt == 2:
                    raise

    # --- the notification-area icon and its menu ----------------------------

    def tray_icon(self):
        """The icon's window once trayer has embedded it: the one of the
        program's windows that sits inside trayer's panel."""
        for w in self.x_windows():
            if w != self.window_id and any("trayer" in (xscreen.wm_class(a) or ())
                                           for a in xscreen.ancestors(w)):
                return w
        return None

    def click_tray_icon(self, button=1, repeat=1):
        # Two presses on the icon closer together than the double-click
        # interval (400 ms) make a double click, which opens no menu.
        pause = self._last_icon_click + 0.6 - time.monotonic()
        if pause > 0:
            time.sleep(pause)
        xscreen.click_window(wait_for(self.tray_icon, 10, what="the tray icon to be embedded"),
                             button=button, repeat=repeat)
        self._last_icon_click = time.monotonic()

    def popup_windows(self):
        """The program's shown menus: its mapped override-redirect windows
        other than the tray icon and balloons."""
        icon = self.tray_icon()
        return [w for w in self.x_windows() if w != icon and xscreen.is_override_redirect(w)
                and "_NET_WM_WINDOW_TYPE_TOOLTIP" not in xscreen.window_types(w)]

    def open_tray_menu(self):
        """Right-clicks the icon and returns the menu's entries as
        (role name, accessible name, states, accessible), in order."""
        self.click_tray_icon(button=3)
        wait_for(self.popup_windows, 5, what="the tray menu to open")
        if self._tray_menu is None:
            # A popup menu is no child of the application on the bus; it is
            # reached through the focus event of its first entry.
            item = await_event("object:state-changed:focused",
                               lambda node: node.getRole() == pyatspi.ROLE_MENU_ITEM,
                               lambda: key("Down"))
            self._tray_menu = item.parent
        return [(node.getRoleName(), node.name, states(node), node) for node in self._tray_menu]

    def close_tray_menu(self):
        key("Escape")
        wait_for(lambda: not self.popup_windows(), 5, what="the tray menu to close")

    def choose_from_tray_menu(self, name):
        """Opens the menu and clicks the entry with that accessible name."""
        for _, entry_name, _, node in self.open_tray_menu():
            if entry_name == name:
                click(node)
                wait_for(lambda: not self.popup_windows(), 5, what="the tray menu to close")
                return
        raise Failure("no tray menu entry %r" % name)


# --- accessibles ---------------------------------------------------------------

def extents(node):
    e = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return e.x, e.y, e.width, e.height


def center(node):
    x, y, w, h = extents(node)
    return x + w // 2, y + h // 2


def click(node, button=1):
    """A real pointer click at the middle of an accessible's extents."""
    click_at(*center(node), button=button)


def states(node):
    return {pyatspi.stateToString(s) for s in node.getState().getStates()}


def descendants(node):
    for child in node:
        if child is not None:
            yield child
            yield from descendants(child)


def buttons(node):
    return [n for n in descendants(node) if n.getRole() == pyatspi.ROLE_PUSH_BUTTON]


def texts(node):
    return [n.name for n in descendants(node) if n.getRole() == pyatspi.ROLE_LABEL]


def settle_dialog(dialog):
    """Waits until the toolkit knows where the window manager put a dialog,
    so that its buttons' extents can be clicked."""
    def placed():
        for w in xscreen.windows(name=re.escape(dialog.name)):
            try:
                if xscreen.geometry(w) == extents(dialog):
                    return True
            except xerror.XError:  # gone since it was listed
                pass
        return False
    wait_for(placed, 5, what="the dialog %r to be placed" % dialog.name)


TITLE_IN_BALLOONS = "타르베넬 타이머"


def balloon(timer):
    """The balloon message, when the program's own balloon window is shown."""
    if not timer.balloons():
        return None
    for node in timer.top_levels():
        if TITLE_IN_BALLOONS in texts(node):
            return node
    return None


def no_balloon(timer):
    return not timer.balloons() and \
        not any(TITLE_IN_BALLOONS in texts(node) for node in timer.top_levels())


# Qt's dialog buttons as its Korean translation names them.
YES, NO, CANCEL, OK = "예(Y)", "아니요(N)", "취소", "확인"


def press(dialog, name):
    """Clicks the dialog button of that name."""
    settle_dialog(dialog)
    for button in buttons(dialog):
        if button.name == name:
            click(button)
            return
    raise Failure("no button %r in %r" % (name, [b.name for b in buttons(dialog)]))


# --- accessibility events --------------------------------------------------

_events = []
_listening = set()


def _pump(seconds):
    context = GLib.MainContext.default()
    deadline = time.monotonic() + seconds
    while True:
        while context.iteration(False):
            pass
        if time.monotonic() >= deadline:
            return
        time.sleep(0.02)


def await_event(kind, accept, action, timeout=5.0):
    """Runs action and returns the source of the first event of that kind
    whose source accept() takes."""
    if kind not in _listening:
        pyatspi.Registry.registerEventListener(_events.append, kind)
        _listening.add(kind)
        # The program sends an event only once it has heard that somebody
        # listens for it.
        _pump(0.5)
    _pump(0)
    del _events[:]
    action()
    deadline = time.monotonic() + timeout
    while True:
        _pump(0.1)
        for event in _events:
            try:
                if accept(event.source):
                    return event.source
            except Exception:  # a source gone since the event
                pass
        if time.monotonic() > deadline:
            raise Failure("no %s event arrived" % kind)
