"""The notification-area icon, its menu, and what closing the window does,
with trayer as the notification area (and once without any)."""
import argparse
import os
import queue
import subprocess
import sys
import threading

from harness import (Failure, Shot, Timer, buttons, check, click, key, main, press, run,
                     start_tray, states, stays, stop_process, texts, wait_for, window_geometry)

QUESTION = "프로그램을 종료 하시겠습니까?\n아니오를 하시면 트레이 아이콘으로 최소화 됩니다."
NOTICE_START = "마우스 동작을 무시하는 투명 윈도우 모드로 실행합니다."
BALLOON_TITLE = "타르베넬 타이머"
SHOW, CLICK_THROUGH, QUIT = "타이머 보이기(S)", "투명 윈도우(T)", "종료(X)"

parser = argparse.ArgumentParser()
parser.add_argument("--timer", required=True)
parser.add_argument("--shots", required=True)
args = parser.parse_args()
os.makedirs(args.shots, exist_ok=True)


def start_timer():
    timer = Timer(args.timer, fake_time="2026-12-08 15:20:00")
    try:
        timer.wait_loaded()
        timer.settle()
    except BaseException:
        timer.stop()
        raise
    return timer


def balloon(timer):
    """The balloon message, when the program's own balloon window is shown."""
    if not timer.balloons():
        return None
    for node in timer.top_levels():
        if BALLOON_TITLE in texts(node):
            return node
    return None


def no_balloon(timer):
    return not timer.balloons() and \
        not any(BALLOON_TITLE in texts(node) for node in timer.top_levels())


def wait_hidden_with_balloon(timer):
    wait_for(lambda: not timer.is_mapped(), 5, what="the window to hide")
    check(timer.wm_state() in (None, "Withdrawn"),
          "hidden window has WM_STATE %s" % timer.wm_state())
    wait_for(lambda: balloon(timer), 5, what="the balloon")
    # The balloon goes by itself; the icon is clicked only once it has gone,
    # since it may cover the icon.
    wait_for(lambda: no_balloon(timer), 10, what="the balloon to go")


def icon_and_menu_entries():
    with start_tray(), start_timer() as timer:
        # Drawn, not just a patch of the panel's background.
        x, y, w, h = window_geometry(wait_for(timer.tray_icon, 10, what="the tray icon"))
        shot = Shot()
        colours = {shot.pixel(px, py) for px in range(x, x + w) for py in range(y, y + h)}
        check(len(colours) > 10, "the tray icon shows %d colours" % len(colours))

        entries = [(role, name) for role, name, _, _ in timer.open_tray_menu()]
        check(entries == [("menu item", SHOW), ("menu item", CLICK_THROUGH), ("separator", ""),
                          ("menu item", QUIT)], "tray menu: %r" % entries)
        key("Escape")
        wait_for(lambda: not timer.popup_windows(), 5, what="the menu to close")
        check(timer.is_mapped(), "escaping the menu hid the window")

        # The first entry, by its mnemonic, brings a hidden window back.
        press(timer.ask_to_close(), "No")
        wait_hidden_with_balloon(timer)
        timer.open_tray_menu()
        key("s")
        wait_for(timer.is_mapped, 5, what="the window to show")


def quitting_from_the_menu_asks_nothing():
    with start_tray(), start_timer() as timer:
        timer.choose_from_tray_menu(QUIT)
        # A question would keep the process alive.
        code = timer.exit_code(5)
        check(code == 0, "exit code %d" % code)


def kept_open(timer, answer):
    wait_for(lambda: timer.alert() is None, 5, what="the question to close")
    stays(lambda: timer.is_mapped() and timer.process.poll() is None and no_balloon(timer),
          1.0, "%s did not keep the window open without a balloon" % answer)


def closing_asks_and_cancel_keeps_the_window():
    with start_tray(), start_timer() as timer:
        alert = timer.ask_to_close()
        check(alert.name == "확인", "question titled %r" % alert.name)
        check(QUESTION in texts(alert), "question says %r" % texts(alert))
        names = [b.name for b in buttons(alert)]
        check(names == ["Yes", "No", "Cancel"], "question buttons %r" % names)
        default = [b.name for b in buttons(alert) if "is default" in states(b)]
        check(default == ["Cancel"], "default button %r" % default)
        dialog = wait_for(lambda: timer.x_window_named("확인"), 5, what="the question window")
        props = run("xprop", "-id", str(dialog), "_NET_WM_STATE", "WM_TRANSIENT_FOR")
        check("_NET_WM_STATE_MODAL" in props, "question is not modal: %s" % props)
        check("window id # %#x" % timer.window_id in props,
              "question belongs to no window: %s" % props)

        # Escape cancels, and so does Return on the default button.
        key("Escape")
        kept_open(timer, "Escape")
        timer.ask_to_close()
        key("Return")
        kept_open(timer, "Return")

        press(timer.ask_to_close(), "Yes")
        code = timer.exit_code(5)
        check(code == 0, "exit code %d after Yes" % code)


