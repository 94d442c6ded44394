"""Alarms of the shipped timer.exe under Wine, on an X server with openbox
and trayer: a lead chosen in a panel's menu is written to the user's
alarms.ini under %APPDATA%, "알림 테스트" and a due alarm show the tray
icon's balloon, and the test entry plays its sound into a sound server of
the test's own, a plain run writes nothing and a broken file is kept and
said in a balloon.

Wine's balloons are not windows of the program that AT-SPI could read:
that they come, and when, is what is checked here, and the screenshots
show their texts."""
import configparser
import os
import shutil
import time

import pytest

import winx
import xscreen
from fakeclock import running_from
from project import TITLE
from winx import tray_balloons
from xsession import stays, wait_for

# A right click this far below the window's top edge lands on the moongate
# row, the second one, whose menu starts with its opening alarm.
MOONGATE_ROW_Y = 40

# The file after "1분 전" is chosen for the gate's opening: every key, the
# unset ones empty.
ONE_MINUTE_BEFORE_OPENING = {
    "General": {"muted": "false"},
    "moongate": {"opens": "1", "closes": "", "destinations": ""},
    "job": {"starts": ""},
    "merchant": {"moves": "", "stops": ""},
    "second-merchant": {"appears": ""},
}

# In a zone without daylight saving, the gate opens at 21:27:06 on this
# day. TZ goes to the Windows process too, whose C runtime reads it in its
# own way: "UTC" means the same to it, to Wine and to libfaketime.
FAKE_ZONE = "UTC"
BEFORE_OPENING = "2026-12-07 21:25:20"
# The one-minute warning is due 46 s after the program's start.
WARNING_AFTER = 46
BALLOON_SECONDS = 10


@pytest.fixture(scope="module")
def alarms_dir(module_prefix):
    folder = os.path.join(module_prefix.folder("APPDATA"), "tarvenel-timer")
    module_prefix.stop()
    return folder


@pytest.fixture
def alarms(alarms_dir):
    """Writes alarms.ini (None: no folder at all) and returns its path."""
    path = os.path.join(alarms_dir, "alarms.ini")

    def write(content):
        shutil.rmtree(alarms_dir, ignore_errors=True)
        if content is not None:
            os.makedirs(alarms_dir)
            with open(path, "wb") as f:
                f.write(content)
        return path
    return write


def read_alarms(path):
    parser = configparser.ConfigParser(interpolation=None)
    parser.optionxform = str
    with open(path, encoding="utf-8") as f:
        parser.read_file(f)
    return {section: dict(parser[section]) for section in parser.sections()}


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def open_moongate_menu(window):
    x, y, w, _ = xscreen.geometry(window)
    winx.open_menu(lambda: xscreen.click_at(x + w // 2, y + MOONGATE_ROW_Y, button=3),
                   "the moongate row")


def wait_for_menus_to_close():
    wait_for(lambda: not winx.popup_menus(), 10, what="the menu to close")


def test_a_plain_run_writes_no_file(alarms, alarms_dir, start_timer):
    alarms(None)
    timer = start_timer()
    winx.settle(winx.window_titled(TITLE, 60))
    assert timer.running(), "timer.exe exited"
    timer.stop()
    assert not os.path.exists(alarms_dir), "a plain run made the alarms' folder"


def test_a_chosen_lead_is_written_and_the_test_entry_shows_a_balloon(
        alarms, start_timer, start_with_tray_icon, sound, shots):
    path = alarms(None)
    timer, window, _ = start_with_tray_icon(lambda: start_timer(env=sound.env()))
    winx.settle(window)
    # 열림 알림, into its list, past 끄기 and 0분 전 to 1분 전.
    open_moongate_menu(window)
    xscreen.key("Down", "Right", "Down", "Down", "Return")
    wait_for_menus_to_close()
    wait_for(lambda: os.path.exists(path), 10, what=path)
    # Written whole before it is seen: QSettings writes a new file and
    # renames it.
    assert read_alarms(path) == ONE_MINUTE_BEFORE_OPENING
    saved = read_bytes(path)

    # The alarms' last entry, above the four that every menu ends with (시간표 and the view's three).
    assert not tray_balloons(), "a balloon before the test entry"
    recording = sound.record("wine-test.wav")
    open_moongate_menu(window)
    xscreen.key("Up", "Up", "Up", "Up", "Up", "Return")
    wait_for(tray_balloons, 15, 0.2, what="the tray icon's balloon after 알림 테스트")
    xscreen.Shot().save(os.path.join(shots, "wine-alarm-test.png"))
    # Wine opens its sound driver at the first sound, which takes a while
    # on a busy machine; the tone itself lasts about a second.
    time.sleep(6)
    assert recording.stop() > 0.1, "알림 테스트 made no sound"
    assert read_bytes(path) == saved, "the test entry changed alarms.ini"
    assert timer.running(), "timer.exe exited"


def test_a_broken_file_stays_as_it_is_and_is_said(alarms, prefix, start_timer,
                                                 start_with_tray_icon, shots):
    # One good alarm beside a bad one: all stay off, and nothing is written
    # until an alarm is changed, not even when a menu is opened and left.
    broken = b"[moongate]\r\nopens=1\r\n\r\n[job]\r\nstarts=45\r\n"
    path = alarms(broken)
    timer, window, _ = start_with_tray_icon(start_timer)
    # Nobody reads a Windows program's standard error: a balloon says it.
    wait_for(tray_balloons, 15, 0.2, what="the balloon that says the file is broken")
    xscreen.Shot().save(os.path.join(shots, "wine-broken-alarms.png"))
    winx.settle(window)
    open_moongate_menu(window)
    xscreen.key("Escape")
    wait_for_menus_to_close()
    time.sleep(1)
    timer.stop()
    assert read_bytes(path) == broken, "the broken file was changed"
    said = [line for line in timer.log().splitlines()
            if line.startswith("timer: alarms are off:")]
    assert len(said) == 1
    assert 'job/starts: "45" is not a number of minutes from 0 to 30' in said[0]
    # In UTF-8, with the path as Windows writes it: C:\users\김민수\...
    assert prefix.windows_path(path) in said[0], said[0]


def test_a_due_alarm_shows_one_balloon(alarms, prefix, start_timer, start_with_tray_icon, shots):
    alarms(b"[moongate]\nopens=1\n")
    # Wine's waits and timers keep real time.
    fake = dict(running_from(BEFORE_OPENING), FAKETIME_DONT_FAKE_MONOTONIC="1", TZ=FAKE_ZONE)
    started = []

    def start():
        # Its own wineserver too, on the same clock.
        prefix.stop()
        started.append(time.monotonic())
        return start_timer(env=fake)

    timer, window, _ = start_with_tray_icon(start)
    due = started[-1] + WARNING_AFTER
    assert time.monotonic() < due - 5, \
        "the clock and its tray icon took too long to come to watch for the warning"
    stays(lambda: not tray_balloons(), due - 5 - time.monotonic(),
          "no balloon before the warning is due")
    wait_for(tray_balloons, 25, 0.2, what="the alarm's balloon")
    xscreen.Shot().save(os.path.join(shots, "wine-alarm-due.png"))
    wait_for(lambda: not tray_balloons(), BALLOON_SECONDS + 10, 0.2,
             what="the alarm's balloon to go")
    # Once: later ticks announce nothing more.
    stays(lambda: not tray_balloons(), 15, "no second balloon")
    assert timer.running(), "timer.exe exited"
