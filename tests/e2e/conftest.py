"""What the clock's end-to-end tests share: every test runs in the run's X
session with configuration and runtime folders of its own, and starts the
clocks and helpers it needs through these fixtures, which stop them after it."""
import os
import queue
import re
import subprocess
import sys
import threading

import pytest
from Xlib import X, Xatom, Xutil, display as xdisplay

import xscreen
from clockapp import Timer, environment
from fakeclock import FakeClock
from xsession import (SCREEN, Failure, Helper, SoundServer, check, private_runtime_dir, run,
                      stop_process, wait_for)

HERE = os.path.dirname(os.path.abspath(__file__))


def pytest_configure(config):
    # pyatspi calls the accessibility library's older names itself.
    config.addinivalue_line("filterwarnings", "ignore::DeprecationWarning:pyatspi.*")


@pytest.fixture(autouse=True)
def private_dirs(x_session, tmp_path, monkeypatch):
    """Fresh XDG_CONFIG_HOME and XDG_RUNTIME_DIR for each test, so that no
    clock meets the settings or the socket of an earlier one."""
    # As a Korean player's: Hangul and a space in the path.
    config = tmp_path / "설정 폴더"
    config.mkdir()
    monkeypatch.setenv("XDG_CONFIG_HOME", str(config))
    monkeypatch.setenv("XDG_RUNTIME_DIR", private_runtime_dir())
    return str(config)


class Clocks:
    """Starts clocks and plain processes of the binary under test."""

    def __init__(self, binary, title):
        self.binary, self.title = binary, title
        self.started = []

    def start(self, ready=True, **kwargs):
        """A Timer (see there for the arguments); when ready, once its texts
        are loaded and its window is placed."""
        timer = Timer(self.binary, self.title, **kwargs)
        self.started.append(timer.process)
        if ready:
            timer.wait_loaded()
            if kwargs.get("x_window", True):
                timer.settle()
        return timer

    def spawn(self, *args, env=None, **popen):
        """The binary as a bare process, with environment() of env."""
        process = subprocess.Popen([self.binary, *args], env=environment(env), **popen)
        self.started.append(process)
        return process

    def stop(self):
        for process in self.started:
            stop_process(process)


@pytest.fixture
def clocks(request, title):
    started = Clocks(request.config.getoption("--timer"), title)
    yield started
    started.stop()


@pytest.fixture
def fake_clock(tmp_path):
    """A faked clock standing still, first at a Tuesday afternoon."""
    return FakeClock(str(tmp_path / "faketime"), "2026-12-08 15:20:00")


# --- desktop windows -------------------------------------------------------

class DesktopWindow:
    """A window of the desktop type covering the screen, which the window
    manager keeps below every other window even when it is clicked. It has
    a connection of its own, which hears the button presses on it."""

    def __init__(self, name, colour=(0xff, 0xff, 0xff)):
        self.connection = xdisplay.Display()
        self.pressed = []
        screen = self.connection.screen()
        pixel = screen.default_colormap.alloc_color(*(c * 257 for c in colour)).pixel
        self.window = screen.root.create_window(
            0, 0, SCREEN[0], SCREEN[1], 0, screen.root_depth, X.InputOutput, X.CopyFromParent,
            background_pixel=pixel, event_mask=X.ButtonPressMask)
        self.window.set_wm_name(name)
        self.window.set_wm_class(name, name)
        self.window.set_wm_normal_hints(flags=Xutil.USPosition | Xutil.USSize, x=0, y=0,
                                        width=SCREEN[0], height=SCREEN[1])
        self.window.change_property(self.connection.intern_atom("_NET_WM_WINDOW_TYPE"),
                                    Xatom.ATOM, 32,
                                    [self.connection.intern_atom("_NET_WM_WINDOW_TYPE_DESKTOP")])
        self.window.map()
        self.connection.sync()
        self.id = self.window.id
        wait_for(lambda: xscreen.is_viewable(self.id) and xscreen.geometry(self.id)[:2] == (0, 0),
                 5, what="the desktop window " + name)

    def presses(self):
        """Root coordinates of every button press so far."""
        while self.connection.pending_events():
            event = self.connection.next_event()
            if event.type == X.ButtonPress:
                self.pressed.append((event.root_x, event.root_y))
        return list(self.pressed)

    def close(self):
        self.window.destroy()
        self.connection.close()


class GameWindow:
    """A plain window that takes the keyboard, as a game's would, in a
    corner where it leaves the clock's window in sight."""

    def __init__(self):
        self.connection = xdisplay.Display()
        screen = self.connection.screen()
        self.window = screen.root.create_window(
            0, SCREEN[1] - 200, 300, 200, 0, screen.root_depth, X.InputOutput, X.CopyFromParent,
            background_pixel=screen.black_pixel)
        self.window.set_wm_name("game")
        self.window.set_wm_class("game", "Game")
        self.window.set_wm_hints(flags=Xutil.InputHint, input=1)
        self.window.map()
        self.connection.sync()
        self.id = self.window.id
        wait_for(lambda: xscreen.is_viewable(self.id), 5, what="the game's window")
        xscreen.activate(self.id)
        wait_for(lambda: xscreen.active_window() == self.id, 5, what="the game to have the focus")

    def close(self):
        self.window.destroy()
        self.connection.close()


