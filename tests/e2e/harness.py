"""Drives the real timer binary on the X session that xsession.sh provides.

The window's texts are read back over AT-SPI (a label's accessible name is
its text), its X properties with xprop, and its pixels with ImageMagick.
"""
import ctypes
import os
import re
import struct
import subprocess
import sys
import tempfile
import time
import zlib

import pyatspi
from gi.repository import GLib

TITLE = "Tarvenel Timer v0.3.1"
CAPTIONS = ["에린시간:", "현실시간:", "문게이트:", "아르바이트:", "요일효과:",
            "어드밴스트 아이템:", "프라이스:", "플레타:"]
DATA_LABELS = ["gameTime", "realTime", "moongate", "moongateRoute", "job",
               "dayName", "dayEffect", "dayItem", "merchant", "merchantNext",
               "merchantAfter"]


FAKETIME_LIBRARY = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"


def faketime_file(path):
    """Environment for a timer whose clock stands still at the instant that
    the file names ("YYYY-MM-DD hh:mm:ss"), read anew at each look, so that a
    test moves it by rewriting the file. Its timers keep running."""
    return {"LD_PRELOAD": FAKETIME_LIBRARY, "FAKETIME_TIMESTAMP_FILE": path,
            "FAKETIME_NO_CACHE": "1", "FAKETIME_DONT_FAKE_MONOTONIC": "1"}


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_for(predicate, timeout=10.0, interval=0.1, what="condition"):
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure("timed out waiting for " + what)
        time.sleep(interval)


def run(*args, check_rc=True, timeout=30):
    try:
        result = subprocess.run(args, capture_output=True, text=True, timeout=timeout)
    except subprocess.TimeoutExpired:
        raise Failure("%s did not finish within %ss" % (" ".join(args), timeout))
    if check_rc and result.returncode != 0:
        raise Failure("%s failed: %s" % (" ".join(args), result.stderr.strip()))
    return result.stdout


def private_runtime_dir():
    """A fresh XDG_RUNTIME_DIR, for a clock that must not meet the session's;
    inside the session's own, which xsession.sh removes."""
    path = tempfile.mkdtemp(prefix="runtime", dir=os.environ.get("XDG_RUNTIME_DIR"))
    os.chmod(path, 0o700)
    return path


def stop_process(process):
    """Terminates a process we started, and kills it if it lingers."""
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(5)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


