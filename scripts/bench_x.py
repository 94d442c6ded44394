"""Measures the real timer on an X server: how long it takes from spawning
to a window on screen, what it costs to keep running next to the cheapest
Qt Widgets clock (one label, tests/bench/bare_label.cpp) and xclock, with and
without a compositor, and whether its window has the same pixels as an
earlier build's at the same faked instants.

Run it on the private X session of tests/e2e/xsession.sh:

    xsession.sh /usr/bin/python3 scripts/bench_x.py --timer build/bin/timer \
        --bare build/bin/bench_bare_label [--before OLD/bin/timer]

Windows are watched through the X server itself (Xlib and the DAMAGE
extension, reached with ctypes so that nothing needs installing): a process
is known by the _NET_WM_PID of its top-level window, and every drawing into
that window arrives as a damage rectangle. Processes are read from /proc: a
process's CPU time is the sum over all its threads of the scheduler's own
count (/proc/PID/task/*/schedstat).

Each side-by-side minute runs the three clients at once, first without a
compositor, then with xcompmgr compositing (the timer started under it, so
its labels glow); --runs repeats both and the medians are printed. An extra
run, --glass-seconds, puts three timers into the states of their "Vista
GlassFrame" check box by clicking it (found over AT-SPI, clicked with
xdotool).
"""
import argparse
import ctypes
import os
import select
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time
from ctypes import (CFUNCTYPE, POINTER, Structure, Union, byref, c_char_p, c_int,
                    c_long, c_short, c_ulong, c_ushort, c_void_p)

# --- Xlib through ctypes ----------------------------------------------------

CreateNotify, DestroyNotify, MapNotify, ReparentNotify = 16, 17, 19, 21
StructureNotifyMask = 1 << 17
SubstructureNotifyMask = 1 << 19
IsViewable = 2
XA_CARDINAL = 6
XDamageReportRawRectangles = 0


class XAnyEvent(Structure):
    _fields_ = [("type", c_int), ("serial", c_ulong), ("send_event", c_int),
                ("display", c_void_p), ("window", c_ulong)]


class XCreateWindowEvent(Structure):
    _fields_ = [("type", c_int), ("serial", c_ulong), ("send_event", c_int),
                ("display", c_void_p), ("parent", c_ulong), ("window", c_ulong),
                ("x", c_int), ("y", c_int), ("width", c_int), ("height", c_int),
                ("border_width", c_int), ("override_redirect", c_int)]


class XDestroyWindowEvent(Structure):
    _fields_ = [("type", c_int), ("serial", c_ulong), ("send_event", c_int),
                ("display", c_void_p), ("event", c_ulong), ("window", c_ulong)]


class XRectangle(Structure):
    _fields_ = [("x", c_short), ("y", c_short), ("width", c_ushort), ("height", c_ushort)]


class XDamageNotifyEvent(Structure):
    _fields_ = [("type", c_int), ("serial", c_ulong), ("send_event", c_int),
                ("display", c_void_p), ("drawable", c_ulong), ("damage", c_ulong),
                ("level", c_int), ("more", c_int), ("timestamp", c_ulong),
                ("area", XRectangle), ("geometry", XRectangle)]


class XEvent(Union):
    _fields_ = [("type", c_int), ("xany", XAnyEvent), ("xcreatewindow", XCreateWindowEvent),
                ("xdestroywindow", XDestroyWindowEvent),
                ("xdamage", XDamageNotifyEvent), ("pad", c_long * 24)]


class XWindowAttributes(Structure):
    _fields_ = [("x", c_int), ("y", c_int), ("width", c_int), ("height", c_int),
                ("border_width", c_int), ("depth", c_int), ("visual", c_void_p),
                ("root", c_ulong), ("class_", c_int), ("bit_gravity", c_int),
                ("win_gravity", c_int), ("backing_store", c_int),
                ("backing_planes", c_ulong), ("backing_pixel", c_ulong),
                ("save_under", c_int), ("colormap", c_ulong), ("map_installed", c_int),
                ("map_state", c_int), ("all_event_masks", c_long),
                ("your_event_mask", c_long), ("do_not_propagate_mask", c_long),
                ("override_redirect", c_int), ("screen", c_void_p)]


class XClassHint(Structure):
    # Pointers rather than c_char_p, which would copy and lose what XFree needs.
    _fields_ = [("res_name", c_void_p), ("res_class", c_void_p)]


