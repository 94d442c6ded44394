"""Drives the real timer binary on the X session that xsession.sh provides.

The window's texts are read back over AT-SPI (a label's accessible name is
its text), its X properties with xprop, and its pixels with ImageMagick.
"""
import os
import re
import subprocess
import sys
import time

import pyatspi

TITLE = "Tarvenel Timer v0.3.1"
CAPTIONS = ["에린시간:", "현실시간:", "문게이트:", "아르바이트:", "요일효과:",
            "어드밴스트 아이템:", "프라이스:", "플레타:"]
DATA_LABELS = ["gameTime", "realTime", "moongate", "moongateRoute", "job",
               "dayName", "dayEffect", "dayItem", "merchant", "merchantNext",
               "merchantAfter"]


FAKETIME_LIBRARY = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"


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


def run(*args, check_rc=True):
    result = subprocess.run(args, capture_output=True, text=True)
    if check_rc and result.returncode != 0:
        raise Failure("%s failed: %s" % (" ".join(args), result.stderr.strip()))
    return result.stdout


class Timer:
    """One running timer process and handles on its window."""

    def __init__(self, binary, fake_time=None, tz="Asia/Seoul", env=None):
        environment = dict(os.environ)
        environment.update({"TZ": tz, "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
                            "QT_QPA_PLATFORM": "xcb"})
        environment.update(env or {})
        if fake_time:
            # libfaketime preloaded directly rather than through the faketime
            # wrapper, so that the process found on the bus is the timer itself.
            # Starting at the given instant, the clock keeps running.
            environment.update({"LD_PRELOAD": FAKETIME_LIBRARY,
                                "FAKETIME": "@" + fake_time})
        self.process = subprocess.Popen([binary], env=environment)
        try:
            self.app = wait_for(self._find_app, 15, what="timer on the accessibility bus")
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
        out = run("xdotool", "search", "--pid", str(self.process.pid),
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

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


def screenshot(path):
    run("import", "-window", "root", path)


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