class Timer:
    """One running timer process and handles on its window."""

    def __init__(self, binary, fake_time=None, tz="Asia/Seoul", env=None, args=(),
                 x_window=True, stderr=None):
        """env adds to the environment; a value of None removes the variable.
        Without x_window the program is not looked for on the X server (a
        Wayland client)."""
        environment = dict(os.environ)
        environment.update({"TZ": tz, "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
                            "QT_QPA_PLATFORM": "xcb"})
        environment.update(env or {})
        environment = {k: v for k, v in environment.items() if v is not None}
        if fake_time:
            # libfaketime preloaded directly rather than through the faketime
            # wrapper, so that the process found on the bus is the timer itself.
            # Starting at the given instant, the clock keeps running.
            environment.update({"LD_PRELOAD": FAKETIME_LIBRARY,
                                "FAKETIME": "@" + fake_time})
        self.process = subprocess.Popen([binary, *args], env=environment, stderr=stderr)
        try:
            self.app = wait_for(self._find_app, 15, what="timer on the accessibility bus")
            if x_window:
                self.window_id = int(wait_for(self._find_window, 10, what="the timer window"), 0)
        except BaseException:
            self.stop()
            raise

    def _find_app(self):
        self.check_running()
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            try:
                if app is not None and app.get_process_id() == self.process.pid \
                        and app.childCount > 0:
                    return app
            except Exception:
                pass
        return None

    def _find_window(self):
        out = run("xdotool", "search", "--all", "--pid", str(self.process.pid),
                  "--name", "^" + re.escape(TITLE) + "$", check_rc=False).split()
        return out[0] if out else None

    def check_running(self):
        if self.process.poll() is not None:
            raise Failure("timer exited with code %d" % self.process.returncode)

    def frame(self):
        return self.app.getChildAtIndex(0)

    def accessibles(self, role=None):
        """Every accessible below the window, in tree order."""
        found = []

        def walk(node):
            for child in node:
                if child is None:
                    continue
                if role is None or child.getRole() == role:
                    found.append(child)
                walk(child)
        walk(self.frame())
        return found

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

    def xprop(self, *props):
        return run("xprop", "-id", str(self.window_id), *props)

    def geometry(self):
        out = run("xwininfo", "-id", str(self.window_id))
        get = lambda key: int(re.search(key + r":\s+(-?\d+)", out).group(1))
        return get("Absolute upper-left X"), get("Absolute upper-left Y"), \
            get("Width"), get("Height")

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()

    def exit_code(self, timeout=5):
        """Waits for the process to end by itself and returns its exit code."""
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            raise Failure("timer still runs %ss later" % timeout)

    # --- the window as X and the accessibility bus see it -------------------

    def refresh_window(self):
        """Finds the window again: the toolkit may re-create it under a new id."""
        self.window_id = int(wait_for(self._find_window, 10, what="the timer window"), 0)
        return self.window_id

    def is_mapped(self):
        out = run("xwininfo", "-id", str(self.window_id), check_rc=False)
        return "Map State: IsViewable" in out

    def net_wm_state(self):
        return set(re.findall(r"_NET_WM_STATE_\w+", self.xprop("_NET_WM_STATE")))

    def wm_state(self):
        """"Normal", "Iconic", "Withdrawn", or None when the property is absent."""
        m = re.search(r"window state: (\w+)", self.xprop("WM_STATE"))
        return m.group(1) if m else None

    def opacity(self):
        """_NET_WM_WINDOW_OPACITY as a fraction, or None when it is absent."""
        m = re.search(r"= (\d+)", self.xprop("_NET_WM_WINDOW_OPACITY"))
        return int(m.group(1)) / 0xffffffff if m else None

    def is_active(self):
        m = re.search(r"window id # (0x[0-9a-f]+)", run("xprop", "-root", "_NET_ACTIVE_WINDOW"))
        return bool(m) and int(m.group(1), 16) == self.window_id

    def settle(self):
        """Waits until the window is mapped and the toolkit knows where it is,
        so that accessible extents can be clicked."""
        def placed():
            if not self.is_mapped():
                return False
            e = self.frame().queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
            return (e.x, e.y, e.width, e.height) == self.geometry()
        wait_for(placed, 10, what="the window to be mapped and placed")

    def wait_loaded(self):
        """Waits for the first refresh, after which the layout holds its texts."""
        wait_for(lambda: "loading..." not in self.label_texts(), 5, what="the first refresh")

    def find(self, role, name=None):
        for node in self.accessibles(role):
            if name is None or node.name == name:
                return node
        return None

    def top_levels(self):
        """The application's shown windows other than the clock itself."""
        found = []
        for i in range(self.app.childCount):
            node = self.app.getChildAtIndex(i)
            try:
                if node is not None and node.name != TITLE and \
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

    def x_windows(self):
        """The program's mapped X windows."""
        return [int(w) for w in run("xdotool", "search", "--onlyvisible", "--pid",
                                    str(self.process.pid), check_rc=False).split()]

    def x_windows_of_type(self, window_type):
        return [w for w in self.x_windows()
                if window_type in run("xprop", "-id", str(w), "_NET_WM_WINDOW_TYPE",
                                      check_rc=False)]

    def x_window_named(self, name):
        out = run("xdotool", "search", "--all", "--onlyvisible", "--pid", str(self.process.pid),
                  "--name", "^" + re.escape(name) + "$", check_rc=False).split()
        return int(out[0]) if out else None

    def ask_to_close(self):
        """Closes the window through the window manager (Alt+F4 under
        openbox) and returns the message box that asks what to do."""
        run("xdotool", "windowactivate", "--sync", str(self.window_id))
        key("alt+F4")
        return wait_for(self.alert, 5, what="the question on closing")

    def balloons(self):
        """The balloon windows that the program draws itself."""
        return self.x_windows_of_type("_NET_WM_WINDOW_TYPE_TOOLTIP")

    # --- the notification-area icon and its menu ----------------------------

    def tray_icon(self):
        """The icon's window once trayer has embedded it: the one of the
        program's windows that sits inside trayer's panel."""
        for w in self.x_windows():
            if w != self.window_id and any(
                    '"trayer"' in run("xprop", "-id", str(a), "WM_CLASS", check_rc=False)
                    for a in x_ancestors(w)):
                return w
        return None

    def tray_icon_point(self):
        icon = wait_for(self.tray_icon, 10, what="the tray icon to be embedded")
        x, y, w, h = window_geometry(icon)
        return x + w // 2, y + h // 2

    def click_tray_icon(self, button=1, repeat=1):
        # Two presses on the icon closer together than the double-click
        # interval (400 ms) make a double click, which opens no menu.
        pause = getattr(self, "_last_icon_click", 0) + 0.6 - time.monotonic()
        if pause > 0:
            time.sleep(pause)
        click_at(*self.tray_icon_point(), button=button, repeat=repeat)
        self._last_icon_click = time.monotonic()

    def popup_windows(self):
        """The program's shown menus: its mapped override-redirect windows
        other than the tray icon and balloons."""
        icon = self.tray_icon()
        return [w for w in self.x_windows() if w != icon and "Override Redirect State: yes"
                in run("xwininfo", "-id", str(w), check_rc=False)
                and "_NET_WM_WINDOW_TYPE_TOOLTIP" not in
                run("xprop", "-id", str(w), "_NET_WM_WINDOW_TYPE", check_rc=False)]

    def open_tray_menu(self):
        """Right-clicks the icon and returns the menu's entries as
        (role name, accessible name, states, accessible), in order."""
        self.click_tray_icon(button=3)
        wait_for(self.popup_windows, 5, what="the tray menu to open")
        if getattr(self, "_tray_menu", None) is None:
            # A popup menu is no child of the application on the bus; it is
            # reached through the focus event of its first entry.
            item = await_event("object:state-changed:focused",
                               lambda node: node.getRole() == pyatspi.ROLE_MENU_ITEM,
                               lambda: key("Down"))
            self._tray_menu = item.parent
        return [(node.getRoleName(), node.name, states(node), node)
                for node in self._tray_menu]

    def choose_from_tray_menu(self, name):
        """Opens the menu and clicks the entry with that accessible name."""
        for _, entry_name, _, node in self.open_tray_menu():
            if entry_name == name:
                click(node)
                wait_for(lambda: not self.popup_windows(), 5, what="the tray menu to close")
                return
        raise Failure("no tray menu entry %r" % name)

    def stop(self):
        stop_process(self.process)