xlib = ctypes.CDLL("libX11.so.6")
xlib.XOpenDisplay.restype = c_void_p
xlib.XOpenDisplay.argtypes = [c_char_p]
xlib.XDefaultRootWindow.restype = c_ulong
xlib.XDefaultRootWindow.argtypes = [c_void_p]
xlib.XSelectInput.argtypes = [c_void_p, c_ulong, c_long]
xlib.XSync.argtypes = [c_void_p, c_int]
xlib.XFlush.argtypes = [c_void_p]
xlib.XPending.argtypes = [c_void_p]
xlib.XNextEvent.argtypes = [c_void_p, POINTER(XEvent)]
xlib.XConnectionNumber.argtypes = [c_void_p]
xlib.XInternAtom.restype = c_ulong
xlib.XInternAtom.argtypes = [c_void_p, c_char_p, c_int]
xlib.XGetWindowAttributes.argtypes = [c_void_p, c_ulong, POINTER(XWindowAttributes)]
xlib.XGetWindowProperty.argtypes = [c_void_p, c_ulong, c_ulong, c_long, c_long, c_int, c_ulong,
                                    POINTER(c_ulong), POINTER(c_int), POINTER(c_ulong),
                                    POINTER(c_ulong), POINTER(c_void_p)]
xlib.XGetClassHint.argtypes = [c_void_p, c_ulong, POINTER(XClassHint)]
xlib.XFree.argtypes = [c_void_p]
xlib.XCloseDisplay.argtypes = [c_void_p]
xlib.XGetSelectionOwner.restype = c_ulong
xlib.XGetSelectionOwner.argtypes = [c_void_p, c_ulong]

xdamage = ctypes.CDLL("libXdamage.so.1")
xdamage.XDamageQueryExtension.argtypes = [c_void_p, POINTER(c_int), POINTER(c_int)]
xdamage.XDamageCreate.restype = c_ulong
xdamage.XDamageCreate.argtypes = [c_void_p, c_ulong, c_int]

ErrorHandler = CFUNCTYPE(c_int, c_void_p, c_void_p)
# Windows come and go while they are being looked at; a request about one
# that has just gone fails, and that is no reason to stop.
_ignore_errors = ErrorHandler(lambda display, error: 0)
xlib.XSetErrorHandler(_ignore_errors)


class Window:
    """A top-level window seen being created, with its drawing record."""

    def __init__(self, wid):
        self.wid = wid
        self.viewable_at = None
        self.first_paint_at = None
        self.counting = False
        self.damage_events = 0
        self.damaged_pixels = 0
        self.painted = None  # one byte a pixel: ever drawn while counting
        self.size = (0, 0)


