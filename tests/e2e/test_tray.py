"""The notification-area icon, its menu, and what closing the window does,
with trayer as the notification area (and once without any, once with one
on D-Bus)."""
import os

import pytest
from gi.repository import GLib

import project
import xscreen
from clockapp import CANCEL, NO, OK, YES, balloon, buttons, click, key, no_balloon, press, states, texts
from xsession import stays, wait_for

QUESTION = "프로그램을 종료 하시겠습니까?\n아니오를 하시면 트레이 아이콘으로 최소화 됩니다."
NOTICE_START = "마우스 동작을 무시하는 투명 윈도우 모드로 실행합니다."
SHOW, CLICK_THROUGH, QUIT = "타이머 보이기(S)", "투명 윈도우(T)", "종료(X)"
AUTOSTART = "시작 시 실행"
RESET_PLACE, START_HIDDEN = "위치 초기화", "시작 시 트레이로 숨기기"


@pytest.fixture
def timer(clocks):
    return clocks.start(fake_time="2026-12-08 15:20:00")


def wait_hidden_with_balloon(timer):
    wait_for(lambda: not timer.is_mapped(), 5, what="the window to hide")
    assert timer.wm_state() in (None, "Withdrawn"), "the hidden window's WM_STATE"
    wait_for(lambda: balloon(timer), 5, what="the balloon")
    # The balloon goes by itself; the icon is clicked only once it has gone,
    # since it may cover the icon.
    wait_for(lambda: no_balloon(timer), 10, what="the balloon to go")


def hide_to_the_tray(timer):
    press(timer.ask_to_close(), NO)
    wait_hidden_with_balloon(timer)


def kept_open(timer, answer):
    wait_for(lambda: timer.alert() is None, 5, what="the question to close")
    stays(lambda: timer.is_mapped() and timer.process.poll() is None and no_balloon(timer),
          1.0, "%s did not keep the window open without a balloon" % answer)


def quit_with_yes(timer):
    press(timer.ask_to_close(), YES)
    assert timer.exit_code(5) == 0


def test_icon_and_menu_entries(tray, timer):
    # Drawn, not just a patch of the panel's background.
    x, y, w, h = xscreen.geometry(wait_for(timer.tray_icon, 10, what="the tray icon"))
    assert len(set(xscreen.Shot().image.crop((x, y, x + w, y + h)).getdata())) > 10, \
        "the tray icon shows too few colours"

    entries = [(role, name) for role, name, _, _ in timer.open_tray_menu()]
    assert entries == [("menu item", SHOW), ("menu item", "시간표"), ("menu item", CLICK_THROUGH),
                       ("menu item", RESET_PLACE), ("separator", ""), ("menu item", AUTOSTART),
                       ("menu item", START_HIDDEN), ("separator", ""), ("menu item", QUIT)]
    timer.close_tray_menu()
    assert timer.is_mapped(), "escaping the menu hid the window"

    # The first entry, by its mnemonic, brings a hidden window back.
    hide_to_the_tray(timer)
    timer.open_tray_menu()
    key("s")
    wait_for(timer.is_mapped, 5, what="the window to show")


def test_quitting_from_the_menu_asks_nothing(tray, timer):
    timer.choose_from_tray_menu(QUIT)
    # A question would keep the process alive.
    assert timer.exit_code(5) == 0


def test_closing_asks_and_cancel_keeps_the_window(tray, timer):
    alert = timer.ask_to_close()
    assert alert.name == "확인"
    assert QUESTION in texts(alert)
    assert [b.name for b in buttons(alert)] == [YES, NO, CANCEL]
    assert [b.name for b in buttons(alert) if "is default" in states(b)] == [CANCEL]
    dialog = wait_for(lambda: timer.x_window_named("확인"), 5, what="the question window")
    assert "_NET_WM_STATE_MODAL" in xscreen.net_wm_state(dialog)
    assert list(xscreen.prop(dialog, "WM_TRANSIENT_FOR") or []) == [timer.window_id], \
        "the question belongs to no window"

    # Escape cancels, and so does Return on the default button.
    key("Escape")
    kept_open(timer, "Escape")
    timer.ask_to_close()
    key("Return")
    kept_open(timer, "Return")
    quit_with_yes(timer)


def test_no_hides_to_the_tray_with_a_balloon_each_time(tray, timer):
    hide_to_the_tray(timer)
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
    hide_to_the_tray(timer)

    timer.click_tray_icon(repeat=2)
    wait_for(timer.is_mapped, 5, what="the window to come back")
    timer.settle()
    quit_with_yes(timer)


def test_without_a_tray_no_minimizes(timer):
    press(timer.ask_to_close(), NO)
    wait_for(lambda: timer.wm_state() == "Iconic", 5, what="the window to be iconified")
    assert "_NET_WM_STATE_HIDDEN" in timer.net_wm_state()
    stays(lambda: no_balloon(timer) and timer.process.poll() is None, 1.0,
          "a balloon showed without a tray, or the program ended")
    # Back from the task bar.
    xscreen.activate(timer.window_id)
    wait_for(lambda: timer.wm_state() == "Normal" and timer.is_mapped(), 5,
             what="the window to come back")


