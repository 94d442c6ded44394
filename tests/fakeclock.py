"""The faked clocks the programs under test read, through libfaketime
preloaded directly rather than through the faketime wrapper, so that the
process started is the program itself and its PID the one to look for."""
import datetime
import os

LIBRARY = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"


def running_from(instant):
    """Environment for a clock that starts at the instant and runs on."""
    return {"LD_PRELOAD": LIBRARY, "FAKETIME": "@" + instant}


class FakeClock:
    """A clock that stands still at the instant its file names, read anew at
    each look, so that a test moves it with set(). Timers keep running."""

    def __init__(self, path, instant):
        self.path = path
        self.set(instant)

    def set(self, instant):
        if isinstance(instant, datetime.datetime):
            instant = instant.strftime("%Y-%m-%d %H:%M:%S")
        # Replaced whole: a clock that read a half-written file would jump.
        with open(self.path + ".new", "w") as f:
            f.write(instant + "\n")
        os.replace(self.path + ".new", self.path)

    def env(self):
        return {"LD_PRELOAD": LIBRARY, "FAKETIME_TIMESTAMP_FILE": self.path,
                "FAKETIME_NO_CACHE": "1", "FAKETIME_DONT_FAKE_MONOTONIC": "1"}
