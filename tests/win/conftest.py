"""Fixtures of the Windows product's end-to-end tests under Wine: the run's
template prefix, a clone of it for each test module, the shipped zip
unpacked as a player unpacks it, and Windows programs started in the
clone. Every test runs in the private X session with trayer as the
notification area; after each test what it started is killed by its PID
and the clone's wineserver is stopped (`wineserver -k`)."""
import os

import pytest

import project
import winharness
import winx
from xsession import Failure, SoundServer, wait_for

BUILD = os.path.join(project.REPO, "build-windows")


def pytest_addoption(parser):
    group = parser.getgroup("timer-windows", "the Windows product under Wine")
    dist = os.path.join(BUILD, "dist", "timer-" + project.VERSION)
    group.addoption("--zip", default=dist + "-windows-x64.zip",
                    help="the shipped zip (default: build-windows/dist/)")
    group.addoption("--setup", default=dist + "-setup.exe",
                    help="the installer (default: build-windows/dist/)")
    group.addoption("--wine-dir", default=os.path.join(BUILD, "tests", "win", "wine"),
                    help="where the prefixes are; a template made by CTest's wine_prefix_start "
                         "is used, or made when absent (default: build-windows/tests/win/wine)")
    group.addoption("--resources",
                    default=os.path.join(BUILD, "tests", "win", "bin", "test_resources.exe"),
                    help="test_resources.exe, which reads the shipped timer.exe's resources")
    group.addoption("--stand-in",
                    default=os.path.join(BUILD, "tests", "win", "bin", "clock_stand_in.exe"),
                    help="clock_stand_in.exe, a clock that the installer cannot ask to end")


def built(config, option):
    path = os.path.abspath(config.getoption(option))
    if not os.path.isfile(path):
        raise Failure("%s %s: no such file; scripts/build-windows.sh makes it" % (option, path))
    return path


@pytest.fixture(scope="session", autouse=True)
def wine_display(x_session):
    """Wine's windows go to the run's private X session."""
    return x_session


@pytest.fixture(scope="session")
def installer(pytestconfig):
    return built(pytestconfig, "--setup")


@pytest.fixture(scope="session")
def resources(pytestconfig):
    return built(pytestconfig, "--resources")


@pytest.fixture(scope="session")
def stand_in(pytestconfig):
    return built(pytestconfig, "--stand-in")


@pytest.fixture(scope="session")
def wine_template(pytestconfig):
    wine_dir = os.path.abspath(pytestconfig.getoption("--wine-dir"))
    path = winharness.template(wine_dir)
    if not os.path.isfile(os.path.join(path, "system.reg")):
        winharness.make_template(wine_dir)
    return path


@pytest.fixture(scope="module")
def module_prefix(request, wine_template):
    """A clone of the template for the test module, removed after it."""
    path = os.path.join(os.path.dirname(wine_template), request.module.__name__)
    yield winharness.clone(wine_template, path)
    winharness.discard(path)


@pytest.fixture
def prefix(module_prefix, tray):
    """The module's prefix, beside trayer; every process in it ends after
    the test."""
    yield module_prefix
    module_prefix.stop()


@pytest.fixture
def launch(request, prefix):
    """Starts Windows programs in the prefix and kills them after the test."""
    request.node.wine_programs = started = []

    def start(exe, *args, cwd=None, env=None):
        started.append(winharness.Program(prefix, exe, *args, cwd=cwd, env=env))
        return started[-1]
    yield start
    for program in started:
        program.stop()


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item):
    """A failure shows what the test's Windows programs wrote."""
    report = (yield).get_result()
    if report.failed:
        for program in getattr(item, "wine_programs", []):
            log = program.log()
            if log:
                report.sections.append(("%s wrote" % program.name, log))


@pytest.fixture(scope="module")
def folder(pytestconfig, tmp_path_factory):
    """The zip unpacked into a folder of its own; returns its top folder."""
    return winharness.unpack(built(pytestconfig, "--zip"), str(tmp_path_factory.mktemp("zip")))


@pytest.fixture
def start_timer(launch, folder):
    """timer.exe started from its folder with nothing else on its path."""
    def start(in_folder=folder, env=None):
        return launch(os.path.join(in_folder, "timer.exe"), cwd=in_folder,
                      env=dict(env or {}, WINEPATH=""))
    return start


@pytest.fixture
def sound(tmp_path):
    """A sound server of the test's own; env() points a program at it."""
    server = SoundServer(str(tmp_path))
    yield server
    server.stop()


@pytest.fixture
def start_with_tray_icon(prefix):
    """Starts a program with start() until its window is shown and Wine has
    docked its tray icon: Wine 8 with trayer draws the icon only some of the
    time. Returns (program, window, icon); says plainly when the icon never
    came, so that a missing icon never looks like a fault of the program."""
    def start_docked(start, attempts=4, icon_timeout=20):
        for attempt in range(1, attempts + 1):
            program = start()
            window = winx.window_titled(project.TITLE, 60)
            try:
                return program, window, wait_for(winx.tray_icon, icon_timeout, 0.5,
                                                 what="the tray icon")
            except Failure:
                winx.retried("start %d of %d: Wine docked no tray icon within %d s" %
                             (attempt, attempts, icon_timeout))
                program.stop()
                # A new desktop process, whose tray may come up where the
                # last one's did not.
                prefix.stop()
        raise Failure("Wine docked no tray icon into trayer in %d starts of %s (Wine 8 draws "
                      "one only some of the time); the tray checks could not run" %
                      (attempts, project.TITLE))
    return start_docked