class XWatch:
    """Top-level windows of one X display, their mapping and their drawing."""

    def __init__(self):
        self.display = xlib.XOpenDisplay(None)
        if not self.display:
            raise SystemExit("bench_x: cannot open display %r" % os.environ.get("DISPLAY"))
        event_base, error_base = c_int(), c_int()
        if not xdamage.XDamageQueryExtension(self.display, byref(event_base), byref(error_base)):
            raise SystemExit("bench_x: the X server has no DAMAGE extension")
        self.damage_notify = event_base.value
        self.root = xlib.XDefaultRootWindow(self.display)
        self.pid_atom = xlib.XInternAtom(self.display, b"_NET_WM_PID", 0)
        self.windows = {}
        xlib.XSelectInput(self.display, self.root, SubstructureNotifyMask)
        xlib.XSync(self.display, 0)

    def close(self):
        xlib.XCloseDisplay(self.display)

    def _track(self, wid):
        if wid in self.windows:
            return
        window = self.windows[wid] = Window(wid)
        xlib.XSelectInput(self.display, wid, StructureNotifyMask)
        xdamage.XDamageCreate(self.display, wid, XDamageReportRawRectangles)
        # It may have been mapped before the selection took effect.
        self._check_viewable(window, time.monotonic())

    def _check_viewable(self, window, now):
        if window.viewable_at is None:
            attributes = XWindowAttributes()
            if xlib.XGetWindowAttributes(self.display, window.wid, byref(attributes)) \
                    and attributes.map_state == IsViewable:
                window.viewable_at = now

    def pid_of(self, wid):
        kind, fmt, count, after, data = c_ulong(), c_int(), c_ulong(), c_ulong(), c_void_p()
        status = xlib.XGetWindowProperty(self.display, wid, self.pid_atom, 0, 1, 0, XA_CARDINAL,
                                         byref(kind), byref(fmt), byref(count), byref(after),
                                         byref(data))
        pid = None
        if status == 0 and data.value:
            if count.value == 1 and fmt.value == 32:
                pid = ctypes.cast(data, POINTER(c_ulong))[0]
            xlib.XFree(data)
        return pid

    def class_of(self, wid):
        hint = XClassHint()
        if not xlib.XGetClassHint(self.display, wid, byref(hint)):
            return None
        name = ctypes.string_at(hint.res_class).decode() if hint.res_class else None
        for pointer in (hint.res_name, hint.res_class):
            if pointer:
                xlib.XFree(pointer)
        return name

    def geometry(self, wid):
        attributes = XWindowAttributes()
        if not xlib.XGetWindowAttributes(self.display, wid, byref(attributes)):
            return None
        return attributes.width, attributes.height

    def pump(self, timeout):
        """Handles the events that arrive within timeout seconds."""
        deadline = time.monotonic() + timeout
        fd = xlib.XConnectionNumber(self.display)
        event = XEvent()
        while True:
            while xlib.XPending(self.display):
                xlib.XNextEvent(self.display, byref(event))
                self._handle(event, time.monotonic())
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                return
            select.select([fd], [], [], remaining)

    def pump_until(self, predicate, timeout):
        deadline = time.monotonic() + timeout
        while not predicate():
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                return False
            self.pump(min(remaining, 0.05))
        return True

    def _handle(self, event, now):
        kind = event.type
        if kind == CreateNotify and event.xcreatewindow.parent == self.root:
            self._track(event.xcreatewindow.window)
        elif kind == DestroyNotify:
            self.windows.pop(event.xdestroywindow.window, None)
        elif kind in (MapNotify, ReparentNotify):
            # A client is viewable once both it and the frame the window
            # manager puts it in are mapped, in whichever order that happens.
            for window in self.windows.values():
                self._check_viewable(window, now)
        elif kind == self.damage_notify:
            window = self.windows.get(event.xdamage.drawable)
            if window is None:
                return
            if window.first_paint_at is None:
                window.first_paint_at = now
            if window.counting:
                self._count(window, event.xdamage.area)

    def _count(self, window, area):
        width, height = window.size
        x0, y0 = max(area.x, 0), max(area.y, 0)
        x1, y1 = min(area.x + area.width, width), min(area.y + area.height, height)
        window.damage_events += 1
        if x1 <= x0 or y1 <= y0:
            return
        window.damaged_pixels += (x1 - x0) * (y1 - y0)
        row = b"\x01" * (x1 - x0)
        for y in range(y0, y1):
            window.painted[y * width + x0:y * width + x1] = row

    def find(self, pid=None, wm_class=None):
        """The viewable top-level window of a process (by _NET_WM_PID) or of
        a program (by WM_CLASS, for clients that do not give their pid)."""
        for window in self.windows.values():
            if window.viewable_at is None:
                continue
            if pid is not None and self.pid_of(window.wid) == pid:
                return window
            if wm_class is not None and self.class_of(window.wid) == wm_class:
                return window
        return None

    def selection_owned(self, name):
        atom = xlib.XInternAtom(self.display, name, 0)
        return xlib.XGetSelectionOwner(self.display, atom) != 0

    def start_counting(self, window):
        window.size = self.geometry(window.wid) or (0, 0)
        window.painted = bytearray(window.size[0] * window.size[1])
        window.damage_events = window.damaged_pixels = 0
        window.counting = True


# --- processes ----------------------------------------------------------------

def run_seconds(pid):
    """Time on a CPU of all the process's threads, from the scheduler's own
    count in nanoseconds rather than the clock ticks of /proc/PID/stat, which
    a quiet program spends few of. /proc/PID/schedstat alone would be the
    main thread's."""
    total = 0
    task_dir = "/proc/%d/task" % pid
    for task in os.listdir(task_dir):
        try:
            with open(os.path.join(task_dir, task, "schedstat")) as f:
                total += int(f.read().split()[0])
        except OSError:
            pass  # a thread that has just ended
    return total / 1e9


def memory_kib(pid, key):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith(key + ":"):
                return int(line.split()[1])
    raise RuntimeError("no %s for pid %d" % (key, pid))


class Processes:
    """Every process this script starts, so that all of them are stopped."""

    def __init__(self, log_dir):
        self.log_dir = log_dir
        self.running = []

    def spawn(self, name, argv, env):
        log = open(os.path.join(self.log_dir, name + ".log"), "ab")
        process = subprocess.Popen(argv, env=env, stdin=subprocess.DEVNULL,
                                   stdout=log, stderr=subprocess.STDOUT)
        log.close()
        self.running.append(process)
        return process

    def stop(self, process):
        if process.poll() is None:
            process.terminate()
            try:
                process.wait(5)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        if process in self.running:
            self.running.remove(process)

    def stop_all(self):
        for process in list(self.running):
            self.stop(process)