@pytest.fixture
def game(x_session):
    window = GameWindow()
    yield window
    window.close()


@pytest.fixture
def click_catcher(x_session):
    """A desktop window under everything that records the clicks on it."""
    catcher = DesktopWindow("catcher")
    yield catcher
    catcher.close()


@pytest.fixture
def backdrop(x_session):
    """Puts a plain window of the colour (r, g, b) under everything else."""
    made = []

    def make(colour):
        made.append(DesktopWindow("backdrop", colour))
        return made[-1]
    yield make
    for window in made:
        window.close()


@pytest.fixture
def sound(x_session, tmp_path, monkeypatch):
    """A sound server of the test's own, which the clocks it starts play to."""
    server = SoundServer(str(tmp_path))
    monkeypatch.setenv("PULSE_SERVER", server.env()["PULSE_SERVER"])
    yield server
    server.stop()


# --- notifications ---------------------------------------------------------

class Notifications:
    """dunst serving org.freedesktop.Notifications, and the Notify calls
    that reach it as dbus-monitor records them."""

    def __init__(self, log):
        self.log = log
        self.dunst = Helper("dunst")
        self.monitor = None
        try:
            wait_for(self._served, 15, interval=0.2, what="dunst on the session bus")
            with open(log, "w") as out:
                self.monitor = Helper("dbus-monitor", "--session",
                                      "type='method_call',interface='org.freedesktop.Notifications',"
                                      "member='Notify'", stdout=out)
            # It announces itself with a signal of its own once it listens.
            wait_for(lambda: os.path.getsize(log) > 0, 10, what="dbus-monitor")
        except BaseException:
            self.stop()
            raise

    def _served(self):
        check(self.dunst.running(), "dunst exited with code %s" % self.dunst.process.returncode)
        return "boolean true" in run(
            "dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus",
            "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner",
            "string:org.freedesktop.Notifications", check_rc=False)

    def calls(self):
        """Each Notify call as (summary, body, the whole message)."""
        with open(self.log, encoding="utf-8", errors="replace") as f:
            text = f.read()
        found = []
        for block in text.split("method call ")[1:]:
            if "member=Notify" not in block.split("\n", 1)[0]:
                continue
            strings = re.findall(r'^\s*(?:variant\s+)?string "(.*)"$', block, re.M)
            # app_name, app_icon, summary, body, then the hints.
            check(len(strings) >= 4, "a Notify call without its texts: %r" % block)
            found.append((strings[2], strings[3], block))
        return found

    def stop(self):
        if self.monitor:
            self.monitor.stop()
        self.dunst.stop()


@pytest.fixture
def notifications(x_session, tmp_path):
    service = Notifications(str(tmp_path / "notify.log"))
    yield service
    service.stop()


# --- a notification area on D-Bus ------------------------------------------

class StatusNotifierHost:
    """sni_host.py: a notification area spoken to over D-Bus."""

    def __init__(self):
        self.process = subprocess.Popen([sys.executable, os.path.join(HERE, "sni_host.py")],
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.lines = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            self.lines.put(line.strip())

    def expect(self, word, timeout=15):
        try:
            while True:
                line = self.lines.get(timeout=timeout)
                if line.split()[0] == word:
                    return line
        except queue.Empty:
            raise Failure("the D-Bus tray never said %r" % word)

    def activate(self):
        self.process.stdin.write("activate\n")
        self.process.stdin.flush()
        self.expect("activated")

    def stop(self):
        self.process.stdin.close()
        stop_process(self.process)
        self.process.stdout.close()


@pytest.fixture
def sni_host(x_session):
    host = StatusNotifierHost()
    try:
        host.expect("ready")
        yield host
    finally:
        host.stop()


# --- Wayland -----------------------------------------------------------------

@pytest.fixture
def weston(private_dirs):
    """weston without a screen beside the X server; its socket's name."""
    socket = "timer-e2e-wayland"
    with Helper("weston", "--backend=headless-backend.so", "--socket=" + socket,
                "--idle-time=0", "--width=%d" % SCREEN[0], "--height=%d" % SCREEN[1]) as helper:
        path = os.path.join(os.environ["XDG_RUNTIME_DIR"], socket)
        wait_for(lambda: os.path.exists(path) or not helper.running(), 15, what="weston's socket")
        check(helper.running(), "weston exited with %s" % helper.process.returncode)
        yield socket
