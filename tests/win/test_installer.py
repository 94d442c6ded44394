"""The installer, silent both ways, in a fresh prefix: over an older copy,
with the start with the session chosen, then the clock started from the
Start-menu shortcut, an update over a running clock, an uninstall while it
runs, and an update that a clock which cannot be ended stops.
The tests follow one another, each on what the one before left."""
import filecmp
import hashlib
import os
import re
import shutil
import struct
import subprocess
import time

import pytest

import project
import winx
import xscreen
from project import TITLE
from xsession import Failure, run, wait_for

UNINSTALL_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\TarvenelTimer"
RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
PACKAGING = os.path.join(project.REPO, "packaging", "windows")
PUBLISHER = "The Tarvenel Timer developers"
# The installer's exit code when a running clock could not be ended.
CLOCK_RUNS = 3

with open(os.path.join(project.REPO, "packaging", "copyright")) as _copyright:
    COPYRIGHT = re.search(r"^Copyright: *(.+)$", _copyright.read(), re.M).group(1)


@pytest.fixture(scope="module")
def install_dir(module_prefix):
    return os.path.join(module_prefix.folder("LOCALAPPDATA"), "Programs", "Tarvenel Timer")


@pytest.fixture(scope="module")
def start_menu(module_prefix):
    return os.path.join(module_prefix.folder("APPDATA"), "Microsoft", "Windows", "Start Menu",
                        "Programs")


@pytest.fixture(scope="module")
def shortcut(start_menu):
    return os.path.join(start_menu, "타르베넬 타이머.lnk")


@pytest.fixture(scope="module")
def settings_dir(module_prefix):
    return os.path.join(module_prefix.folder("APPDATA"), "tarvenel-timer")


@pytest.fixture(scope="module")
def older(folder, tmp_path_factory):
    """The older installer of older_installer() and the folder it installs."""
    work = str(tmp_path_factory.mktemp("older"))
    return older_installer(folder, work), os.path.join(work, "timer-0.3.0")


def files_under(folder):
    return sorted(os.path.relpath(os.path.join(root, name), folder)
                  for root, _, names in os.walk(folder) for name in names)


def uninstall_entry(prefix):
    """The values of the uninstall entry, or None when there is none."""
    out = prefix.output("reg", "query", UNINSTALL_KEY)
    return dict(re.findall(r"^\s+(\w+)\s+REG_\w+\s+(.*?)\s*$", out, re.M)) or None


def run_command(prefix):
    """What the user's Run key starts at logon for the clock, or None."""
    out = prefix.output("reg", "query", RUN_KEY, "/v", project.RUN_VALUE)
    found = re.search(r"^\s+%s\s+REG_SZ\s+(.*?)\s*$" % re.escape(project.RUN_VALUE), out, re.M)
    return found.group(1) if found else None


def digests(folder):
    """The SHA-256 of every file under the folder, by relative path."""
    found = {}
    for name in files_under(folder):
        with open(os.path.join(folder, name), "rb") as f:
            found[name] = hashlib.sha256(f.read()).hexdigest()
    return found


def clock_processes(prefix):
    """The PIDs of the timer.exe processes that run in the prefix."""
    found = []
    for entry in os.listdir("/proc"):
        try:
            with open("/proc/%s/cmdline" % entry, "rb") as f:
                command = f.read().split(b"\0")[0]
            with open("/proc/%s/environ" % entry, "rb") as f:
                environ = f.read().split(b"\0")
        except (OSError, ValueError):
            continue
        if command.lower().endswith(b"\\timer.exe") and \
                ("WINEPREFIX=" + prefix.path).encode() in environ:
            found.append(int(entry))
    return found


def shortcut_description(path):
    """The description a .lnk file holds (its NAME_STRING), or None."""
    with open(path, "rb") as f:
        data = f.read()
    flags = struct.unpack_from("<I", data, 0x14)[0]
    at = 0x4C
    if flags & 0x01:    # HasLinkTargetIDList
        at += 2 + struct.unpack_from("<H", data, at)[0]
    if flags & 0x02:    # HasLinkInfo
        at += struct.unpack_from("<I", data, at)[0]
    if not flags & 0x04:    # HasName
        return None
    count = struct.unpack_from("<H", data, at)[0]
    if flags & 0x80:    # IsUnicode
        text = data[at + 2:at + 2 + 2 * count].decode("utf-16-le")
    else:
        text = data[at + 2:at + 2 + count].decode("latin-1")
    # Wine counts the terminating NUL too.
    return text.rstrip("\0")