def timer_environment(accessibility):
    env = dict(os.environ)
    env.update({"TZ": "Asia/Seoul", "QT_QPA_PLATFORM": "xcb"})
    # The program keeps one clock per session (XDG_RUNTIME_DIR), and the
    # benchmarks run several side by side: each gets a folder of its own
    # inside the session's, which xsession.sh removes.
    timer_environment.count = getattr(timer_environment, "count", 0) + 1
    env["XDG_RUNTIME_DIR"] = os.path.join(os.environ["XDG_RUNTIME_DIR"],
                                          "clock-%d" % timer_environment.count)
    os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700)
    env.pop("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", None)
    if accessibility:
        env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
    return env


# --- the measurements ----------------------------------------------------------


def measure_launches(watch, processes, timer, launches):
    """Seconds from spawning to the window being viewable, and to the first
    drawing into it, for one cold launch followed by `launches` more."""
    results = []
    for _ in range(launches + 1):
        watch.pump(0)
        started = time.monotonic()
        process = processes.spawn("launch", [timer], timer_environment(False))
        found = {}

        def painted():
            if process.poll() is not None:
                raise SystemExit("bench_x: timer exited with code %d" % process.returncode)
            window = found.get("w") or watch.find(pid=process.pid)
            if window is not None:
                found["w"] = window
                return window.first_paint_at is not None
            return False

        if not watch.pump_until(painted, 20):
            processes.stop(process)
            raise SystemExit("bench_x: the timer's window did not appear within 20 s")
        window = found["w"]
        results.append((window.viewable_at - started, window.first_paint_at - started))
        processes.stop(process)
        # Let the window manager finish with the old window before the next.
        watch.pump(0.3)
    return results


def side_by_side(watch, processes, clients, seconds):
    """Starts the clients at once, waits until every window is shown, and
    measures them together for `seconds` after 2 s of start-up. Each client
    is (name, argv, env, wm_class or None); returns one row per client."""
    started = [(name, processes.spawn(name.split()[0], argv, env), wm_class)
               for name, argv, env, wm_class in clients]
    windows = {}

    def all_shown():
        for name, process, wm_class in started:
            if process.poll() is not None:
                raise SystemExit("bench_x: %s exited with code %d" % (name, process.returncode))
            if name not in windows:
                window = watch.find(pid=None if wm_class else process.pid, wm_class=wm_class)
                if window is not None:
                    windows[name] = window
        return len(windows) == len(started)

    try:
        if not watch.pump_until(all_shown, 30):
            raise SystemExit("bench_x: not every window appeared within 30 s")
        # Past start-up, so that the window covers the steady state only.
        watch.pump(2)
        run_before = {}
        for name, process, _ in started:
            run_before[name] = run_seconds(process.pid)
            watch.start_counting(windows[name])
        begin = time.monotonic()
        watch.pump(seconds)
        elapsed = time.monotonic() - begin

        rows = []
        for name, process, _ in started:
            if process.poll() is not None:
                raise SystemExit("bench_x: %s exited during the run" % name)
            window = windows[name]
            width, height = window.size
            rows.append({
                "name": name,
                "run": run_seconds(process.pid) - run_before[name],
                "hwm": memory_kib(process.pid, "VmHWM") / 1024,
                "rss": memory_kib(process.pid, "VmRSS") / 1024,
                "size": (width, height),
                "events": window.damage_events / elapsed,
                "pixels": window.damaged_pixels / elapsed,
                "ever": window.painted.count(1) / max(width * height, 1),
                "elapsed": elapsed,
            })
        return rows
    finally:
        for _, process, _ in started:
            processes.stop(process)


def start_compositor(watch, processes):
    compositor = processes.spawn("xcompmgr", ["xcompmgr"], timer_environment(False))
    if not watch.pump_until(lambda: compositor.poll() is None
                            and watch.selection_owned(b"_NET_WM_CM_S0"), 10):
        raise SystemExit("bench_x: xcompmgr did not start compositing")
    return compositor


def stop_compositor(watch, processes, compositor):
    processes.stop(compositor)
    if not watch.pump_until(lambda: not watch.selection_owned(b"_NET_WM_CM_S0"), 10):
        raise SystemExit("bench_x: xcompmgr did not let go of _NET_WM_CM_S0")


