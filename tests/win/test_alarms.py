"""Alarms of the shipped timer.exe under Wine, on an X server with openbox
and trayer: a lead chosen in a panel's menu is written to the user's
alarms.ini under %APPDATA%, "알림 테스트" and a due alarm show the tray
icon's balloon, a plain run writes nothing and a broken file is kept.

Wine draws the balloons with a font that has no Hangul, so their texts
show as boxes; that they come, and when, is what is checked here."""
import configparser
import os
import shutil
import time

from winx import (TITLE, Failure, check, harness, popup_menus, session, settle,
                  start_with_tray_icon, tray_balloons, wait_for, window_titled, winharness)

args, work, folder, prefix = session("e2e_alarms")
ALARMS_DIR = os.path.join(prefix.folder("APPDATA"), "tarvenel-timer")
ALARMS = os.path.join(ALARMS_DIR, "alarms.ini")
prefix.stop()

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


def start_timer(env=None):
    return winharness.Program(prefix, os.path.join(folder, "timer.exe"), cwd=folder,
                              env=dict(env or {}, WINEPATH=""))


def write_alarms(content):
    shutil.rmtree(ALARMS_DIR, ignore_errors=True)
    if content is not None:
        os.makedirs(ALARMS_DIR)
        with open(ALARMS, "wb") as f:
            f.write(content)


def read_alarms():
    parser = configparser.ConfigParser(interpolation=None)
    parser.optionxform = str
    with open(ALARMS, encoding="utf-8") as f:
        parser.read_file(f)
    return {section: dict(parser[section]) for section in parser.sections()}


def open_moongate_menu(window, attempts=3):
    x, y, w, _ = harness.window_geometry(window)
    for attempt in range(attempts):
        harness.click_at(x + w // 2, y + MOONGATE_ROW_Y, button=3)
        try:
            return wait_for(popup_menus, 5, what="the moongate's alarm menu")
        except Failure:
            print("right click %d of %d on the moongate row: no menu" % (attempt + 1, attempts))
    raise Failure("no alarm menu after %d right clicks on the moongate row" % attempts)


def wait_for_menus_to_close():
    wait_for(lambda: not popup_menus(), 10, what="the menu to close")


def a_plain_run_writes_no_file():
    write_alarms(None)
    timer = start_timer()
    try:
        settle(window_titled(TITLE, 60))
        check(timer.running(), "timer.exe exited: %s" % timer.log())
    finally:
        timer.stop()
        prefix.stop()
    check(not os.path.exists(ALARMS_DIR), "a plain run made %s" % ALARMS_DIR)


def a_chosen_lead_is_written_and_the_test_entry_shows_a_balloon():
    write_alarms(None)
    timer, window, _ = start_with_tray_icon(start_timer, TITLE)
    try:
        settle(window)
        # 열림 알림, into its list, past 끄기 and 0분 전 to 1분 전.
        open_moongate_menu(window)
        harness.key("Down", "Right", "Down", "Down", "Return")
        wait_for_menus_to_close()
        wait_for(lambda: os.path.exists(ALARMS), 10, what=ALARMS)
        # Written whole before it is seen: QSettings writes a new file
        # and renames it.
        written = read_alarms()
        check(written == ONE_MINUTE_BEFORE_OPENING, "alarms.ini reads %r" % written)
        with open(ALARMS, "rb") as f:
            saved = f.read()

        # The menu's last entry.
        check(not tray_balloons(), "a balloon before the test entry: %r" % tray_balloons())
        open_moongate_menu(window)
        harness.key("Up", "Return")
        wait_for(tray_balloons, 15, 0.2, what="the tray icon's balloon after 알림 테스트")
        harness.screenshot(os.path.join(args.shots, "wine-alarm-test.png"))
        with open(ALARMS, "rb") as f:
            check(f.read() == saved, "the test entry changed alarms.ini")
        check(timer.running(), "timer.exe exited: %s" % timer.log())
    except BaseException:
        print(timer.log())
        raise
    finally:
        timer.stop()
        prefix.stop()


def a_broken_file_stays_as_it_is():
    # One good alarm beside a bad one: all stay off, and nothing is written
    # until an alarm is changed, not even when a menu is opened and left.
    broken = b"[moongate]\r\nopens=1\r\n\r\n[job]\r\nstarts=45\r\n"
    write_alarms(broken)
    timer = start_timer()
    try:
        window = window_titled(TITLE, 60)
        settle(window)
        open_moongate_menu(window)
        harness.key("Escape")
        wait_for_menus_to_close()
        time.sleep(1)
        log = timer.log()
    finally:
        timer.stop()
        prefix.stop()
    with open(ALARMS, "rb") as f:
        check(f.read() == broken, "the broken file was changed")
    said = [line for line in log.splitlines() if line.startswith("timer: alarms are off:")]
    check(len(said) == 1 and 'job/starts: "45" is not a number of minutes from 0 to 30' in said[0],
          "standard error: %r" % log)


def a_due_alarm_shows_one_balloon():
    write_alarms(b"[moongate]\nopens=1\n")
    fake = {"LD_PRELOAD": harness.FAKETIME_LIBRARY, "FAKETIME": "@" + BEFORE_OPENING,
            # Wine's waits and timers keep real time.
            "FAKETIME_DONT_FAKE_MONOTONIC": "1", "TZ": FAKE_ZONE}

    started = []

    def start():
        # Its own wineserver too, on the same clock.
        prefix.stop()
        started.append(time.monotonic())
        return start_timer(fake)

    timer, window, _ = start_with_tray_icon(start, TITLE)
    try:
        due = started[-1] + WARNING_AFTER
        check(time.monotonic() < due - 5, "the clock and its tray icon took %.0f s to come, "
              "too long to watch for the warning due %d s after the start" %
              (time.monotonic() - started[-1], WARNING_AFTER))
        while time.monotonic() < due - 5:
            check(not tray_balloons(), "a balloon before the warning is due")
            time.sleep(0.2)
        wait_for(tray_balloons, 25, 0.2, what="the alarm's balloon")
        came = time.monotonic()
        harness.screenshot(os.path.join(args.shots, "wine-alarm-due.png"))
        wait_for(lambda: not tray_balloons(), BALLOON_SECONDS + 10, 0.2,
                 what="the alarm's balloon to go")
        # Once: later ticks announce nothing more.
        stays = time.monotonic() + 15
        while time.monotonic() < stays:
            check(not tray_balloons(), "a second balloon %.0f s after the first" %
                  (time.monotonic() - came))
            time.sleep(0.2)
        check(timer.running(), "timer.exe exited: %s" % timer.log())
    except BaseException:
        print(timer.log())
        raise
    finally:
        timer.stop()
        prefix.stop()


tray = harness.start_tray()
try:
    harness.main([a_plain_run_writes_no_file,
                  a_chosen_lead_is_written_and_the_test_entry_shows_a_balloon,
                  a_broken_file_stays_as_it_is,
                  a_due_alarm_shows_one_balloon])
finally:
    prefix.stop()
    tray.stop()
    shutil.rmtree(work, ignore_errors=True)