def test_click_through_notice_comes_once(tray, timer):
    timer.choose_from_tray_menu(CLICK_THROUGH)
    notice = wait_for(timer.alert, 5, what="the click-through notice")
    assert notice.name == "확인"
    assert any(t.startswith(NOTICE_START) for t in texts(notice))
    assert [b.name for b in buttons(notice)] == [OK]
    press(notice, OK)
    wait_for(lambda: timer.alert() is None, 5, what="the notice to close")
    stays(lambda: timer.process.poll() is None and timer.is_mapped(), 1.0,
          "closing the notice ended the program or hid the window")

    for ticked in (True, False, True):
        entry = [e for e in timer.open_tray_menu() if e[1] == CLICK_THROUGH][0]
        assert ("checked" in entry[2]) == ticked, "the click-through entry's tick"
        click(entry[3])
        stays(lambda: timer.alert() is None, 1.0, "the notice came again")


# With the clock hidden, the notice is the only window shown.
@pytest.mark.parametrize("close", ["alt+F4", "Return"], ids=["window-manager", "default-button"])
def test_closing_the_notice_from_the_tray_keeps_running(tray, timer, close):
    hide_to_the_tray(timer)
    timer.choose_from_tray_menu(CLICK_THROUGH)
    wait_for(timer.alert, 5, what="the click-through notice")
    xscreen.activate(wait_for(lambda: timer.x_window_named("확인"), 5, what="the notice window"))
    key(close)
    wait_for(lambda: timer.alert() is None, 5, what="the notice to close")
    # Nor does it set about quitting, which would ask the question.
    stays(lambda: timer.process.poll() is None and timer.alert() is None, 1.5,
          "closing the notice ended the program or asked to")
    wait_for(timer.is_mapped, 5, what="the window to show")


def test_the_tray_going_away_brings_the_window_back(tray, timer):
    hide_to_the_tray(timer)
    tray.stop()
    wait_for(lambda: timer.wm_state() == "Iconic", 5,
             what="the window to go to the task bar once the tray has gone")
    with xscreen.start_tray():
        wait_for(timer.tray_icon, 10, what="the icon to dock in the new tray")
        timer.click_tray_icon(repeat=2)
        wait_for(lambda: timer.wm_state() == "Normal" and timer.is_mapped(), 5,
                 what="a double click on the new icon to show the window")


def test_a_click_on_a_dbus_tray_shows_the_hidden_window(sni_host, timer):
    sni_host.expect("registered")
    assert timer.tray_icon() is None, "the icon went to an XEmbed tray"
    sni_host.activate()
    stays(timer.is_mapped, 1.0, "a click hid the shown window")
    press(timer.ask_to_close(), NO)
    wait_for(lambda: not timer.is_mapped(), 5, what="the window to hide")
    sni_host.activate()
    wait_for(lambda: timer.is_mapped() and timer.is_active(), 5,
             what="a click on the D-Bus tray to show the window")


def autostart_ticked(timer):
    entry = [e for e in timer.open_tray_menu() if e[1] == AUTOSTART][0]
    timer.close_tray_menu()
    return "checked" in entry[2]


def launched_command(path):
    """What a desktop session runs for the autostart entry at path."""
    keys = GLib.KeyFile()
    keys.load_from_file(path, GLib.KeyFileFlags.NONE)
    assert keys.get_string("Desktop Entry", "Type") == "Application"
    assert keys.get_string("Desktop Entry", "X-GNOME-Autostart-enabled") == "true"
    return GLib.shell_parse_argv(keys.get_string("Desktop Entry", "Exec").replace("%%", "%"))[1]


def test_starting_with_the_session(tray, timer, clocks, private_dirs):
    entry = os.path.join(private_dirs, "autostart", project.APP_ID + ".desktop")
    assert not autostart_ticked(timer)
    timer.choose_from_tray_menu(AUTOSTART)
    wait_for(lambda: os.path.isfile(entry), 5, what="the autostart entry")
    assert launched_command(entry) == [os.path.realpath(clocks.binary), "--autostart"]
    assert autostart_ticked(timer)

    # Turned off in the desktop's settings, which leave the entry hidden.
    with open(entry, "a") as hidden:
        hidden.write("Hidden=true\n")
    assert not autostart_ticked(timer)

    timer.choose_from_tray_menu(AUTOSTART)
    wait_for(lambda: autostart_ticked(timer), 5, what="the entry to be written afresh")
    timer.choose_from_tray_menu(AUTOSTART)
    wait_for(lambda: not os.path.exists(entry), 5, what="the autostart entry to go")
    assert not autostart_ticked(timer)


def test_a_refused_autostart_entry_is_said(tray, clocks, private_dirs, tmp_path):
    # A file where the folder should be: no user, not even root, can write there.
    blocker = os.path.join(private_dirs, "autostart")
    open(blocker, "w").close()
    with open(tmp_path / "stderr", "w") as errors:
        timer = clocks.start(stderr=errors)
        timer.choose_from_tray_menu(AUTOSTART)
        shown = wait_for(lambda: balloon(timer), 5, what="the balloon")
    said = [line for line in (tmp_path / "stderr").read_text().splitlines()
            if line.startswith("timer: ")]
    assert len(said) == 1 and blocker in said[0], said
    assert said[0][len("timer: "):] in texts(shown)
    assert not autostart_ticked(timer)