def older_installer(shipped, work):
    """An installer of the same files as version 0.3.0, with one file more
    that the current version does not ship; its timer.exe and Glass.dll run
    as the current ones do but are other bytes, so that whether an update
    replaced them shows."""
    folder = os.path.join(work, "timer-0.3.0")
    shutil.copytree(shipped, folder)
    with open(os.path.join(folder, "dropped.txt"), "w") as dropped:
        dropped.write("shipped by 0.3.0 only\n")
    # Bytes past a PE file's last section are never loaded.
    for name in ("timer.exe", "Glass.dll"):
        with open(os.path.join(folder, name), "ab") as binary:
            binary.write(b"built as 0.3.0\0" * 8)
    files = os.path.join(work, "files.nsh")
    setup = os.path.join(work, "timer-0.3.0-setup.exe")
    run("cmake", "-DFOLDER=" + folder, "-DOUTPUT=" + files, "-P",
        os.path.join(PACKAGING, "nsis_files.cmake"))
    run("makensis", "-V2", "-DVERSION=0.3.0", "-DFOLDER=" + folder, "-DFILES=" + files,
        "-DICON=" + os.path.join(project.REPO, "tables", "icon.ico"),
        "-DRUN_VALUE=" + project.RUN_VALUE, "-DAPP_ID=" + project.APP_ID,
        "-DPUBLISHER=" + PUBLISHER, "-DCOPYRIGHT=" + COPYRIGHT, "-DOUTFILE=" + setup,
        os.path.join(PACKAGING, "timer.nsi"), timeout=300)
    return setup


def install(prefix, setup, *options):
    assert prefix.wine(setup, "/S", *options, timeout=300) == 0, \
        "%s /S %s failed" % (os.path.basename(setup), " ".join(options))


