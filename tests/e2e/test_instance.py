"""One clock per session, clear words when there is no window system, and
the warning when no font can show Hangul: the real binary on a private X
server."""
import argparse
import os
import re
import shutil
import subprocess
import tempfile
import time

from harness import (TITLE, Failure, Timer, check, main, press, private_runtime_dir, run,
                     start_tray, stays, stop_process, wait_for)

parser = argparse.ArgumentParser()
parser.add_argument("--timer", required=True)
parser.add_argument("--shots", required=True)
args = parser.parse_args()

FONT_PACKAGE = "fonts-nanum"


def start_again(env=None, timeout=20):
    """A second start of the program; returns its exit code and output."""
    environment = dict(os.environ, QT_QPA_PLATFORM="xcb")
    environment.update(env or {})
    try:
        done = subprocess.run([args.timer], env=environment, capture_output=True, text=True,
                              timeout=timeout)
    except subprocess.TimeoutExpired:
        raise Failure("a second start still runs after %ss" % timeout)
    return done.returncode, done.stdout + done.stderr


def clock_windows():
    return run("xdotool", "search", "--all", "--onlyvisible", "--name",
               "^" + re.escape(TITLE) + "$", check_rc=False).split()


def second_start_brings_the_hidden_window_back():
    with start_tray(), Timer(args.timer) as timer:
        timer.wait_loaded()
        timer.settle()
        press(timer.ask_to_close(), "No")
        wait_for(lambda: not timer.is_mapped(), 5, what="the window to hide")

        startup_id = "e2e-launcher-1_TIME%d" % int(time.time())
        code, said = start_again({"DESKTOP_STARTUP_ID": startup_id})
        check(code == 0, "the second start exited %d: %s" % (code, said))
        wait_for(lambda: timer.is_mapped() and timer.is_active(), 10,
                 what="the window to come back and take the focus")
        check(startup_id in timer.xprop("_NET_STARTUP_ID"),
              "the window lacks the second start's id: %s" % timer.xprop("_NET_STARTUP_ID"))
        check(len(clock_windows()) == 1, "clock windows: %r" % clock_windows())

        # Shown already, in the background: it comes to the front.
        other = subprocess.Popen(["xmessage", "-name", "cover", "-geometry", "+0+0", "cover"])
        try:
            wait_for(lambda: not timer.is_active(), 10, what="another window to take the focus")
            code, said = start_again()
            check(code == 0, "the third start exited %d: %s" % (code, said))
            wait_for(timer.is_active, 10, what="the window to take the focus again")
        finally:
            stop_process(other)
        timer.check_running()


def starts_at_once_end_with_one_clock():
    environment = dict(os.environ, QT_QPA_PLATFORM="xcb")
    starts = [subprocess.Popen([args.timer], env=environment, stderr=subprocess.PIPE)
              for _ in range(4)]
    try:
        def three_ended():
            return sum(p.poll() is not None for p in starts) >= 3 and starts
        wait_for(three_ended, 30, what="three of four simultaneous starts to end")
        ended = [p for p in starts if p.poll() is not None]
        check(len(ended) == 3, "%d of 4 starts ended" % len(ended))
        codes = [p.returncode for p in ended]
        check(codes == [0, 0, 0], "exit codes of the later starts: %r" % codes)
        wait_for(lambda: len(clock_windows()) == 1, 15, what="the one clock's window")
        stays(lambda: len(clock_windows()) == 1 and sum(p.poll() is None for p in starts) == 1,
              1.0, "not exactly one clock")
    finally:
        for p in starts:
            stop_process(p)
            p.stderr.close()


def a_crashed_clock_does_not_block_the_next():
    timer = Timer(args.timer)
    timer.process.kill()
    timer.process.wait()
    runtime = os.environ["XDG_RUNTIME_DIR"]
    check(any(name.endswith(".socket") for name in os.listdir(runtime)),
          "the killed clock left no socket behind; the case is not tested")
    with Timer(args.timer) as again:
        again.wait_loaded()
        code, said = start_again()
        check(code == 0, "a start beside the new clock exited %d: %s" % (code, said))
        again.check_running()


def free_display():
    for number in range(4242, 4342):
        if not os.path.exists("/tmp/.X11-unix/X%d" % number) and \
                not os.path.exists("/tmp/.X%d-lock" % number):
            return ":%d" % number
    raise Failure("no free display number")


def no_window_system_says_so_and_exits_1():
    cases = [
        ("no DISPLAY", {"DISPLAY": None, "WAYLAND_DISPLAY": None}, [], "DISPLAY is not set"),
        ("DISPLAY points nowhere", {"DISPLAY": free_display()}, [], "cannot be reached"),
        ("-platform bogus", {}, ["-platform", "bogus"], '"bogus" is not available'),
    ]
    for name, env, extra, expected in cases:
        environment = dict(os.environ, XDG_RUNTIME_DIR=private_runtime_dir())
        environment.pop("QT_QPA_PLATFORM", None)
        environment.update(env)
        environment = {k: v for k, v in environment.items() if v is not None}
        try:
            done = subprocess.run([args.timer, *extra], env=environment, capture_output=True,
                                  text=True, timeout=30)
        finally:
            shutil.rmtree(environment["XDG_RUNTIME_DIR"], ignore_errors=True)
        lines = done.stderr.strip().splitlines()
        check(done.returncode == 1, "%s: exit code %d, said %r" % (name, done.returncode, lines))
        check(len(lines) == 1 and lines[0].startswith("timer: ") and expected in lines[0],
              "%s: said %r" % (name, lines))
        check("Reinstalling" not in done.stderr and "plugin" not in done.stderr,
              "%s: the toolkit's plugin text reached the user: %r" % (name, done.stderr))


def unknown_options_keep_the_toolkits_handling():
    with Timer(args.timer, args=["-no-such-option", "-reverse"]) as timer:
        timer.wait_loaded()
        timer.check_running()


def fonts_without_hangul(folder):
    """A fontconfig setup that hides every font with a Hangul syllable."""
    path = os.path.join(folder, "fonts.conf")
    with open(path, "w") as f:
        f.write("""<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">
<fontconfig>
  <include ignore_missing="yes">/etc/fonts/fonts.conf</include>
  <cachedir>%s/cache</cachedir>
  <selectfont><rejectfont><pattern><patelt name="charset"><charset>
    <range><int>0xac00</int><int>0xd7a3</int></range>
  </charset></patelt></pattern></rejectfont></selectfont>
</fontconfig>
""" % folder)
    return path


def missing_hangul_font_is_reported_once():
    folder = tempfile.mkdtemp(prefix="fonts")
    try:
        for env, expected in (({"FONTCONFIG_FILE": fonts_without_hangul(folder)}, 1), ({}, 0)):
            said = os.path.join(folder, "stderr")
            with open(said, "w") as err:
                with Timer(args.timer, env=env, stderr=err) as timer:
                    timer.wait_loaded()
                    time.sleep(1.0)
            with open(said) as err:
                text = err.read()
            warnings = [line for line in text.splitlines() if FONT_PACKAGE in line]
            check(len(warnings) == expected,
                  "with %r: %d warnings naming %s in %r" % (env, len(warnings), FONT_PACKAGE, text))
    finally:
        shutil.rmtree(folder, ignore_errors=True)


main([second_start_brings_the_hidden_window_back, starts_at_once_end_with_one_clock,
      a_crashed_clock_does_not_block_the_next, no_window_system_says_so_and_exits_1,
      unknown_options_keep_the_toolkits_handling, missing_hangul_font_is_reported_once])
