"""One clock per session, clear words when there is no window system, and
the warning when no font can show Hangul: the real binary on a private X
server."""
import os
import pathlib
import re
import resource
import shutil
import socket
import subprocess
import tempfile
import time

import pytest

import xscreen
from clockapp import NO, press
from xsession import Helper, private_runtime_dir, stays, wait_for

FONT_PACKAGE = "fonts-nanum"


def start_again(clocks, env=None, timeout=20):
    """A further start of the program, which ends by itself; returns its exit
    code and output."""
    process = clocks.spawn(env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    said, _ = process.communicate(timeout=timeout)
    return process.returncode, said


def clock_windows(title):
    return xscreen.windows(name=re.escape(title))


def test_second_start_brings_the_hidden_window_back(tray, clocks, title):
    timer = clocks.start()
    press(timer.ask_to_close(), NO)
    wait_for(lambda: not timer.is_mapped(), 5, what="the window to hide")

    startup_id = "e2e-launcher-1_TIME%d" % int(time.time())
    code, said = start_again(clocks, {"DESKTOP_STARTUP_ID": startup_id})
    assert code == 0, said
    wait_for(lambda: timer.is_mapped() and timer.is_active(), 10,
             what="the window to come back and take the focus")
    assert xscreen.text_prop(timer.window_id, "_NET_STARTUP_ID") == startup_id
    assert len(clock_windows(title)) == 1

    # Shown already, in the background: it comes to the front.
    with Helper("xmessage", "-name", "cover", "-geometry", "+0+0", "cover"):
        wait_for(lambda: not timer.is_active(), 10, what="another window to take the focus")
        code, said = start_again(clocks)
        assert code == 0, said
        wait_for(timer.is_active, 10, what="the window to take the focus again")
    timer.check_running()


def test_starts_at_once_end_with_one_clock(clocks, title):
    starts = [clocks.spawn(stderr=subprocess.DEVNULL) for _ in range(4)]
    wait_for(lambda: sum(p.poll() is not None for p in starts) >= 3, 30,
             what="three of four simultaneous starts to end")
    codes = [p.returncode for p in starts if p.poll() is not None]
    assert codes == [0, 0, 0], "exit codes of the later starts"
    wait_for(lambda: len(clock_windows(title)) == 1, 15, what="the one clock's window")
    stays(lambda: len(clock_windows(title)) == 1 and sum(p.poll() is None for p in starts) == 1,
          1.0, "not exactly one clock")


def test_a_crashed_clock_does_not_block_the_next(clocks):
    crashed = clocks.start(ready=False)
    crashed.process.kill()
    crashed.process.wait()
    assert any(name.endswith(".socket") for name in os.listdir(os.environ["XDG_RUNTIME_DIR"])), \
        "the killed clock left no socket behind; the case is not tested"
    again = clocks.start()
    code, said = start_again(clocks)
    assert code == 0, "a start beside the new clock: %s" % said
    again.check_running()


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def flood(path, count, seconds):
    """count idle connections to the socket at path, as many as it takes
    within the time given."""
    limit = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (max(limit[0], count + 256), limit[1]))
    connections, end = [], time.monotonic() + seconds
    for _ in range(count):
        connection = socket.socket(socket.AF_UNIX)
        connection.setblocking(False)
        connections.append(connection)
        while time.monotonic() < end:
            try:
                connection.connect(path)
                break
            except BlockingIOError:
                time.sleep(0.002)
            except OSError:
                break
    return connections


def test_a_flood_of_idle_connections_neither_spins_nor_holds_later_starts(clocks):
    timer = clocks.start()
    pid = timer.process.pid
    # The usual desktop limit: 2000 idle connections would take it all.
    subprocess.run(["prlimit", "--pid", str(pid), "--nofile=1024:1024"], check=True)
    socket_path = os.path.join(os.environ["XDG_RUNTIME_DIR"], "example.tarvenel.timer.socket")
    connections = flood(socket_path, 2000, 30)
    try:
        before = cpu_seconds(pid)
        time.sleep(3)
        assert cpu_seconds(pid) - before < 0.5, "the clock spins under the flood"
        assert len(os.listdir("/proc/%d/fd" % pid)) < 100, "the idle connections are kept"
        started = time.monotonic()
        code, said = start_again(clocks, timeout=25)
        assert code == 0 and time.monotonic() - started < 15, said
    finally:
        for connection in connections:
            connection.close()
    timer.check_running()


@pytest.fixture
def short_tmp():
    """A folder with a short path: a socket's path has room for 107 bytes."""
    path = tempfile.mkdtemp(prefix="tt", dir="/tmp")
    yield pathlib.Path(path)
    shutil.rmtree(path)