def measure_load(watch, processes, timer, bare, seconds, runs):
    """The timer, the bare label and xclock side by side, without and then
    with a compositor, `runs` times. Returns {"off": [rows...], "on": [...]},
    one list of rows per run."""
    clients = [
        ("timer", [timer], timer_environment(False), None),
        ("bare label", [bare], timer_environment(False), None),
        ("xclock -digital -update 1", ["xclock", "-digital", "-update", "1"],
         timer_environment(False), "XClock"),
    ]
    results = {"off": [], "on": []}
    for _ in range(runs):
        results["off"].append(side_by_side(watch, processes, clients, seconds))
        compositor = start_compositor(watch, processes)
        try:
            results["on"].append(side_by_side(watch, processes, clients, seconds))
        finally:
            stop_compositor(watch, processes, compositor)
    return results


# --- the window's pixels against an earlier build's ---------------------------

# Faked instants in Seoul, each shown by both timers at once: three weekdays,
# then seconds, a minute and the boundaries where the gate opens and the
# merchant moves on (a longer place name: the window grows).
PIXEL_INSTANTS = ["2026-12-07 21:10:30", "2026-12-07 21:10:31", "2026-12-07 21:10:32",
                  "2026-12-07 21:11:33", "2026-12-07 21:27:09", "2026-12-07 21:36:00",
                  "2026-12-06 12:00:05", "2026-12-12 15:20:00", "2026-12-12 15:20:01"]
FAKETIME_LIBRARY = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"
PIXEL_PLACES = [(0, 0), (640, 0)]


def faked_environment(clock_file, accessibility):
    env = timer_environment(accessibility)
    env.update({"LD_PRELOAD": FAKETIME_LIBRARY, "FAKETIME_TIMESTAMP_FILE": clock_file,
                "FAKETIME_NO_CACHE": "1", "FAKETIME_DONT_FAKE_MONOTONIC": "1"})
    return env


def grab_screen():
    out = subprocess.run(["import", "-window", "root", "-depth", "8", "rgb:-"],
                         capture_output=True, timeout=30).stdout
    if len(out) != 1280 * 1024 * 3:
        raise SystemExit("bench_x: a screen grab of %d bytes" % len(out))
    return out


def client_area(window):
    out = subprocess.run(["xwininfo", "-id", str(window.wid)], capture_output=True,
                         text=True, timeout=30).stdout
    values = {}
    for key in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"):
        for line in out.splitlines():
            if line.strip().startswith(key + ":"):
                values[key] = int(line.split(":")[1])
    return (values["Absolute upper-left X"], values["Absolute upper-left Y"],
            values["Width"], values["Height"])


def crop(screen, area):
    x0, y0, w, h = area
    return b"".join(screen[((y0 + y) * 1280 + x0) * 3:((y0 + y) * 1280 + x0 + w) * 3]
                    for y in range(h))


def save_png(path, pixels, width, height):
    subprocess.run(["convert", "-size", "%dx%d" % (width, height), "-depth", "8", "rgb:-",
                    path], input=pixels, check=True, timeout=30)


def compare_windows(windows, shots_dir, label):
    """Whether the two windows show the same pixels now: (sizes, differing)."""
    screen = grab_screen()
    areas = [client_area(window) for window in windows]
    if areas[0][2:] != areas[1][2:]:
        return areas, None
    images = [crop(screen, area) for area in areas]
    differing = sum(1 for i in range(0, len(images[0]), 3)
                    if images[0][i:i + 3] != images[1][i:i + 3])
    if differing and shots_dir:
        for image, name in zip(images, ("before", "after")):
            save_png(os.path.join(shots_dir, "%s-%s.png" % (label, name)), image,
                     *areas[0][2:])
    return areas, differing


