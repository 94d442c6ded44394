"""A private X session for the tests: Xvfb on a display number it chooses
itself (-displayfd, so parallel runs never collide), openbox, a D-Bus session
bus, and an XDG_RUNTIME_DIR and XDG_CONFIG_HOME of its own, so that no
settings of the user's (the clock's among them) take part. Everything it
starts is stopped by its PID.

The pytest fixtures of tests/conftest.py start one per test run. As a
program it runs a command inside one and exits with the command's code:

    xsession.py COMMAND [ARG...]
"""
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

from Xlib import X, Xatom, display as xdisplay

# The screen every test and benchmark works on.
SCREEN = (1280, 1024)

QUIET = {"stdin": subprocess.DEVNULL, "stdout": subprocess.DEVNULL,
         "stderr": subprocess.DEVNULL}


class Failure(Exception):
    """A check of the tests failed, or what they need could not be had."""


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_for(predicate, timeout=10.0, interval=0.1, what="condition"):
    """Polls predicate until it returns something true, and returns that."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure("timed out waiting for " + what)
        time.sleep(interval)


def stays(predicate, seconds, what):
    """Checks that predicate holds throughout the given time."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        check(predicate(), what)
        time.sleep(0.1)


def stop_process(process, grace=5):
    """Terminates a process we started, and kills it if it lingers."""
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(grace)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def run(*args, check_rc=True, timeout=30, env=None):
    """Runs a command to its end and returns what it printed."""
    try:
        result = subprocess.run(args, capture_output=True, text=True, timeout=timeout, env=env)
    except subprocess.TimeoutExpired:
        raise Failure("%s did not finish within %ss" % (" ".join(args), timeout))
    if check_rc and result.returncode != 0:
        raise Failure("%s failed: %s" % (" ".join(args), result.stderr.strip()))
    return result.stdout


def private_runtime_dir():
    """A fresh XDG_RUNTIME_DIR, for a clock that must not meet the others;
    inside the session's own, which goes with the session."""
    path = tempfile.mkdtemp(prefix="runtime", dir=os.environ["XDG_RUNTIME_DIR"])
    os.chmod(path, 0o700)
    return path


class Helper:
    """Another program a test runs beside the one under test."""

    def __init__(self, *args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=None):
        self.name = os.path.basename(args[0])
        self.process = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=stdout,
                                        stderr=stderr, env=env)

    def running(self):
        return self.process.poll() is None

    def stop(self):
        stop_process(self.process)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


class SoundServer:
    """A PulseAudio server of the test's own with one null sink, "out",
    whose monitor a recording reads; env() points programs at it."""

    def __init__(self, directory):
        self.directory = directory
        self.socket = os.path.join(directory, "pulse.sock")
        home = os.path.join(directory, "pulse-home")
        os.makedirs(home, exist_ok=True)
        own = dict(os.environ, HOME=home, XDG_RUNTIME_DIR=directory, XDG_CONFIG_HOME=home)
        self.server = Helper("pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
                             "--use-pid-file=no", "-L", "module-null-sink sink_name=out",
                             "-L", "module-native-protocol-unix auth-anonymous=1 socket=%s"
                             % self.socket, env=own)
        try:
            wait_for(lambda: self._answers(), 15, interval=0.2, what="the sound server")
        except BaseException:
            self.stop()
            raise

    def env(self):
        return {"PULSE_SERVER": "unix:" + self.socket}

    def _answers(self):
        check(self.server.running(), "pulseaudio exited with code %s"
              % self.server.process.returncode)
        return subprocess.run(["pactl", "list", "short", "sinks"], env=dict(os.environ, **self.env()),
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).returncode == 0

    def record(self, name):
        """A recording of everything the sink plays, from now until it is
        stopped (Recording.stop())."""
        return Recording(os.path.join(self.directory, name), self.env())

    def stop(self):
        self.server.stop()