@pytest.mark.parametrize("kind, cache_is_a_file", [
    ("open to all", False), ("a link", False), ("another user's", False), ("a link", True),
], ids=["open-to-all", "a-link", "another-users", "no-private-folder"])
def test_a_taken_fallback_folder_is_said(clocks, short_tmp, kind, cache_is_a_file):
    temp, cache = short_tmp / "tmp", short_tmp / "cache"
    temp.mkdir()
    taken = temp / ("tarvenel-timer-%d" % os.getuid())
    if kind == "a link":
        taken.symlink_to(short_tmp)
    else:
        taken.mkdir(mode=0o700)
        if kind == "open to all":
            os.chmod(taken, 0o777)
        else:
            os.chown(taken, 65534, 65534)
    if cache_is_a_file:
        cache.write_text("")
    env = {"XDG_RUNTIME_DIR": None, "TMPDIR": str(temp), "XDG_CACHE_HOME": str(cache)}
    with open(short_tmp / "stderr", "w") as errors:
        timer = clocks.start(env=env, stderr=errors)
        if not cache_is_a_file:
            # The cache folder keeps the session to one clock.
            code, said = start_again(clocks, env=env)
            assert code == 0 and len(clock_windows(timer.title)) == 1, said
        timer.stop()
    said = [line for line in (short_tmp / "stderr").read_text().splitlines()
            if line.startswith("timer:")]
    assert len(said) == 1 and str(taken) in said[0], said
    if cache_is_a_file:
        assert said[0].startswith("timer: a second clock cannot be prevented in this session")
    else:
        assert str(cache / "tarvenel-timer") in said[0]


def free_display():
    for number in range(4242, 4342):
        if not os.path.exists("/tmp/.X11-unix/X%d" % number) and \
                not os.path.exists("/tmp/.X%d-lock" % number):
            return ":%d" % number
    pytest.fail("no free display number")


@pytest.mark.parametrize("env, args, expected", [
    ({"DISPLAY": None, "WAYLAND_DISPLAY": None}, [], "(DISPLAY is not set)"),
    ({"DISPLAY": None, "WAYLAND_DISPLAY": None}, ["-platform", "wayland"],
     "(WAYLAND_DISPLAY is not set)"),
    ({"DISPLAY": free_display}, [], "cannot be reached"),
    ({}, ["-platform", "bogus"], '"bogus" is not available'),
], ids=["no-DISPLAY", "no-WAYLAND_DISPLAY", "DISPLAY-points-nowhere", "platform-bogus"])
def test_no_window_system_says_so_and_exits_1(clocks, env, args, expected):
    env = {k: v() if callable(v) else v for k, v in env.items()}
    process = clocks.spawn(*args, env=dict(env, QT_QPA_PLATFORM=None,
                                           XDG_RUNTIME_DIR=private_runtime_dir()),
                           stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    _, said = process.communicate(timeout=30)
    lines = said.strip().splitlines()
    assert process.returncode == 1, lines
    assert len(lines) == 1 and lines[0].startswith("timer: ") and expected in lines[0]
    assert "Reinstalling" not in said and "plugin" not in said, \
        "the toolkit's plugin text reached the user"


def test_unknown_options_keep_the_toolkits_handling(clocks):
    clocks.start(args=["-no-such-option", "-reverse"]).check_running()


FONTS_WITHOUT_HANGUL = """<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">
<fontconfig>
  <include ignore_missing="yes">/etc/fonts/fonts.conf</include>
  <cachedir>%s/cache</cachedir>
  <selectfont><rejectfont><pattern><patelt name="charset"><charset>
    <range><int>0xac00</int><int>0xd7a3</int></range>
  </charset></patelt></pattern></rejectfont></selectfont>
</fontconfig>
"""


@pytest.mark.parametrize("hangul, warnings", [(False, 1), (True, 0)],
                         ids=["hangul-fonts-hidden", "hangul-fonts-there"])
def test_missing_hangul_font_is_reported_once(clocks, tmp_path, hangul, warnings):
    env = {}
    if not hangul:
        (tmp_path / "fonts.conf").write_text(FONTS_WITHOUT_HANGUL % tmp_path)
        env["FONTCONFIG_FILE"] = str(tmp_path / "fonts.conf")
    with open(tmp_path / "stderr", "w") as err:
        timer = clocks.start(env=env, stderr=err)
        time.sleep(1.0)
        timer.stop()
    said = (tmp_path / "stderr").read_text()
    assert len([line for line in said.splitlines() if FONT_PACKAGE in line]) == warnings, said