def compare_pixels(watch, processes, before, after, shots_dir):
    """Both builds at the same faked instants, in each state the window can be
    in. Returns rows (state, instant, size, differing pixels or None when the
    sizes differ)."""
    rows = []
    clock = tempfile.NamedTemporaryFile("w", suffix=".faketime")
    states = [("no compositor", False, 0), ("xcompmgr, glowing text", True, 0),
              ("xcompmgr, glass partially checked", True, 1),
              ("xcompmgr, glass checked", True, 2)]
    compositor = None
    try:
        for state, composited, clicks in states:
            if composited and compositor is None:
                # xcompmgr fills the screen behind the windows with one grey,
                # so see-through glass shows the same behind both.
                compositor = start_compositor(watch, processes)
            clock.seek(0)
            clock.truncate()
            clock.write(PIXEL_INSTANTS[0] + "\n")
            clock.flush()
            accessibility = clicks > 0
            timers = [processes.spawn("pixels-%s" % which, [binary],
                                      faked_environment(clock.name, accessibility))
                      for which, binary in (("before", before), ("after", after))]
            try:
                windows = {}

                def shown():
                    for i, process in enumerate(timers):
                        if process.poll() is not None:
                            raise SystemExit("bench_x: a timer exited with code %d"
                                             % process.returncode)
                        if i not in windows:
                            window = watch.find(pid=process.pid)
                            if window is not None:
                                windows[i] = window
                    return len(windows) == 2
                if not watch.pump_until(shown, 30):
                    raise SystemExit("bench_x: the two timers' windows did not appear")
                pair = [windows[0], windows[1]]
                for window, (x, y) in zip(pair, PIXEL_PLACES):
                    xdotool("windowmove", "--sync", window.wid, x, y)
                if clicks:
                    import pyatspi
                    step = GLASS_STEPS[clicks - 1][0]
                    for window, process in zip(pair, timers):
                        box = find_glass_box(process.pid, pyatspi, 20)
                        click_into_step(watch, window, box, clicks, step, pyatspi)
                xdotool("mousemove", "--sync", *MOUSE_PARKING)
                for instant in PIXEL_INSTANTS:
                    clock.seek(0)
                    clock.truncate()
                    clock.write(instant + "\n")
                    clock.flush()
                    # Two ticks for both, and the compositor's next frame.
                    watch.pump(1.3)
                    label = "%s-%s" % (state.replace(" ", "_").replace(",", ""),
                                       instant.replace(" ", "T"))
                    areas, differing = compare_windows(pair, shots_dir, label)
                    rows.append((state, instant, areas, differing))
            finally:
                for process in timers:
                    processes.stop(process)
    finally:
        if compositor is not None:
            stop_compositor(watch, processes, compositor)
        clock.close()
    return rows


# --- the same with a compositor, in each state of the glass check box ----------

# Clicks on the tristate box from unchecked: partially checked, checked, then
# unchecked again, so every timer has been through toggleAeroGlass.
GLASS_STEPS = [("partially checked", 1), ("checked", 2), ("unchecked", 3)]
GLASS_BOX = "Vista GlassFrame"
# Where the windows are put, apart, so that a click lands on the window meant.
TIMER_PLACES = [(0, 0), (430, 0), (860, 0)]
XCLOCK_PLACE = (0, 580)
MOUSE_PARKING = (1270, 1015)