class Recording:
    def __init__(self, path, env):
        self.path = path
        self.process = subprocess.Popen(
            ["parec", "--latency-msec=50", "-d", "out.monitor", "--file-format=wav", path],
            env=dict(os.environ, **env), stdin=subprocess.DEVNULL)
        # parec writes the header before it connects: it records once the
        # sink's samples follow.
        wait_for(lambda: os.path.exists(path) and os.path.getsize(path) > 16384, 10,
                 what="parec to record")

    def stop(self):
        """Ends the recording and returns its loudest sample, 0 to 1."""
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGINT)
            self.process.wait(10)
        out = subprocess.run(["sox", self.path, "-n", "stat"], stdout=subprocess.PIPE,
                             stderr=subprocess.STDOUT, text=True, check=True).stdout
        return float(re.search(r"Maximum amplitude:\s*(\S+)", out).group(1))


class XSession:
    """Xvfb, openbox and a session bus; env() is what a program needs to
    run in it."""

    def __init__(self):
        self.runtime = tempfile.mkdtemp(prefix="xsession.")
        os.chmod(self.runtime, 0o700)
        self.config = os.path.join(self.runtime, "config")
        os.mkdir(self.config)
        self.display = None
        self.bus = None
        self._processes = []
        try:
            self._start_x()
            self._start_window_manager()
            self._start_bus()
        except BaseException:
            self.stop()
            raise

    def env(self, base=None):
        environment = dict(os.environ if base is None else base)
        own = {"DISPLAY": self.display, "XDG_RUNTIME_DIR": self.runtime,
               "XDG_CONFIG_HOME": self.config, "DBUS_SESSION_BUS_ADDRESS": self.bus}
        environment.update({k: v for k, v in own.items() if v is not None})
        return environment

    def _spawn(self, name, *args, **kwargs):
        log = open(os.path.join(self.runtime, name + ".log"), "wb")
        process = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                                   **kwargs)
        log.close()
        self._processes.append(process)
        return process

    def _log(self, name):
        with open(os.path.join(self.runtime, name + ".log"), errors="replace") as f:
            return f.read()

    def _start_x(self):
        read, write = os.pipe()
        try:
            xvfb = self._spawn("xvfb", "Xvfb", "-displayfd", str(write), "-screen", "0",
                               "%dx%dx24" % SCREEN, "-nolisten", "tcp", pass_fds=[write])
        finally:
            os.close(write)
        with os.fdopen(read) as announced:
            ready, _, _ = select.select([announced], [], [], 15)
            number = announced.readline().strip() if ready else ""
        check(number and xvfb.poll() is None,
              "Xvfb reported no display: %s" % self._log("xvfb"))
        self.display = ":" + number

    def _start_window_manager(self):
        self._spawn("openbox", "openbox", "--sm-disable", env=self.env())
        connection = xdisplay.Display(self.display)
        try:
            root = connection.screen().root
            supporting = connection.intern_atom("_NET_SUPPORTING_WM_CHECK")
            wait_for(lambda: root.get_full_property(supporting, Xatom.WINDOW), 10,
                     what="openbox to announce itself")
            # openbox announces itself before it manages windows, and a
            # window mapped in that moment stays unmanaged for good; a probe
            # is mapped again until openbox has framed it.
            probe = root.create_window(0, 0, 40, 20, 0, X.CopyFromParent)
            probe.set_wm_name("wm-probe")

            def framed():
                if probe.query_tree().parent != root:
                    return True
                probe.map()
                connection.sync()
                time.sleep(0.1)
                return probe.query_tree().parent != root
            wait_for(framed, 10, interval=0.1, what="openbox to manage windows")
            probe.destroy()
            connection.sync()
        finally:
            connection.close()

    def _start_bus(self):
        bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--nopidfile",
                                "--print-address=1"], env=self.env(),
                               stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL, text=True)
        self._processes.append(bus)
        ready, _, _ = select.select([bus.stdout], [], [], 15)
        self.bus = bus.stdout.readline().strip() if ready else ""
        check(self.bus, "the session bus reported no address")

    def stop(self):
        for process in reversed(self._processes):
            stop_process(process)
            if process.stdout:
                process.stdout.close()
        self._processes = []
        shutil.rmtree(self.runtime, ignore_errors=True)


def main(argv):
    if not argv:
        print(__doc__, file=sys.stderr)
        return 2
    # A test runner that gives up on the command sends a TERM: what was
    # started here is stopped all the same.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    session = XSession()
    try:
        return subprocess.run(argv, env=session.env()).returncode
    except KeyboardInterrupt:
        return 130
    finally:
        session.stop()


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