def screenshot(path):
    run("import", "-window", "root", path)


# --- input ---------------------------------------------------------------

def click_at(x, y, button=1, repeat=1):
    args = ["xdotool", "mousemove", str(x), str(y), "click"]
    if repeat > 1:
        args += ["--repeat", str(repeat), "--delay", "80"]
    run(*args, str(button))


def center(node):
    e = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return e.x + e.width // 2, e.y + e.height // 2


def extents(node):
    e = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return e.x, e.y, e.width, e.height


def click(node, button=1):
    """A real pointer click at the middle of an accessible's extents."""
    click_at(*center(node), button=button)


def key(*keys):
    run("xdotool", "key", *keys)


def states(node):
    return {pyatspi.stateToString(s) for s in node.getState().getStates()}


def stays(predicate, seconds, what):
    """Checks that predicate holds throughout the given time."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        check(predicate(), what)
        time.sleep(0.1)


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
        shown = run("xdotool", "search", "--onlyvisible", "--name",
                    "^%s$" % re.escape(dialog.name), check_rc=False).split()
        return any(window_geometry(int(w)) == extents(dialog) for w in shown)
    wait_for(placed, 5, what="the dialog %r to be placed" % dialog.name)


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
            except Exception:
                pass
        if time.monotonic() > deadline:
            raise Failure("no %s event arrived" % kind)


# --- other X clients ---------------------------------------------------------

_libx11 = None


def selection_owner(name):
    """The window owning an X selection (0 for none), e.g. _NET_WM_CM_S0."""
    global _libx11
    if _libx11 is None:
        lib = ctypes.CDLL("libX11.so.6")
        lib.XOpenDisplay.restype = ctypes.c_void_p
        lib.XOpenDisplay.argtypes = [ctypes.c_char_p]
        lib.XInternAtom.restype = ctypes.c_ulong
        lib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        lib.XGetSelectionOwner.restype = ctypes.c_ulong
        lib.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        lib.XCloseDisplay.argtypes = [ctypes.c_void_p]
        _libx11 = lib
    display = _libx11.XOpenDisplay(None)
    check(display, "cannot open the X display")
    try:
        return _libx11.XGetSelectionOwner(display, _libx11.XInternAtom(display, name.encode(), 0))
    finally:
        _libx11.XCloseDisplay(display)


def x_ancestors(window):
    """The window's parents up to, not including, the root window."""
    found = []
    while True:
        out = run("xwininfo", "-children", "-id", str(window), check_rc=False)
        parent = re.search(r"Parent window id: (0x[0-9a-f]+)", out)
        if not parent or "(the root window)" in out.split("Parent window id:")[1].split("\n")[0]:
            return found
        window = int(parent.group(1), 16)
        found.append(window)


def window_geometry(window):
    out = run("xwininfo", "-id", str(window))
    get = lambda key: int(re.search(key + r":\s+(-?\d+)", out).group(1))
    return get("Absolute upper-left X"), get("Absolute upper-left Y"), \
        get("Width"), get("Height")


class Helper:
    """Another program a test runs beside the timer; stopped by its own pid."""

    def __init__(self, *args, stdout=subprocess.DEVNULL):
        self.process = subprocess.Popen(args, stdout=stdout, stderr=subprocess.DEVNULL)
        self.name = args[0]

    def stop(self):
        stop_process(self.process)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


