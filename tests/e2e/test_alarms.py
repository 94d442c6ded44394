"""Alarms of the real timer: a settings file in a private configuration
folder, the clock placed by libfaketime shortly before the moongate opens,
dunst as the notification service on the session bus, whose Notify calls
dbus-monitor records, and a sound server of the test's own, recorded."""
import os
import time

import pytest

import xscreen
from xsession import Helper, stays, wait_for

# 2026-12-07 in Seoul: the game day from 21:00 opens its gate after cycle
# second 1626, at 21:27:06, to 라비던전; a warning one minute ahead is due
# at 21:26:06.
BEFORE = "2026-12-07 21:25:40"
WARNING = "2026-12-07 21:26:06"
WARNED = [("2026-12-07 21:26:30", "00:36 후 열림"),   # on
          ("2026-12-07 21:25:50", "01:16 후 열림"),   # set back before the warning
          ("2026-12-07 21:26:10", "00:56 후 열림")]   # and past it again


@pytest.fixture
def alarms_file(private_dirs):
    """Writes the clock's alarms file into the test's configuration folder."""
    path = os.path.join(private_dirs, "tarvenel-timer", "alarms.ini")

    def write(settings):
        os.makedirs(os.path.dirname(path))
        with open(path, "wb") as f:
            f.write(settings)
        return path
    return write


@pytest.fixture
def clock(fake_clock):
    fake_clock.set(BEFORE)
    return fake_clock


def moongate(timer):
    return timer.data_labels()["moongate"]


def shows(timer, countdown):
    """Waits until the gate's panel shows the countdown: the window has
    refreshed at the instant the clock was set to."""
    wanted = "라비던전 - 대기 (%s)" % countdown
    wait_for(lambda: moongate(timer) == wanted, 15, interval=0.2,
             what="the panel to read %r (it reads %r)" % (wanted, moongate(timer)))


def to_the_warning(timer, clock):
    shows(timer, "01:26 후 열림")
    clock.set(WARNING)
    # The panel and the notice agree: one minute to go.
    shows(timer, "01:00 후 열림")


