"""Alarms of the real timer: a settings file in a private configuration
folder, the clock placed by libfaketime shortly before the moongate opens,
and dunst as the notification service on the session bus, whose Notify calls
dbus-monitor records."""
import argparse
import os
import re
import subprocess
import tempfile

from harness import (Failure, Helper, Timer, check, faketime_file, main, run, screenshot,
                     start_tray, stays, stop_process, wait_for, x_ancestors)

# 2026-12-07 in Seoul: the game day from 21:00 opens its gate after cycle
# second 1626, at 21:27:06, to 라비던전; a warning one minute ahead is due
# at 21:26:06.
BEFORE = "2026-12-07 21:25:40"
WARNING = "2026-12-07 21:26:06"
WARNED = [("2026-12-07 21:26:30", "00:36 후 열림"),   # on
          ("2026-12-07 21:25:50", "01:16 후 열림"),   # set back before the warning
          ("2026-12-07 21:26:10", "00:56 후 열림")]   # and past it again

parser = argparse.ArgumentParser()
parser.add_argument("--timer", required=True)
parser.add_argument("--shots", required=True)
args = parser.parse_args()
os.makedirs(args.shots, exist_ok=True)


class Notifications:
    """dunst serving org.freedesktop.Notifications, and the Notify calls
    that reach it."""

    def __init__(self):
        self.log = tempfile.NamedTemporaryFile(prefix="notify", suffix=".log")
        self.dunst = Helper("dunst")
        self.monitor = None
        try:
            wait_for(self._served, 15, interval=0.2, what="dunst on the session bus")
            self.monitor = Helper("dbus-monitor", "--session",
                                  "type='method_call',interface='org.freedesktop.Notifications',"
                                  "member='Notify'", stdout=self.log)
            # It announces itself with a signal of its own once it listens.
            wait_for(lambda: os.path.getsize(self.log.name) > 0, 10, what="dbus-monitor")
        except BaseException:
            self.stop()
            raise

    def _served(self):
        if self.dunst.process.poll() is not None:
            raise Failure("dunst exited with code %d" % self.dunst.process.returncode)
        out = run("dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus",
                  "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner",
                  "string:org.freedesktop.Notifications", check_rc=False)
        return "boolean true" in out

    def calls(self):
        """Each Notify call as (summary, body, the whole message)."""
        with open(self.log.name, encoding="utf-8", errors="replace") as f:
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
        self.log.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


class Clock:
    """A faked clock that stands still at the instant written to its file."""

    def __init__(self, instant):
        self.file = tempfile.NamedTemporaryFile("w", suffix=".faketime")
        self.set(instant)

    def set(self, instant):
        with open(self.file.name, "w") as f:
            f.write(instant + "\n")

    def env(self):
        return faketime_file(self.file.name)


def config_home(settings=None):
    """A private configuration folder, with the alarms file if given."""
    home = tempfile.TemporaryDirectory(prefix="config")
    if settings is not None:
        os.makedirs(os.path.join(home.name, "tarvenel-timer"))
        with open(os.path.join(home.name, "tarvenel-timer", "alarms.ini"), "wb") as f:
            f.write(settings)
    return home


def moongate(timer):
    return timer.data_labels()["moongate"]


def shows(timer, countdown):
    """Waits until the gate's panel shows the countdown: the window has
    refreshed at the instant the clock was set to."""
    wanted = "라비던전 - 대기 (%s)" % countdown
    wait_for(lambda: moongate(timer) == wanted, 15, interval=0.2,
             what="the panel to read %r (it reads %r)" % (wanted, moongate(timer)))


def run_across_the_warning(settings):
    """Runs the timer with these settings from before the warning to past
    it, with a jump back and forth, and returns the Notify calls."""
    with config_home(settings) as home, Notifications() as notifications:
        clock = Clock(BEFORE)
        env = dict(clock.env(), XDG_CONFIG_HOME=home)
        with Timer(args.timer, env=env) as timer:
            shows(timer, "01:26 후 열림")
            check(notifications.calls() == [], "a notification before the warning")
            clock.set(WARNING)
            # The panel and the notice agree: one minute to go.
            shows(timer, "01:00 후 열림")
            if b"muted=true" not in settings:
                wait_for(notifications.calls, 15, interval=0.2, what="a notification")
                wait_for(lambda: run("xdotool", "search", "--onlyvisible", "--class", "^Dunst$",
                                     check_rc=False).strip(), 10, what="dunst to show it")
                screenshot(os.path.join(args.shots, "alarm.png"))
            for instant, countdown in WARNED:
                clock.set(instant)
                shows(timer, countdown)
            # Time for a late call to arrive.
            stays(lambda: len(notifications.calls()) <= 1, 2, "a second notification arrived")
            return notifications.calls()


