"""The installer, silent both ways, in a fresh prefix: over an older copy,
then the clock started from the Start-menu shortcut, then uninstalled."""
import filecmp
import os
import re
import shutil
import subprocess
import time

from winx import (TITLE, Failure, activate, check, harness, run, session, wait_for,
                  window_titled, windows_titled)

UNINSTALL_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\TarvenelTimer"
REPO = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
PACKAGING = os.path.join(REPO, "packaging", "windows")

# --zip is the one the installer was made beside, which holds what it installs.
args, work, shipped, prefix = session("e2e_installer", "--setup")
install_dir = os.path.join(prefix.folder("LOCALAPPDATA"), "Programs", "Tarvenel Timer")
shortcut = os.path.join(prefix.folder("APPDATA"), "Microsoft", "Windows", "Start Menu",
                        "Programs", "Tarvenel Timer.lnk")


def files_under(folder):
    return sorted(os.path.relpath(os.path.join(root, name), folder)
                  for root, _, names in os.walk(folder) for name in names)


def uninstall_entry():
    """The values of the uninstall entry, or None when there is none."""
    out = prefix.output("reg", "query", UNINSTALL_KEY)
    values = dict(re.findall(r"^\s+(\w+)\s+REG_\w+\s+(.*?)\s*$", out, re.M))
    return values or None


def older_installer():
    """An installer of the same files as version 0.3.0, with one file more
    that the current version does not ship."""
    folder = os.path.join(work, "older", "timer-0.3.0")
    shutil.copytree(shipped, folder)
    with open(os.path.join(folder, "dropped.txt"), "w") as dropped:
        dropped.write("shipped by 0.3.0 only\n")
    files = os.path.join(work, "older", "files.nsh")
    setup = os.path.join(work, "older", "timer-0.3.0-setup.exe")
    run("cmake", "-DFOLDER=" + folder, "-DOUTPUT=" + files, "-P",
        os.path.join(PACKAGING, "nsis_files.cmake"))
    run("makensis", "-V2", "-DVERSION=0.3.0", "-DFOLDER=" + folder, "-DFILES=" + files,
        "-DICON=" + os.path.join(REPO, "tables", "icon.ico"), "-DOUTFILE=" + setup,
        os.path.join(PACKAGING, "timer.nsi"), timeout=300)
    return setup


def install(setup):
    code = prefix.wine(setup, "/S", timeout=300)
    check(code == 0, "%s /S exited with %d" % (os.path.basename(setup), code))


def installs_over_an_older_copy():
    install(older_installer())
    entry = uninstall_entry()
    check(entry and entry.get("DisplayVersion") == "0.3.0", "after 0.3.0: %r" % entry)
    check(os.path.exists(os.path.join(install_dir, "dropped.txt")), "0.3.0 was not installed")

    install(args.setup)
    installed = files_under(install_dir)
    check(installed == sorted(files_under(shipped) + ["uninstall.exe"]),
          "installed: %r" % installed)
    for name in files_under(shipped):
        check(filecmp.cmp(os.path.join(shipped, name), os.path.join(install_dir, name),
                          shallow=False), "%s differs from the zip's" % name)
    check(os.path.isfile(shortcut), "no Start-menu shortcut at %s" % shortcut)

    entry = uninstall_entry()
    windows_dir = prefix.windows_path(install_dir)
    expected = {"DisplayName": "Tarvenel Timer", "DisplayVersion": "0.3.1",
                "InstallLocation": windows_dir,
                "DisplayIcon": windows_dir + "\\timer.exe,0",
                "UninstallString": '"%s\\uninstall.exe"' % windows_dir,
                "QuietUninstallString": '"%s\\uninstall.exe" /S' % windows_dir}
    for name, value in expected.items():
        check(entry and entry.get(name) == value,
              "uninstall entry %s is %r, not %r" % (name, entry and entry.get(name), value))


def starts_from_the_start_menu():
    try:
        start_and_close_from_the_start_menu()
    except BaseException:
        # Whatever came up goes, so that the uninstaller can run.
        prefix.stop()
        raise


def start_and_close_from_the_start_menu():
    # The shortcut as the shell opens it; the program is no child of ours.
    check(prefix.wine("start", "/unix", shortcut, what="opening the shortcut") == 0,
          "the shortcut did not open")
    window = window_titled(TITLE, 60)
    pid = run("xprop", "-id", str(window), "_NET_WM_PID").split("=")[-1].strip()
    with open("/proc/%s/cmdline" % pid, "rb") as cmdline:
        started = cmdline.read().decode("utf-8", "replace").replace("\0", " ")
    check("Programs\\Tarvenel Timer\\timer.exe" in started,
          "the window belongs to %r, not the installed timer.exe" % started)
    # After the first refresh, which replaces the "loading..." texts.
    time.sleep(1.5)
    harness.screenshot(os.path.join(args.shots, "wine-installed.png"))

    # Closed and answered Yes, it ends.
    activate(window)
    harness.key("alt+F4")
    question = window_titled("확인", 15)
    activate(question)
    harness.key("y")
    wait_for(lambda: not os.path.exists("/proc/" + pid), 15, what="the installed timer to end")
    check(not windows_titled(TITLE), "the window is still shown")


def uninstalls_everything():
    entry = uninstall_entry()
    command = entry["QuietUninstallString"]
    uninstaller, flag = re.match(r'"(.*)" (/S)$', command).groups()
    check(prefix.wine(prefix.unix_path(uninstaller), flag, what="the uninstaller") == 0,
          "the uninstaller failed")
    # It finishes from a copy of itself in the temporary folder; that has
    # ended once the prefix has no process left.
    try:
        subprocess.run(["wineserver", "-w"], env=prefix.env(), timeout=120)
    except subprocess.TimeoutExpired:
        raise Failure("the prefix still has processes 120 s after the uninstaller started")
    check(not os.path.exists(install_dir), "left behind: %r" % (
        files_under(install_dir) if os.path.isdir(install_dir) else install_dir))
    check(not os.path.exists(shortcut), "the shortcut is still there")
    check(uninstall_entry() is None, "the uninstall entry is still there")


try:
    harness.main([installs_over_an_older_copy, starts_from_the_start_menu,
                  uninstalls_everything])
finally:
    prefix.stop()
    shutil.rmtree(work, ignore_errors=True)
