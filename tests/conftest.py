"""Fixtures shared by the end-to-end suites: the Linux program's (e2e/) and
the Windows product's under Wine (win/). Each test run gets one private X
session (xsession.py); the helpers a test needs beside the program under
test (a notification area, a compositor) are started for that test and
stopped after it.

Collecting the tests needs no display: the session starts with the first
test that asks for it."""
import os

import pytest

from project import REPO, TITLE
from xscreen import start_compositor, start_tray
from xsession import XSession


def pytest_addoption(parser):
    group = parser.getgroup("timer", "the programs under test")
    group.addoption("--timer", default=os.path.join(REPO, "build", "bin", "timer"),
                    help="the Linux timer binary (default: build/bin/timer)")
    group.addoption("--timer-next", default=os.path.join(REPO, "build", "bin", "timer-next"),
                    help="the Linux timer-next binary (default: build/bin/timer-next)")
    group.addoption("--shots", default=os.path.join(REPO, "build", "screenshots"),
                    help="where screenshots are kept (default: build/screenshots)")


@pytest.fixture(scope="session")
def title():
    """The clock window's title, which names the project's version."""
    return TITLE


@pytest.fixture(scope="session")
def timer_next(request):
    """The path of the timer-next command under test."""
    return request.config.getoption("--timer-next")


@pytest.fixture(scope="session")
def shots(request):
    """The folder screenshots are kept in, to be looked at after the run."""
    folder = request.config.getoption("--shots")
    os.makedirs(folder, exist_ok=True)
    return folder


@pytest.fixture(scope="session")
def x_session():
    """One private X session for the run; the test process itself (and
    every program it starts) runs in it."""
    session = XSession()
    saved = dict(os.environ)
    os.environ.update(session.env())
    try:
        yield session
    finally:
        session.stop()
        os.environ.clear()
        os.environ.update(saved)


@pytest.fixture
def tray(x_session):
    with start_tray() as helper:
        yield helper


@pytest.fixture
def compositor(x_session):
    helper = start_compositor()
    try:
        yield helper
    finally:
        helper.stop()
