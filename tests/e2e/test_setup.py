"""The player's setup in timer.ini: chosen, kept over a quit and found back;
a saved place that lies off the screens; a file the clock cannot fully use,
and how the player hears of it; a scale at which the full window would not
fit."""
import os
import re
import time

import pyatspi
import pytest

import xscreen
from clockapp import balloon, click, texts
from xscreen import key
from xsession import SCREEN, run, stays, wait_for

QUIT = "종료(X)"


@pytest.fixture
def setup_file(private_dirs):
    return os.path.join(private_dirs, "tarvenel-timer", "timer.ini")


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as out:
        out.write(text)


def read(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def quit_clock(timer):
    timer.choose_from_tray_menu(QUIT)
    assert timer.exit_code() == 0


def on_screen(geometry):
    x, y, w, h = geometry
    return x >= 0 and y >= 0 and x + w <= SCREEN[0] and y + h <= SCREEN[1]


def test_setup_comes_back_after_a_quit(tray, clocks, setup_file):
    timer = clocks.start()
    quit_clock(timer)
    assert not os.path.exists(setup_file), "a plain start and quit wrote the settings"

    timer = clocks.start()
    click(timer.combo())
    key("End", "Return")
    wait_for(lambda: timer.combo().name == "채굴장", 5, what="the last shop to be chosen")
    click(timer.find(pyatspi.ROLE_CHECK_BOX, "항상 위"))
    click(timer.find(pyatspi.ROLE_SLIDER))
    key("Home")
    # Moves in the window's first 1.5 s are the window manager's placing it.
    time.sleep(1.5)
    run("xdotool", "windowmove", str(timer.window_id), "300", "200")
    wait_for(lambda: "x=" in read(setup_file) if os.path.exists(setup_file) else False, 5,
             what="the window's place to be saved")
    placed = timer.geometry()
    saved = read(setup_file)
    for line in ("shop=채굴장", "topmost=true", "opacity=20"):
        assert line in saved, "%s is not in %r" % (line, saved)
    quit_clock(timer)
    assert read(setup_file) == saved, "quitting wrote the settings"

    timer = clocks.start()
    assert timer.combo().name == "채굴장"
    assert "_NET_WM_STATE_ABOVE" in timer.net_wm_state()
    assert abs((timer.opacity() or 1.0) - 0.2) < 1e-6
    assert timer.geometry()[:2] == placed[:2]
    assert read(setup_file) == saved, "starting wrote the settings"


@pytest.mark.parametrize("x, y", [(5000, 3000), (-3000, 200), (1200, 900)],
                         ids=["unplugged monitor", "left of the screen", "over the corner"])
def test_a_place_off_the_screens_comes_onto_the_screen(clocks, setup_file, x, y):
    text = "[window]\nx=%d\ny=%d\n" % (x, y)
    write(setup_file, text)
    timer = clocks.start()
    wait_for(lambda: on_screen(timer.geometry()), 5,
             what="the window fully on the screen (at %r)" % (timer.geometry(),))
    assert read(setup_file) == text


def test_values_it_cannot_use_leave_their_defaults(clocks, setup_file, tmp_path):
    text = "[job]\nshop=없는가게\n[window]\nopacity=500\ntopmost=true\n"
    write(setup_file, text)
    with open(tmp_path / "stderr", "w") as errors:
        timer = clocks.start(stderr=errors)
    lines = [line for line in (tmp_path / "stderr").read_text().splitlines()
             if setup_file in line]
    assert len(lines) == 1 and "opacity" in lines[0] and "shop" in lines[0], lines
    assert timer.combo().name == "꽃가게"
    assert timer.opacity() in (None, 1.0)
    assert "_NET_WM_STATE_ABOVE" in timer.net_wm_state(), "the usable value was not used"
    assert read(setup_file) == text

    click(timer.find(pyatspi.ROLE_CHECK_BOX, "항상 위"))
    wait_for(lambda: "topmost=false" in read(setup_file), 5, what="the change to be saved")
    copies = [name for name in os.listdir(os.path.dirname(setup_file))
              if name.startswith("timer.ini.broken-")]
    assert len(copies) == 1, copies
    assert read(os.path.join(os.path.dirname(setup_file), copies[0])) == text
    assert "500" not in read(setup_file)


def test_a_window_larger_than_the_screen_starts_compact(clocks, setup_file, tmp_path):
    with open(tmp_path / "stderr", "w") as errors:
        # Accessible extents are in scaled pixels there: not placed as settle() expects.
        timer = clocks.start(ready=False, env={"QT_SCALE_FACTOR": "2.5"}, stderr=errors)
    timer.wait_loaded()
    wait_for(lambda: "compact" in (tmp_path / "stderr").read_text(), 5,
             what="the reason on standard error")
    wait_for(lambda: on_screen(timer.geometry()), 5,
             what="the window fully on the screen (at %r)" % (timer.geometry(),))
    shown = [node.name for node in timer.accessibles(pyatspi.ROLE_LABEL)
             if "showing" in {pyatspi.stateToString(s) for s in node.getState().getStates()}]
    assert "아르바이트:" not in shown and "문게이트:" in shown, shown
    assert not os.path.exists(setup_file)


@pytest.mark.parametrize("with_tray", [True, False], ids=["in the balloon", "in a message box"])
def test_files_it_cannot_use_are_said_where_the_player_looks(request, clocks, setup_file,
                                                             tmp_path, with_tray):
    if with_tray:
        request.getfixturevalue("tray")
    alarms_file = os.path.join(os.path.dirname(setup_file), "alarms.ini")
    write(setup_file, "[window]\nopacity=500\n")
    write(alarms_file, "[moongate]\nnot a setting\n")
    with open(tmp_path / "stderr", "w") as errors:
        timer = clocks.start(stderr=errors)
    if with_tray:
        said = texts(wait_for(lambda: balloon(timer), 10, what="the balloon"))
    else:
        said = texts(wait_for(timer.alert, 10, what="the message box"))
    # One message for both, each naming its file as it is on the disk.
    assert sum(setup_file in t for t in said) == 1 and sum(alarms_file in t for t in said) == 1, said
    lines = (tmp_path / "stderr").read_bytes().decode("utf-8").splitlines()
    assert any(setup_file in line for line in lines) and any(alarms_file in line for line in lines)


@pytest.mark.parametrize("args, in_tray", [(("--autostart",), True), ((), False)],
                         ids=["started with the desktop", "started by the player"])
def test_starting_in_the_tray(tray, clocks, setup_file, title, args, in_tray):
    write(setup_file, "[start]\nhidden=true\n")
    timer = clocks.start(ready=False, x_window=False, accessible=False, args=args)
    timer.window_id = None
    wait_for(timer.tray_icon, 10, what="the tray icon")
    shown = lambda: xscreen.windows(of_pid=timer.process.pid, name=re.escape(title))
    if in_tray:
        stays(lambda: not shown(), 1.0, "the window showed")
        timer.click_tray_icon(repeat=2)
    wait_for(shown, 5, what="the window to show")