def test_installs_over_an_older_copy(prefix, installer, older, folder, install_dir, start_menu,
                                     shortcut):
    # folder is the zip the installer was made beside, which holds what it
    # installs.
    install(prefix, older[0])
    entry = uninstall_entry(prefix)
    assert entry and entry.get("DisplayVersion") == "0.3.0"
    assert os.path.exists(os.path.join(install_dir, "dropped.txt")), "0.3.0 was not installed"
    assert run_command(prefix) is None, "starts with the session though /AUTOSTART was not given"
    # The shortcut by the English name that copies up to 0.3.1 made.
    old_shortcut = os.path.join(start_menu, "Tarvenel Timer.lnk")
    shutil.copy(shortcut, old_shortcut)

    install(prefix, installer, "/AUTOSTART")
    assert files_under(install_dir) == sorted(files_under(folder) + ["uninstall.exe"])
    for name in files_under(folder):
        assert filecmp.cmp(os.path.join(folder, name), os.path.join(install_dir, name),
                           shallow=False), "%s differs from the zip's" % name
    assert os.path.isfile(shortcut), "no Start-menu shortcut"
    assert shortcut_description(shortcut) == "Tarvenel Timer"
    assert not os.path.exists(old_shortcut), "the shortcut by the old name is still there"

    entry = uninstall_entry(prefix) or {}
    windows_dir = prefix.windows_path(install_dir)
    size = sum(os.path.getsize(os.path.join(install_dir, name))
               for name in files_under(install_dir))
    expected = {"DisplayName": "Tarvenel Timer", "DisplayVersion": project.VERSION,
                "InstallLocation": windows_dir,
                "DisplayIcon": windows_dir + "\\timer.exe,0",
                "UninstallString": '"%s\\uninstall.exe"' % windows_dir,
                "QuietUninstallString": '"%s\\uninstall.exe" /S' % windows_dir,
                "Publisher": PUBLISHER, "EstimatedSize": "0x%x" % (size // 1024),
                "NoModify": "0x1", "NoRepair": "0x1"}
    assert {name: entry.get(name) for name in expected} == expected

    started = '"%s\\timer.exe" --autostart' % windows_dir
    assert run_command(prefix) == started
    # Installed over without the option, it still starts with the session.
    install(prefix, installer)
    assert run_command(prefix) == started


def test_starts_from_the_start_menu(prefix, shortcut, shots):
    # The shortcut as the shell opens it; the program is no child of ours.
    assert prefix.wine("start", "/unix", shortcut, what="opening the shortcut") == 0
    window = winx.window_titled(TITLE, 60)
    pid = xscreen.pid(window)
    with open("/proc/%d/cmdline" % pid, "rb") as cmdline:
        started = cmdline.read().decode("utf-8", "replace").replace("\0", " ")
    assert "Programs\\Tarvenel Timer\\timer.exe" in started, \
        "the window belongs to another program than the installed timer.exe"
    # After the first refresh, which replaces the "loading..." texts.
    time.sleep(1.5)
    xscreen.Shot().save(os.path.join(shots, "wine-installed.png"))

    # Closed and answered Yes, it ends.
    winx.answer_close_question(window, "y")
    wait_for(lambda: not os.path.exists("/proc/%d" % pid), 15, what="the installed timer to end")
    assert not winx.windows_titled(TITLE), "the window is still shown"


def test_updates_a_running_clock(prefix, installer, older, folder, install_dir, launch):
    install(prefix, older[0])
    assert digests(install_dir)["timer.exe"] == digests(older[1])["timer.exe"]
    old = launch(os.path.join(install_dir, "timer.exe"), cwd=install_dir)
    assert xscreen.pid(winx.window_titled(TITLE, 60)) == old.process.pid

    install(prefix, installer)
    wait_for(lambda: not old.running(), 15, what="the old clock to end")
    installed = digests(install_dir)
    assert installed.pop("uninstall.exe", None), "no uninstaller"
    assert installed == digests(folder), "not every file was replaced"
    # The new clock in its place, once, started by the installer.
    window = winx.window_titled(TITLE, 60)
    assert clock_processes(prefix) == [xscreen.pid(window)]
    with open("/proc/%d/cmdline" % xscreen.pid(window), "rb") as cmdline:
        started = cmdline.read().decode("utf-8", "replace").split("\0")[0]
    assert prefix.unix_path(started) == os.path.join(install_dir, "timer.exe")
    assert not winx.windows_titled(winx.QUESTION_TITLE), "the old clock asked before it ended"


def test_uninstalls_everything(prefix, install_dir, shortcut, settings_dir, launch):
    # While the clock runs, with the player's settings written.
    launch(os.path.join(install_dir, "timer.exe"), cwd=install_dir)
    winx.window_titled(TITLE, 60)
    os.makedirs(settings_dir, exist_ok=True)
    settings = {"timer.ini": "[window]\nx=10\n", "alarms.ini": "[job]\nstarts=1\n"}
    for name, text in settings.items():
        with open(os.path.join(settings_dir, name), "w") as f:
            f.write(text)

    uninstaller, flag = re.match(r'"(.*)" (/S)$',
                                 uninstall_entry(prefix)["QuietUninstallString"]).groups()
    assert prefix.wine(prefix.unix_path(uninstaller), flag, what="the uninstaller") == 0
    # It finishes from a copy of itself in the temporary folder; that has
    # ended once the prefix has no process left.
    try:
        subprocess.run(["wineserver", "-w"], env=prefix.env(), timeout=120)
    except subprocess.TimeoutExpired:
        raise Failure("the prefix still has processes 120 s after the uninstaller started")
    assert not os.path.exists(install_dir), "left behind: %r" % (
        files_under(install_dir) if os.path.isdir(install_dir) else install_dir)
    assert not os.path.exists(shortcut), "the shortcut is still there"
    assert uninstall_entry(prefix) is None, "the uninstall entry is still there"
    assert run_command(prefix) is None, "the clock still starts with the session"
    assert clock_processes(prefix) == [], "the clock still runs"
    assert sorted(os.listdir(settings_dir)) == sorted(settings), "the settings went too"


@pytest.mark.parametrize("deaf", [False, True], ids=["without quit event", "ignores quit event"])
def test_a_clock_that_cannot_be_ended_stops_the_installer(prefix, installer, older, install_dir,
                                                          launch, stand_in, deaf):
    install(prefix, older[0])
    before, entry = digests(install_dir), uninstall_entry(prefix)
    clock = launch(stand_in, project.APP_ID, *(["deaf"] if deaf else []))
    wait_for(lambda: "ready" in clock.log(), 30, what="the stand-in clock to be ready")

    started = time.monotonic()
    assert prefix.wine(installer, "/S", timeout=300) == CLOCK_RUNS
    if deaf:
        assert time.monotonic() - started >= 9, "the installer gave up before the clock had time"
    assert digests(install_dir) == before, "the installed files changed"
    assert uninstall_entry(prefix) == entry
    assert clock.running()
