"""The shipped zip, used the way a player uses it: unpacked into a folder of
its own and timer.exe started from there under Wine, with nothing else on
the program's path, on an X server with openbox and trayer."""
import datetime
import json
import os
import shutil
import subprocess
import time

import pytest

import project
import winx
import xscreen
from project import TITLE
from xsession import QUIET, run, wait_for

SHIPPED = ["timer.exe", "timer-next.exe", "Glass.dll", "Qt6Core.dll", "Qt6Gui.dll",
           "Qt6Widgets.dll", "libgcc_s_seh-1.dll", "libstdc++-6.dll", "libwinpthread-1.dll",
           "README.txt", "platforms/qwindows.dll", "imageformats/qico.dll", "translations/qtbase_ko.qm"]
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "shell32.dll", "ole32.dll",
               "oleaut32.dll", "advapi32.dll", "msvcrt.dll", "imm32.dll", "winmm.dll",
               "ws2_32.dll", "version.dll", "uxtheme.dll", "dwmapi.dll", "shlwapi.dll",
               "shcore.dll", "comdlg32.dll", "d3d9.dll", "d3d11.dll", "dxgi.dll", "wtsapi32.dll",
               "netapi32.dll", "userenv.dll", "authz.dll", "mpr.dll"}


def objdump(path):
    return run("x86_64-w64-mingw32-objdump", "-p", path)


def imports(path):
    return [line.split("DLL Name:")[1].strip().lower() for line in objdump(path).splitlines()
            if "DLL Name:" in line]


def test_the_folder_holds_what_the_program_needs(folder):
    present = sorted(os.path.relpath(os.path.join(root, name), folder)
                     for root, _, names in os.walk(folder) for name in names)
    assert present == sorted(SHIPPED)
    assert os.path.basename(folder) == "timer-" + project.VERSION

    program = objdump(os.path.join(folder, "timer.exe"))
    assert "(Windows GUI)" in program, "timer.exe is not a GUI program"
    assert "DLL Name: Glass.dll" in program, "timer.exe does not import Glass.dll"
    command = objdump(os.path.join(folder, "timer-next.exe"))
    assert "(Windows CUI)" in command, "timer-next.exe is not a console program"
    assert "Qt6Widgets.dll" not in command
    # Every DLL that a shipped file imports is shipped too, or is Windows' own.
    shipped = {os.path.basename(name).lower() for name in SHIPPED}
    for name in SHIPPED:
        if name.endswith((".exe", ".dll")):
            for imported in imports(os.path.join(folder, name)):
                assert imported in shipped or imported in SYSTEM_DLLS or \
                    imported.startswith("api-ms-win-"), \
                    "%s needs %s, which is not shipped" % (name, imported)


@pytest.mark.parametrize("name", ["timer.exe", "timer-next.exe", "Glass.dll"])
def test_what_windows_shows_about_the_file(folder, prefix, resources, name):
    # The version resource, and for timer.exe the icon group and the
    # manifest, read from the shipped file as Windows reads them.
    assert prefix.wine(resources, os.path.join(folder, name), project.VERSION,
                       timeout=120) == 0, "test_resources.exe failed on the shipped " + name
    # Shipped without the symbols, which are nearly half of the file.
    table = run("x86_64-w64-mingw32-objdump", "-t", os.path.join(folder, name))
    assert "no symbols" in table, "%s is not stripped" % name


def test_the_command_lists_the_next_openings(folder, launch):
    # Its Korean reaches a file as UTF-8 whatever the code page; the log
    # holds standard output and error together.
    def command(*args):
        program = launch(os.path.join(folder, "timer-next.exe"), *args, cwd=folder,
                         env={"WINEPATH": ""})
        return program.exit_code(60), program.log()
    code, log = command("--json", "--count", "3", "moongate")
    entries = json.loads(log)
    assert code == 0 and [entry["event"] for entry in entries] == ["moongate"] * 3
    starts = [datetime.datetime.fromisoformat(entry["start"]) for entry in entries]
    assert starts == sorted(starts) and all(start.utcoffset() is not None for start in starts)
    assert all(0xac00 <= ord(c) <= 0xd7a3 for entry in entries for c in entry["place"])
    code, log = command("--count", "0", "moongate")
    assert code == 2 and log.startswith("timer-next: --count") and log.count("\n") == 1