def xdotool(*args):
    subprocess.run(["xdotool"] + [str(a) for a in args], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def glass_state(box, pyatspi):
    states = box.getState()
    if states.contains(pyatspi.STATE_INDETERMINATE):
        return "partially checked"
    return "checked" if states.contains(pyatspi.STATE_CHECKED) else "unchecked"


def find_glass_box(pid, pyatspi, timeout):
    """The timer's glass check box on the accessibility bus."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        for app in pyatspi.Registry.getDesktop(0):
            try:
                if app is None or app.get_process_id() != pid or app.childCount == 0:
                    continue
                box = pyatspi.findDescendant(
                    app, lambda n: n is not None and n.getRole() == pyatspi.ROLE_CHECK_BOX
                    and n.name == GLASS_BOX)
                if box is not None:
                    return box
            except Exception:
                pass  # a node that went away while being looked at
        time.sleep(0.2)
    raise SystemExit("bench_x: no %r check box for pid %d on the accessibility bus; "
                     "was a compositor running when it started?" % (GLASS_BOX, pid))


def click_into_step(watch, window, box, clicks, step, pyatspi):
    xdotool("windowactivate", "--sync", window.wid)

    def placed():
        # The toolkit knows where the window manager put the window: the box
        # lies inside the window as the X server has it.
        x, y, width, height = box.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        wx, wy, ww, wh = client_area(window)
        return wx <= x and wy <= y and x + width <= wx + ww and y + height <= wy + wh

    if not watch.pump_until(placed, 10):
        raise SystemExit("bench_x: %r is not where the window is" % GLASS_BOX)
    watch.pump(0.2)
    for _ in range(clicks):
        before = glass_state(box, pyatspi)
        # A click on a loaded machine can come before the window takes input;
        # it is made again, a few times at the most.
        for _ in range(3):
            x, y, width, height = box.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
            # On the indicator at the left end of the box.
            xdotool("mousemove", "--sync", x + min(8, width // 2), y + height // 2, "click", 1)
            if watch.pump_until(lambda: glass_state(box, pyatspi) != before, 3):
                break
        else:
            raise SystemExit("bench_x: three clicks on %r did not change it" % GLASS_BOX)
    state = glass_state(box, pyatspi)
    if state != step:
        raise SystemExit("bench_x: %r is %s after %d clicks, not %s"
                         % (GLASS_BOX, state, clicks, step))


def measure_glass(watch, processes, timer, seconds):
    """Three timers with xcompmgr, each clicked into one state of its glass
    check box, next to xclock, for `seconds`."""
    import pyatspi  # only this run needs the accessibility bus

    compositor = start_compositor(watch, processes)
    try:
        clients = [("timer, glass " + step, clicks,
                    processes.spawn("timer-glass-%d" % clicks, [timer], timer_environment(True)),
                    None) for step, clicks in GLASS_STEPS]
        clients.append(("xclock -digital -update 1", 0,
                        processes.spawn("xclock-composited",
                                        ["xclock", "-digital", "-update", "1"],
                                        timer_environment(False)), "XClock"))
        windows = {}

        def all_shown():
            for name, _, process, wm_class in clients:
                if process.poll() is not None:
                    raise SystemExit("bench_x: %s exited with code %d"
                                     % (name, process.returncode))
                if name not in windows:
                    window = watch.find(pid=None if wm_class else process.pid,
                                        wm_class=wm_class)
                    if window is not None:
                        windows[name] = window
            return len(windows) == len(clients)

        if not watch.pump_until(all_shown, 30):
            raise SystemExit("bench_x: not every window appeared within 30 s")
        for (name, _, _, _), (x, y) in zip(clients, TIMER_PLACES + [XCLOCK_PLACE]):
            xdotool("windowmove", "--sync", windows[name].wid, x, y)
        for (name, clicks, process, _), (step, _) in zip(clients, GLASS_STEPS):
            box = find_glass_box(process.pid, pyatspi, 20)
            click_into_step(watch, windows[name], box, clicks, step, pyatspi)
        xdotool("mousemove", "--sync", *MOUSE_PARKING)

        # Past the clicks and the repaints they cause.
        watch.pump(2)
        run_before = {name: run_seconds(process.pid) for name, _, process, _ in clients}
        for name in windows:
            watch.start_counting(windows[name])
        started = time.monotonic()
        watch.pump(seconds)
        elapsed = time.monotonic() - started
        rows = []
        for name, _, process, _ in clients:
            if process.poll() is not None:
                raise SystemExit("bench_x: %s exited during the run" % name)
            window = windows[name]
            width, height = window.size
            rows.append({"name": name, "run": run_seconds(process.pid) - run_before[name],
                         "hwm": memory_kib(process.pid, "VmHWM") / 1024,
                         "ever": window.painted.count(1) / max(width * height, 1),
                         "elapsed": elapsed})
        for _, _, process, _ in clients:
            processes.stop(process)
        return rows
    finally:
        stop_compositor(watch, processes, compositor)


# --- printing ------------------------------------------------------------------

def per_minute(row):
    return 60000 * row["run"] / row["elapsed"]


def print_launches(launches):
    ms = lambda s: s * 1000
    first, measured = launches[0], launches[1:]
    viewable = sorted(v for v, _ in measured)
    painted = sorted(p for _, p in measured)
    print("Launch to window (X events, %d launches after a first one)" % len(measured))
    print("  %-34s %8s %8s %8s %8s" % ("", "median", "min", "max", "first"))
    print("  %-34s %8.1f %8.1f %8.1f %8.1f  ms   target < 150 ms: %s" % (
        "spawn -> window viewable", ms(statistics.median(viewable)), ms(viewable[0]),
        ms(viewable[-1]), ms(first[0]),
        "met" if statistics.median(viewable) < 0.150 else "MISSED"))
    print("  %-34s %8.1f %8.1f %8.1f %8.1f  ms" % (
        "spawn -> first drawing in it", ms(statistics.median(painted)), ms(painted[0]),
        ms(painted[-1]), ms(first[1])))


TARGETS = {"off": ("no compositor", 1.1), "on": ("xcompmgr compositing, glowing text", 1.4)}


def print_load(results, seconds):
    runs = len(results["off"])
    print()
    print("CPU side by side, all threads (schedstat), ms per 60 s of wall time; "
          "%d run%s of %.0f s each" % (runs, "" if runs == 1 else "s", seconds))
    header = "".join("%9s" % ("run %d" % (i + 1)) for i in range(runs)) + "%9s" % "median"
    for key in ("off", "on"):
        title, target = TARGETS[key]
        print("  %s" % title)
        print("    %-30s%s" % ("", header))
        names = [row["name"] for row in results[key][0]]
        by_name = {name: [next(r for r in run if r["name"] == name) for run in results[key]]
                   for name in names}
        for name in names:
            values = [per_minute(row) for row in by_name[name]]
            print("    %-30s%s%9.1f" % (name, "".join("%9.1f" % v for v in values),
                                        statistics.median(values)))
        for other, label in (("bare label", "timer / bare label"),
                             ("xclock -digital -update 1", "timer / xclock")):
            ratios = [t["run"] / max(o["run"], 1e-9)
                      for t, o in zip(by_name["timer"], by_name[other])]
            line = "    %-30s%s%9.2f" % (label, "".join("%9.2f" % r for r in ratios),
                                         statistics.median(ratios))
            if other == "bare label":
                line += "   target <= %.1f: %s" % (
                    target, "met" if statistics.median(ratios) <= target else "MISSED")
            print(line)
        hwm = {name: statistics.median(row["hwm"] for row in by_name[name]) for name in names}
        print("    peak RSS (VmHWM, median): %s" % ", ".join(
            "%s %.1f MB" % (name.split()[0], hwm[name]) for name in names))
        timer_rows = by_name["timer"]
        print("    timer's window %dx%d: %.1f damage rectangles/s, %.0f px/s, %.1f %% ever drawn"
              % (timer_rows[0]["size"] + (statistics.median(r["events"] for r in timer_rows),
                                          statistics.median(r["pixels"] for r in timer_rows),
                                          100 * statistics.median(r["ever"] for r in timer_rows))))
    print("  (peak RSS target < 40 MB: %s)" % (
        "met" if all(row["hwm"] < 40 for key in results for run in results[key]
                     for row in run if row["name"] == "timer") else "MISSED"))


def print_pixels(rows, shots_dir):
    print()
    print("The window against the earlier build's, at the same faked instants (TZ=Asia/Seoul)")
    states = []
    for state, _, _, _ in rows:
        if state not in states:
            states.append(state)
    for state in states:
        mine = [row for row in rows if row[0] == state]
        same = sum(1 for row in mine if row[3] == 0)
        print("  %-36s %d of %d instants pixel-identical" % (state, same, len(mine)))
        for _, instant, areas, differing in mine:
            if differing is None:
                print("    %s: sizes differ, %dx%d before, %dx%d after" % (
                    instant, areas[0][2], areas[0][3], areas[1][2], areas[1][3]))
            elif differing:
                print("    %s: %d pixels differ (both %dx%d; screenshots in %s)" % (
                    instant, differing, areas[0][2], areas[0][3], shots_dir))


def print_glass(rows):
    print()
    print("Glass steps: xcompmgr, one timer in each state of its glass box, next to xclock")
    xclock = next(row for row in rows if row["name"].startswith("xclock"))
    for row in rows:
        print("  %-31s %7.1f ms per 60 s  = %4.1f x xclock;  VmHWM %5.1f MB;  %.1f %% ever drawn"
              % (row["name"], per_minute(row), row["run"] / max(xclock["run"], 1e-9),
                 row["hwm"], 100 * row["ever"]))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--timer", required=True)
    parser.add_argument("--bare", required=True, help="the one-label Qt program")
    parser.add_argument("--before", help="an earlier build's timer, for the pixels")
    parser.add_argument("--seconds", type=float, default=60)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--launches", type=int, default=10)
    parser.add_argument("--glass-seconds", type=float, default=0,
                        help="length of the run in each glass step (default 0: none)")
    parser.add_argument("--shots", help="where differing windows are saved")
    args = parser.parse_args()
    timer = os.path.abspath(args.timer)

    # xsession.sh ends with a TERM; let the finally below stop the clients.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    log_dir = tempfile.mkdtemp(prefix="bench_x.")
    shots_dir = args.shots or log_dir
    processes = Processes(log_dir)
    watch = XWatch()
    keep_logs = False
    try:
        print_launches(measure_launches(watch, processes, timer, args.launches))
        sys.stdout.flush()
        if args.runs > 0:
            print_load(measure_load(watch, processes, timer, os.path.abspath(args.bare),
                                    args.seconds, args.runs), args.seconds)
            sys.stdout.flush()
        if args.before:
            rows = compare_pixels(watch, processes, os.path.abspath(args.before), timer,
                                  shots_dir)
            keep_logs = any(row[3] != 0 for row in rows)
            print_pixels(rows, shots_dir)
            sys.stdout.flush()
        if args.glass_seconds > 0:
            print_glass(measure_glass(watch, processes, timer, args.glass_seconds))
    except BaseException:
        keep_logs = True
        print("bench_x: the clients' output is in %s" % log_dir, file=sys.stderr)
        raise
    finally:
        processes.stop_all()
        watch.close()
        if not keep_logs:
            shutil.rmtree(log_dir)


if __name__ == "__main__":
    main()