def no_hides_to_the_tray_with_a_balloon_each_time():
    with start_tray(), start_timer() as timer:
        press(timer.ask_to_close(), "No")
        wait_hidden_with_balloon(timer)
        timer.check_running()

        timer.click_tray_icon()
        stays(lambda: not timer.is_mapped(), 1.0, "a single click showed the hidden window")
        timer.click_tray_icon(repeat=2)
        wait_for(lambda: timer.is_mapped() and timer.is_active(), 5,
                 what="a double click to show and activate the window")

        # Cancelling shows no balloon; every No does.
        timer.settle()
        timer.ask_to_close()
        key("Escape")
        kept_open(timer, "Escape")
        press(timer.ask_to_close(), "No")
        wait_hidden_with_balloon(timer)

        timer.click_tray_icon(repeat=2)
        wait_for(timer.is_mapped, 5, what="the window to come back")
        timer.settle()
        press(timer.ask_to_close(), "Yes")
        code = timer.exit_code(5)
        check(code == 0, "exit code %d after Yes" % code)


def without_a_tray_no_minimizes():
    with start_timer() as timer:
        press(timer.ask_to_close(), "No")
        wait_for(lambda: timer.wm_state() == "Iconic", 5, what="the window to be iconified")
        check("_NET_WM_STATE_HIDDEN" in timer.net_wm_state(),
              "minimized window lacks _NET_WM_STATE_HIDDEN: %r" % timer.net_wm_state())
        stays(lambda: no_balloon(timer) and timer.process.poll() is None, 1.0,
              "a balloon showed without a tray, or the program ended")
        # Back from the task bar.
        run("xdotool", "windowactivate", "--sync", str(timer.window_id))
        wait_for(lambda: timer.wm_state() == "Normal" and timer.is_mapped(), 5,
                 what="the window to come back")


def click_through_notice_comes_once():
    with start_tray(), start_timer() as timer:
        timer.choose_from_tray_menu(CLICK_THROUGH)
        notice = wait_for(timer.alert, 5, what="the click-through notice")
        check(notice.name == "확인", "notice titled %r" % notice.name)
        said = texts(notice)
        check(any(t.startswith(NOTICE_START) for t in said), "notice says %r" % said)
        check([b.name for b in buttons(notice)] == ["OK"],
              "notice buttons %r" % [b.name for b in buttons(notice)])
        press(notice, "OK")
        wait_for(lambda: timer.alert() is None, 5, what="the notice to close")
        stays(lambda: timer.process.poll() is None and timer.is_mapped(), 1.0,
              "closing the notice ended the program or hid the window")

        for ticked in (True, False, True):
            entry = [e for e in timer.open_tray_menu() if e[1] == CLICK_THROUGH][0]
            check(("checked" in entry[2]) == ticked,
                  "click-through entry %s" % ("not ticked" if ticked else "still ticked"))
            click(entry[3])
            stays(lambda: timer.alert() is None, 1.0, "the notice came again")


def closing_the_notice_from_the_tray_keeps_running():
    # Once closed by the window manager, once by its default button: with the
    # clock hidden, the notice is the only window shown.
    for close in (lambda: key("alt+F4"), lambda: key("Return")):
        with start_tray(), start_timer() as timer:
            press(timer.ask_to_close(), "No")
            wait_hidden_with_balloon(timer)
            timer.choose_from_tray_menu(CLICK_THROUGH)
            wait_for(timer.alert, 5, what="the click-through notice")
            notice = wait_for(lambda: timer.x_window_named("확인"), 5, what="the notice window")
            run("xdotool", "windowactivate", "--sync", str(notice))
            close()
            wait_for(lambda: timer.alert() is None, 5, what="the notice to close")
            # Nor does it set about quitting, which would ask the question.
            stays(lambda: timer.process.poll() is None and timer.alert() is None, 1.5,
                  "closing the notice ended the program or asked to")
            wait_for(timer.is_mapped, 5, what="the window to show")


def the_tray_going_away_brings_the_window_back():
    tray = start_tray()
    try:
        with start_timer() as timer:
            press(timer.ask_to_close(), "No")
            wait_hidden_with_balloon(timer)
            tray.stop()
            wait_for(lambda: timer.wm_state() == "Iconic", 5,
                     what="the window to go to the task bar once the tray has gone")
            tray = start_tray()
            wait_for(timer.tray_icon, 10, what="the icon to dock in the new tray")
            timer.click_tray_icon(repeat=2)
            wait_for(lambda: timer.wm_state() == "Normal" and timer.is_mapped(), 5,
                     what="a double click on the new icon to show the window")
    finally:
        tray.stop()


class StatusNotifierHost:
    """sni_host.py: a notification area spoken to over D-Bus."""

    def __init__(self):
        script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "sni_host.py")
        self.process = subprocess.Popen([sys.executable, script], stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, text=True)
        self.lines = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()
        try:
            self.expect("ready")
        except BaseException:
            self.stop()
            raise

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

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


def a_click_on_a_dbus_tray_shows_the_hidden_window():
    with StatusNotifierHost() as host, start_timer() as timer:
        host.expect("registered")
        check(timer.tray_icon() is None, "the icon went to an XEmbed tray")
        host.activate()
        stays(timer.is_mapped, 1.0, "a click hid the shown window")
        press(timer.ask_to_close(), "No")
        wait_for(lambda: not timer.is_mapped(), 5, what="the window to hide")
        host.activate()
        wait_for(lambda: timer.is_mapped() and timer.is_active(), 5,
                 what="a click on the D-Bus tray to show the window")


main([icon_and_menu_entries, quitting_from_the_menu_asks_nothing,
      closing_asks_and_cancel_keeps_the_window, no_hides_to_the_tray_with_a_balloon_each_time,
      without_a_tray_no_minimizes, click_through_notice_comes_once,
      closing_the_notice_from_the_tray_keeps_running,
      the_tray_going_away_brings_the_window_back,
      a_click_on_a_dbus_tray_shows_the_hidden_window])
