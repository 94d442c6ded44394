"""Measures the real timer on an X server: how long it takes from spawning
to a window on screen, and what it costs to keep running next to xclock.

Run it on the private X session of tests/e2e/xsession.sh:

    xsession.sh python3 scripts/bench_x.py --timer build/bin/timer

Windows are watched through the X server itself (Xlib and the DAMAGE
extension, reached with ctypes so that nothing needs installing): a process
is known by the _NET_WM_PID of its top-level window, and every drawing into
that window arrives as a damage rectangle. Processes are read from /proc.
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

    def start_counting(self, window):
        window.size = self.geometry(window.wid) or (0, 0)
        window.painted = bytearray(window.size[0] * window.size[1])
        window.damage_events = window.damaged_pixels = 0
        window.counting = True


# --- processes ----------------------------------------------------------------

CLOCK_TICKS = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    """utime + stime of a live process."""
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    # Fields 14 and 15 of the line; the split starts at field 3 (state).
    return (int(fields[11]) + int(fields[12])) / CLOCK_TICKS


def run_seconds(pid):
    """Time on a CPU from the scheduler's own count, in nanoseconds rather
    than the clock ticks of /proc/PID/stat, which a quiet program spends few of."""
    with open("/proc/%d/schedstat" % pid) as f:
        return int(f.read().split()[0]) / 1e9


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


def measure_load(watch, processes, timer, seconds):
    clients = [
        ("timer", processes.spawn("timer", [timer], timer_environment(False)), None),
        ("timer, accessibility on",
         processes.spawn("timer-a11y", [timer], timer_environment(True)), None),
        ("xclock -digital -update 1",
         processes.spawn("xclock", ["xclock", "-digital", "-update", "1"],
                         timer_environment(False)), "XClock"),
    ]
    windows = {}

    def all_shown():
        for name, process, wm_class in clients:
            if process.poll() is not None:
                raise SystemExit("bench_x: %s exited with code %d" % (name, process.returncode))
            if name not in windows:
                window = watch.find(pid=None if wm_class else process.pid, wm_class=wm_class)
                if window is not None:
                    windows[name] = window
        return len(windows) == len(clients)

    if not watch.pump_until(all_shown, 30):
        raise SystemExit("bench_x: not every window appeared within 30 s")
    # Past start-up, so that the window covers the steady state only.
    watch.pump(2)
    cpu_before, run_before = {}, {}
    for name, process, _ in clients:
        cpu_before[name] = cpu_seconds(process.pid)
        run_before[name] = run_seconds(process.pid)
        watch.start_counting(windows[name])
    started = time.monotonic()
    watch.pump(seconds)
    elapsed = time.monotonic() - started

    rows = []
    for name, process, _ in clients:
        if process.poll() is not None:
            raise SystemExit("bench_x: %s exited during the run" % name)
        window = windows[name]
        width, height = window.size
        cpu_total = cpu_seconds(process.pid)
        rows.append({
            "name": name,
            "cpu": cpu_total - cpu_before[name],
            "run": run_seconds(process.pid) - run_before[name],
            "cpu_startup": cpu_before[name],
            "hwm": memory_kib(process.pid, "VmHWM") / 1024,
            "rss": memory_kib(process.pid, "VmRSS") / 1024,
            "size": (width, height),
            "events": window.damage_events / elapsed,
            "pixels": window.damaged_pixels / elapsed,
            "ever": window.painted.count(1) / max(width * height, 1),
        })
    for _, process, _ in clients:
        processes.stop(process)
    return rows, elapsed


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--timer", required=True)
    parser.add_argument("--seconds", type=float, default=60)
    parser.add_argument("--launches", type=int, default=10)
    args = parser.parse_args()
    timer = os.path.abspath(args.timer)

    # xsession.sh ends with a TERM; let the finally below stop the clients.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    log_dir = tempfile.mkdtemp(prefix="bench_x.")
    processes = Processes(log_dir)
    watch = XWatch()
    try:
        launches = measure_launches(watch, processes, timer, args.launches)
        load, elapsed = measure_load(watch, processes, timer, args.seconds)
    except BaseException:
        print("bench_x: the clients' output is in %s" % log_dir, file=sys.stderr)
        raise
    else:
        shutil.rmtree(log_dir)
    finally:
        processes.stop_all()
        watch.close()

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
    print()
    print("Side by side for %.1f s after start-up (one X server, %d cores)" % (
        elapsed, os.cpu_count()))
    print("  %-26s %7s %8s %8s %8s %8s %10s %9s %9s %7s" % (
        "", "CPU s", "sched ms", "start s", "VmHWM", "VmRSS", "window", "damage/s", "px/s",
        "ever"))
    for row in load:
        print("  %-26s %7.2f %8.1f %8.2f %6.1f M %6.1f M %10s %9.1f %9.0f %6.1f%%" % (
            row["name"], row["cpu"], 1000 * row["run"], row["cpu_startup"], row["hwm"], row["rss"],
            "%dx%d" % row["size"], row["events"], row["pixels"], 100 * row["ever"]))
    timer_row, xclock_row = load[0], load[2]
    print("  targets: timer CPU <= xclock CPU: %s; timer VmHWM < 40 MB: %s" % (
        "met" if timer_row["cpu"] <= xclock_row["cpu"] else "MISSED",
        "met" if timer_row["hwm"] < 40 else "MISSED"))
    print("  (CPU s: utime+stime at %d ticks/s; sched ms: the same time from schedstat;"
          % CLOCK_TICKS)
    print("   'ever': share of the window's pixels drawn at least once in the run)")


if __name__ == "__main__":
    main()