def test_without_the_platform_plugin_there_is_no_window(folder, start_timer, tmp_path):
    # Proof that the run below depends on the zip's own plugin: without it
    # Qt puts up its own error, titled after the program, and no clock.
    broken = str(tmp_path / "without-plugin")
    shutil.copytree(folder, broken)
    os.remove(os.path.join(broken, "platforms", "qwindows.dll"))
    start_timer(broken)
    winx.window_titled("timer", 60)
    assert not winx.windows_titled(TITLE), "timer.exe came up without platforms/qwindows.dll"


def right_click_after_a_pause(icon):
    # Apart from any earlier click by more than the double-click time.
    time.sleep(1)
    xscreen.click_window(icon, button=3)


def test_the_clock_runs_from_the_folder(start_timer, start_with_tray_icon, shots):
    timer, window, icon = start_with_tray_icon(start_timer)
    assert timer.running()
    assert xscreen.is_viewable(window)

    # A fixed size: a resize request from outside is refused. Measured once
    # the first refresh has sized the window to its texts.
    before = winx.settle(window)
    run("xdotool", "windowsize", str(window), str(before[2] + 120), str(before[3] + 80))
    time.sleep(1.5)
    assert xscreen.geometry(window)[2:] == before[2:], "the window was resized"

    # "항상 위" is the first box after the shop chooser, which has the focus
    # when the window is activated.
    xscreen.activate(window)
    xscreen.key("Tab", "space")
    wait_for(lambda: "_NET_WM_STATE_ABOVE" in xscreen.net_wm_state(window), 10,
             what="_NET_WM_STATE_ABOVE after ticking 항상 위")
    xscreen.key("space")
    wait_for(lambda: "_NET_WM_STATE_ABOVE" not in xscreen.net_wm_state(window), 10,
             what="_NET_WM_STATE_ABOVE to go after unticking 항상 위")

    time.sleep(1)
    xscreen.Shot().save(os.path.join(shots, "wine-zip-window.png"))

    # Closing asks; No puts the clock in the tray and it keeps running.
    winx.answer_close_question(window, "n", shot=os.path.join(shots, "wine-zip-question.png"))
    wait_for(lambda: not xscreen.is_viewable(window), 10, what="the window to hide")
    assert timer.running(), "answering No ended the program"
    assert not winx.windows_titled(winx.QUESTION_TITLE), "the question is still shown"

    # A double click on the icon brings the window back.
    time.sleep(1)
    xscreen.click_window(icon, repeat=2)
    wait_for(lambda: winx.windows_titled(TITLE), 10, what="the window to come back")

    # The tray menu's last entry, 종료(&X), ends the program with code 0.
    winx.open_menu(lambda: right_click_after_a_pause(icon), "the tray icon")
    xscreen.key("x")
    assert timer.exit_code(15) == 0


def test_qt_texts_come_from_the_folders_translation(folder, start_timer, tmp_path):
    # Said on standard error when the folder has none, so the buttons of the
    # question (예, 아니요, 취소 in wine-zip-question.png) are Qt's Korean.
    without = str(tmp_path / "without-translation")
    shutil.copytree(folder, without)
    shutil.rmtree(os.path.join(without, "translations"))
    for where, missing in ((folder, False), (without, True)):
        timer = start_timer(where)
        winx.window_titled(TITLE, 60)
        assert ("qtbase_ko.qm" in timer.log()) == missing, timer.log()
        timer.stop()


def test_the_end_of_the_session_ends_it_without_asking(prefix, start_timer):
    timer = start_timer()
    winx.settle(winx.window_titled(TITLE, 60))
    ender = subprocess.Popen(["wine", "wineboot", "--end-session", "--shutdown"],
                             env=prefix.env(), **QUIET)
    asked = []

    def ended():
        asked.extend(winx.windows_titled(winx.QUESTION_TITLE))
        return not timer.running()
    wait_for(ended, 5, interval=0.1, what="timer.exe to end with the session")
    assert not asked, "the close question held up the end of the session"
    assert ender.wait(60) == 0, "the end of the session was refused"