def highlighted(shot, geometry):
    """Whether the upper part of the window, where the moongate's row is,
    shows the band's blue: nothing else there is blue."""
    x, y, w, h = geometry
    blue = sum(1 for i in range(x, x + w, 2) for j in range(y, y + h * 2 // 5, 2)
               if (lambda r, g, b: b > r + 80)(*shot.pixel(i, j)))
    return blue > 50


def past_the_warning_and_back(timer, clock):
    for instant, countdown in WARNED:
        clock.set(instant)
        shows(timer, countdown)


def test_one_notification_names_the_destination(alarms_file, notifications, sound, clock,
                                                 clocks, game, shots):
    """The alarm sounds through the sound server, lights up its row and
    asks for attention, while the window that has the keyboard keeps it."""
    alarms_file(b"[moongate]\nopens=1\n")
    timer = clocks.start(clock=clock)
    shows(timer, "01:26 후 열림")
    assert notifications.calls() == [], "a notification before the warning"
    xscreen.activate(game.id)
    wait_for(lambda: xscreen.active_window() == game.id, 5, what="the game to have the focus")
    recording = sound.record("alarm.wav")
    to_the_warning(timer, clock)
    wait_for(notifications.calls, 15, interval=0.2, what="a notification")
    wait_for(lambda: xscreen.windows(class_name="Dunst"), 10, what="dunst to show it")
    wait_for(lambda: "_NET_WM_STATE_DEMANDS_ATTENTION" in timer.net_wm_state(), 5,
             what="the clock to ask for attention")
    shot = xscreen.Shot()
    shot.save(os.path.join(shots, "alarm.png"))
    assert highlighted(shot, timer.geometry()), "the moongate's row is not lit up"
    time.sleep(3)  # the tone lasts about a second
    assert recording.stop() > 0.2, "the alarm made no sound"
    assert xscreen.active_window() == game.id, "the alarm took the focus"
    past_the_warning_and_back(timer, clock)
    # Time for a late call to arrive.
    stays(lambda: len(notifications.calls()) <= 1, 2, "a second notification arrived")
    calls = notifications.calls()
    assert len(calls) == 1, [c[:2] for c in calls]
    summary, body, message = calls[0]
    assert summary == "문게이트: 라비던전"
    assert body == "1분 후 열림"
    # The service's own sound would come on top of the clock's.
    assert '"suppress-sound"' in message and "boolean true" in message, "no suppress-sound hint"
    assert '"sound-name"' not in message


def test_none_when_muted(alarms_file, notifications, sound, clock, clocks):
    alarms_file(b"muted=true\n[moongate]\nopens=1\n")
    timer = clocks.start(clock=clock)
    recording = sound.record("muted.wav")
    to_the_warning(timer, clock)
    past_the_warning_and_back(timer, clock)
    stays(lambda: not notifications.calls(), 2, "a notification while muted")
    assert recording.stop() == 0, "a sound while muted"


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


def test_tray_message_without_a_notification_service(alarms_file, tray, clock, clocks,
                                                      tmp_path, shots):
    """On a session bus without a notification service the tray icon shows
    the notice. The program is then off the accessibility bus, so it is
    watched through X alone: the message is the icon's balloon window."""
    alarms_file(b"[moongate]\nopens=1\n")
    (tmp_path / "bus.conf").write_text(BARE_BUS)
    with open(tmp_path / "bus.address", "w") as address, \
            Helper("dbus-daemon", "--nofork", "--print-address=1",
                   "--config-file=%s" % (tmp_path / "bus.conf"), stdout=address):
        bus = wait_for(lambda: (tmp_path / "bus.address").read_text().strip(), 10,
                       what="a bare bus")
        timer = clocks.start(clock=clock, accessible=False, ready=False,
                             env={"DBUS_SESSION_BUS_ADDRESS": bus,
                                  "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": None})
        # Docked once the event loop runs; ticks after that have read the
        # clock before the warning.
        wait_for(timer.tray_icon, 20, what="the tray icon")
        stays(lambda: not timer.balloons(), 2, "a message before the warning")
        clock.set(WARNING)
        wait_for(timer.balloons, 15, interval=0.2, what="the tray icon's message")
        xscreen.Shot().save(os.path.join(shots, "alarm-tray.png"))
        timer.stop()


def test_plain_run_makes_no_file(private_dirs, notifications, clock, clocks):
    timer = clocks.start(clock=clock)
    to_the_warning(timer, clock)
    timer.stop()
    assert os.listdir(private_dirs) == [], "a plain run left files"
    assert notifications.calls() == [], "a notification without alarms"


def test_broken_file_is_kept_and_reported_once(alarms_file, notifications, clock, clocks,
                                               tmp_path):
    # One good alarm beside a bad one: all stay off.
    broken = b"[moongate]\nopens=1\n\n[job]\nstarts=45\n"
    path = alarms_file(broken)
    with open(tmp_path / "stderr", "w") as errors:
        timer = clocks.start(clock=clock, stderr=errors)
        to_the_warning(timer, clock)
        past_the_warning_and_back(timer, clock)
        timer.stop()
    assert notifications.calls() == [], "a notification from a broken file"
    with open(path, "rb") as f:
        assert f.read() == broken, "the broken file was changed"
    lines = [line for line in (tmp_path / "stderr").read_text(errors="replace").splitlines()
             if line.startswith("timer:")]
    assert lines == ['timer: alarms are off: %s: job/starts: "45" is not a number of minutes '
                     'from 0 to 30; the file stays as it is until an alarm is changed' % path]


@pytest.mark.parametrize("kind", ["fifo", "dangling link", "link loop"])
def test_what_is_no_file_is_reported_and_never_opened(private_dirs, clocks, tmp_path, kind):
    path = os.path.join(private_dirs, "tarvenel-timer", "alarms.ini")
    os.makedirs(os.path.dirname(path))
    if kind == "fifo":
        os.mkfifo(path)
    else:
        os.symlink(path if kind == "link loop" else str(tmp_path / "gone"), path)
    with open(tmp_path / "stderr", "w") as errors:
        # A FIFO opened for reading would hold the start with no window.
        timer = clocks.start(stderr=errors)
        timer.stop()
    lines = [line for line in (tmp_path / "stderr").read_text().splitlines()
             if line.startswith("timer:")]
    assert lines == ["timer: alarms are off: %s: it cannot be read; the file stays as it is "
                     "until an alarm is changed" % path]
