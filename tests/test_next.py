"""timer-next run as a script or a status bar runs it: the PC in Seoul, a
fixed start, the player's files in a settings folder of the test's own."""
import datetime
import json
import subprocess

import icalendar
import pytest

FROM = ["--from", "2026-12-09 21:00", "--zone", "Asia/Seoul"]
BEGIN = datetime.datetime(2026, 12, 9, 21, 0, tzinfo=datetime.timezone(datetime.timedelta(hours=9)))
TITLES = {"moongate": "문게이트", "merchant": "프라이스", "job": "아르바이트",
          "second-merchant": "플레타"}


@pytest.fixture
def settings(tmp_path):
    """The settings folder ($XDG_CONFIG_HOME/tarvenel-timer), not yet made."""
    return tmp_path / "config" / "tarvenel-timer"


@pytest.fixture
def run_next(timer_next, settings):
    """Runs timer-next; returns its exit code, standard output (bytes) and
    standard error, after checking that it left the settings folder as it was."""
    def run(*args, code=0):
        before = sorted(settings.parent.rglob("*"))
        env = {"TZ": "Asia/Seoul", "XDG_CONFIG_HOME": str(settings.parent), "LANG": "C.UTF-8"}
        done = subprocess.run([timer_next, *args], env=env, capture_output=True, timeout=30)
        assert sorted(settings.parent.rglob("*")) == before, "timer-next wrote a file"
        assert done.returncode == code, done.stderr.decode()
        return done.stdout, done.stderr.decode()
    return run


def entries(run_next, *args):
    return [dict(entry, start=datetime.datetime.fromisoformat(entry["start"]),
                 end=datetime.datetime.fromisoformat(entry["end"]))
            for entry in json.loads(run_next("--json", *FROM, *args)[0])]


def test_json_lists_entries_in_start_order(run_next):
    raw = run_next("--json", *FROM, "--count", "40", "all")[0]
    assert b"\\u" not in raw and "센마이".encode() in raw
    keys = {tuple(sorted(entry)) for entry in json.loads(raw)}
    assert keys == {("end", "event", "place", "start")}
    found = entries(run_next, "--count", "40", "all")
    assert len(found) == 40 and {entry["event"] for entry in found} == set(TITLES)
    assert [entry["start"] for entry in found] == sorted(entry["start"] for entry in found)
    assert all(e["start"] < e["end"] and BEGIN < e["end"] for e in found)
    assert {e["start"].utcoffset() for e in found} == {datetime.timedelta(hours=9)}


@pytest.mark.parametrize("kind", list(TITLES) + ["all"])
def test_text_lines_say_what_the_json_says(run_next, kind):
    expected = ["%s ~ %s  %s  %s" % (e["start"].strftime("%Y-%m-%d %H:%M:%S"), e["end"].strftime(
                "%H:%M:%S" if e["end"].date() == e["start"].date() else "%Y-%m-%d %H:%M:%S"),
                TITLES[e["event"]], e["place"]) for e in entries(run_next, "--count", "12", kind)]
    assert run_next(*FROM, "--count", "12", kind)[0].decode().splitlines() == expected


def test_an_entry_under_way_keeps_its_start(run_next):
    gate = json.loads(run_next("--json", *FROM, "--count", "1", "moongate")[0])[0]
    start = datetime.datetime.fromisoformat(gate["start"]) + datetime.timedelta(minutes=5)
    assert json.loads(run_next("--json", "--count", "1", "--zone", "Asia/Seoul", "--from",
                               start.strftime("%Y-%m-%d %H:%M"), "moongate")[0]) == [gate]


def test_the_clocks_setup_gives_the_defaults(run_next, settings):
    settings.mkdir(parents=True)
    (settings / "timer.ini").write_text("[job]\nshop=대장간\n[clock]\nzone=Asia/Seoul\n")
    assert run_next("--json", *FROM[:2], "job")[0] == \
        run_next("--json", *FROM, "--shop", "대장간", "job")[0]


@pytest.mark.parametrize("alarms, triggers", [
    (None, []),
    ("[moongate]\nopens=5, 0\n", [datetime.timedelta(minutes=-5), datetime.timedelta(0)]),
    ("[General]\nmuted=true\n[moongate]\nopens=5\n", []),
    ("[moongate]\nopens=99\n", []),  # unreadable: no alarms at all
])
def test_the_calendar_holds_the_days_entries(run_next, settings, alarms, triggers):
    if alarms:
        settings.mkdir(parents=True)
        (settings / "alarms.ini").write_text(alarms)
    raw = run_next("--ics", *FROM, "--days", "2", "moongate")[0]
    assert raw.endswith(b"\r\n") and b"\n" not in raw.replace(b"\r\n", b"")
    events = icalendar.Calendar.from_ical(raw).walk("VEVENT")
    listed = [e for e in entries(run_next, "--count", "1000", "moongate")
              if e["start"] < BEGIN + datetime.timedelta(days=2)]
    assert [(ev["DTSTART"].dt, ev["DTSTART"].to_ical()[-1:], str(ev["SUMMARY"])) for ev in events] \
        == [(e["start"], b"Z", "문게이트: %s 열림" % e["place"]) for e in listed]
    assert all(sorted(a["TRIGGER"].dt for a in ev.walk("VALARM")) == triggers for ev in events)
    again = icalendar.Calendar.from_ical(run_next("--ics", *FROM, "--days", "2", "moongate")[0])
    assert [ev["UID"] for ev in again.walk("VEVENT")] == [ev["UID"] for ev in events]
    assert len({ev["UID"] for ev in events}) == len(events)


@pytest.mark.parametrize("args, allowed", [
    ([], "second-merchant"),
    (["gate"], "second-merchant"),
    (["moongate", "서울"], "탈틴"),
    (["--shop", "빵집", "job"], "채굴장"),
    (["--zone", "Mars/Olympus", "all"], "Asia/Seoul"),
    (["--from", "tomorrow", "all"], "YYYY-MM-DD HH:MM"),
    (["--count", "0", "all"], "from 1 to 1000"),
    (["--count", "1001", "all"], "from 1 to 1000"),
    (["--ics", "--days", "32", "all"], "from 1 to 31"),
    (["--days", "3", "all"], "--ics"),
    (["--ics", "--json", "all"], "--days"),
    (["--ics", "--count", "3", "all"], "--days"),
    (["--later", "all"], "--help"),
])
def test_bad_input_is_named_on_one_line(run_next, args, allowed):
    out, err = run_next(*args, code=2)
    assert out == b"" and err.startswith("timer-next: ") and err.count("\n") == 1
    assert allowed in err and err.endswith("\n")