def start_tray():
    """trayer as the notification area, at the top right of the screen."""
    tray = Helper("trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel",
                  "--width", "100", "--heighttype", "pixel", "--height", "32")
    try:
        wait_for(lambda: selection_owner("_NET_SYSTEM_TRAY_S0"), 10, what="trayer")
    except BaseException:
        tray.stop()
        raise
    return tray


def start_compositor():
    compositor = Helper("xcompmgr")
    try:
        wait_for(lambda: selection_owner("_NET_WM_CM_S0"), 10, what="xcompmgr")
    except BaseException:
        compositor.stop()
        raise
    return compositor


def stop_compositor(compositor):
    compositor.stop()
    wait_for(lambda: not selection_owner("_NET_WM_CM_S0"), 5, what="xcompmgr to go")


def _as_desktop(helper, name):
    """Turns a client's window into a desktop window covering the screen:
    the window manager keeps it below every other window even when clicked."""
    def shown():
        if helper.process.poll() is not None:
            raise Failure("%s exited with code %d" % (helper.name, helper.process.returncode))
        return run("xdotool", "search", "--onlyvisible", "--name", "^%s$" % name,
                   check_rc=False).split()
    window = int(wait_for(shown, 10, what="the window " + name)[0])
    run("xdotool", "windowunmap", "--sync", str(window))
    run("xprop", "-id", str(window), "-f", "_NET_WM_WINDOW_TYPE", "32a", "-set",
        "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_DESKTOP")
    run("xdotool", "windowmap", "--sync", str(window))
    wait_for(lambda: window_geometry(window)[:2] == (0, 0), 5, what="the desktop window")
    return window


def start_backdrop(color):
    """A plain window of one colour under everything else."""
    backdrop = Helper("xclock", "-norender", "-name", "backdrop", "-title", "backdrop",
                      "-geometry", "1280x1024+0+0", "-bg", color, "-fg", color,
                      "-hd", color, "-hl", color)
    try:
        backdrop.window = _as_desktop(backdrop, "backdrop")
    except BaseException:
        backdrop.stop()
        raise
    return backdrop


class ClickCatcher(Helper):
    """A desktop window under everything that logs the buttons pressed on it."""

    def __init__(self):
        self.log = tempfile.NamedTemporaryFile(prefix="catcher", suffix=".log")
        super().__init__("xev", "-name", "catcher", "-geometry", "1280x1024+0+0",
                         "-event", "button", stdout=self.log)
        try:
            self.window = _as_desktop(self, "catcher")
        except BaseException:
            self.stop()
            raise

    def presses(self):
        """Root coordinates of every button press so far."""
        with open(self.log.name) as log:
            text = log.read()
        return [(int(x), int(y)) for x, y in
                re.findall(r"ButtonPress event.*?root:\((\d+),(\d+)\)", text, re.S)]

    def stop(self):
        super().stop()
        self.log.close()


# --- pixels ------------------------------------------------------------------

class Shot:
    """The screen's pixels at one moment."""

    def __init__(self):
        out = subprocess.run(["import", "-window", "root", "-depth", "8", "rgb:-"],
                             capture_output=True, timeout=30).stdout
        self.width, self.height = 1280, 1024
        check(len(out) == self.width * self.height * 3,
              "screen grab has %d bytes" % len(out))
        self.data = out

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.data[i:i + 3])

    def save(self, path, box=None):
        """Writes the screen, or the box (x, y, w, h) of it, as a PNG."""
        x0, y0, w, h = box or (0, 0, self.width, self.height)
        x0, y0 = max(0, x0), max(0, y0)
        w, h = min(w, self.width - x0), min(h, self.height - y0)
        rows = b"".join(b"\0" + self.data[((y0 + y) * self.width + x0) * 3:
                                         ((y0 + y) * self.width + x0 + w) * 3]
                        for y in range(h))

        def chunk(kind, body):
            return struct.pack(">I", len(body)) + kind + body + \
                struct.pack(">I", zlib.crc32(kind + body) & 0xffffffff)
        with open(path, "wb") as f:
            f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
                    + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def main(tests):
    """Runs each test function, prints a line per test and a closing count."""
    passed = failed = 0
    for test in tests:
        try:
            test()
        except Exception as error:  # a failed check or a broken harness
            failed += 1
            print("FAIL %s: %s" % (test.__name__, error), flush=True)
        else:
            passed += 1
            print("PASS %s" % test.__name__, flush=True)
    print("%d passed, %d failed" % (passed, failed))
    sys.exit(1 if failed else 0)