def one_notification_names_the_destination():
    calls = run_across_the_warning(b"[moongate]\nopens=1\n")
    check(len(calls) == 1, "expected one notification, got %r" % [c[:2] for c in calls])
    summary, body, message = calls[0]
    check(summary == "문게이트: 라비던전", "summary: %r" % summary)
    check(body == "1분 후 열림", "body: %r" % body)
    check('"sound-name"' in message and '"message-new-instant"' in message,
          "no sound hint in %r" % message)


def none_when_muted():
    calls = run_across_the_warning(b"muted=true\n[moongate]\nopens=1\n")
    check(calls == [], "notifications while muted: %r" % [c[:2] for c in calls])


# A session bus that has no notification service and starts none.
BARE_BUS = """<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=/tmp</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
"""


def tray_message_without_a_notification_service():
    """On a session bus without a notification service the tray icon shows
    the notice. The program is then off the accessibility bus, so it is
    watched through X alone: the message is the icon's balloon window."""
    with tempfile.NamedTemporaryFile("w", suffix=".conf") as config, \
            tempfile.NamedTemporaryFile(suffix=".address") as address, \
            config_home(b"[moongate]\nopens=1\n") as home, start_tray():
        config.write(BARE_BUS)
        config.flush()
        with Helper("dbus-daemon", "--nofork", "--print-address=1", "--config-file=" + config.name,
                    stdout=address):
            bus = wait_for(lambda: open(address.name).read().strip(), 10, what="a bare bus")
            clock = Clock(BEFORE)
            env = dict(os.environ, TZ="Asia/Seoul", QT_QPA_PLATFORM="xcb", XDG_CONFIG_HOME=home,
                       DBUS_SESSION_BUS_ADDRESS=bus, **clock.env())
            timer = subprocess.Popen([args.timer], env=env)
            try:
                pid = str(timer.pid)

                def windows(kind):
                    return [w for w in run("xdotool", "search", "--onlyvisible", "--pid", pid,
                                           check_rc=False).split()
                            if kind in run("xprop", "-id", w, "_NET_WM_WINDOW_TYPE", check_rc=False)]
                def docked():
                    return any('"trayer"' in run("xprop", "-id", str(a), "WM_CLASS", check_rc=False)
                               for w in windows("") for a in x_ancestors(int(w)))
                # Docked once the event loop runs; ticks after that have read
                # the clock before the warning.
                wait_for(docked, 20, what="the tray icon")
                stays(lambda: not windows("_NET_WM_WINDOW_TYPE_TOOLTIP"), 2,
                      "a message before the warning")
                clock.set(WARNING)
                wait_for(lambda: windows("_NET_WM_WINDOW_TYPE_TOOLTIP"), 15, interval=0.2,
                         what="the tray icon's message")
                screenshot(os.path.join(args.shots, "alarm-tray.png"))
            finally:
                stop_process(timer)


def plain_run_makes_no_file():
    with config_home() as home, Notifications() as notifications:
        clock = Clock(BEFORE)
        with Timer(args.timer, env=dict(clock.env(), XDG_CONFIG_HOME=home)) as timer:
            shows(timer, "01:26 후 열림")
            clock.set(WARNING)
            shows(timer, "01:00 후 열림")
        check(os.listdir(home) == [], "a plain run left %r" % os.listdir(home))
        check(notifications.calls() == [], "a notification without alarms")


def broken_file_is_kept_and_reported_once():
    # One good alarm beside a bad one: all stay off.
    broken = b"[moongate]\nopens=1\n\n[job]\nstarts=45\n"
    with config_home(broken) as home, Notifications() as notifications, \
            tempfile.TemporaryFile() as errors:
        clock = Clock(BEFORE)
        path = os.path.join(home, "tarvenel-timer", "alarms.ini")
        with Timer(args.timer, env=dict(clock.env(), XDG_CONFIG_HOME=home),
                   stderr=errors) as timer:
            shows(timer, "01:26 후 열림")
            for instant, countdown in [(WARNING, "01:00 후 열림")] + WARNED:
                clock.set(instant)
                shows(timer, countdown)
        check(notifications.calls() == [], "a notification from a broken file")
        with open(path, "rb") as f:
            check(f.read() == broken, "the broken file was changed")
        errors.seek(0)
        lines = [l for l in errors.read().decode("utf-8", "replace").splitlines()
                 if l.startswith("timer:")]
        check(lines == ['timer: alarms are off: %s: job/starts: "45" is not a number of minutes '
                        'from 0 to 30; the file stays as it is until an alarm is changed' % path],
              "standard error: %r" % lines)


if __name__ == "__main__":
    main([one_notification_names_the_destination, none_when_muted,
          tray_message_without_a_notification_service, plain_run_makes_no_file,
          broken_file_is_kept_and_reported_once])
