"""timer-next run as a script or a status bar runs it: fixed local times in
Seoul, the player's files in a settings folder of the test's own."""
import datetime
import json
import subprocess

import icalendar
import pytest

FROM = "2026-12-09 21:00"
SEOUL = datetime.timezone(datetime.timedelta(hours=9))
KINDS = ["moongate", "merchant", "job", "second-merchant"]
TITLES = {"moongate": "문게이트", "merchant": "프라이스", "job": "아르바이트",
          "second-merchant": "플레타"}


@pytest.fixture
def settings(tmp_path):
    """The settings folder ($XDG_CONFIG_HOME/tarvenel-timer), empty."""
    return tmp_path / "config" / "tarvenel-timer"


@pytest.fixture
def run_next(timer_next, settings):
    """Runs timer-next with the PC in Seoul; returns (exit code, stdout bytes,
    stderr text). Every run leaves the settings folder as it found it."""
    def run(*args, check=True):
        before = sorted(settings.parent.rglob("*"))
        env = {"TZ": "Asia/Seoul", "XDG_CONFIG_HOME": str(settings.parent), "LANG": "C.UTF-8"}
        done = subprocess.run([timer_next, *args], env=env, capture_output=True, timeout=30)
        assert sorted(settings.parent.rglob("*")) == before, "timer-next wrote a file"
        if check:
            assert done.returncode == 0, done.stderr.decode()
        return done.returncode, done.stdout, done.stderr.decode()
    return run


def entries(run_next, *args):
    return json.loads(run_next("--json", "--from", FROM, "--zone", "Asia/Seoul", *args)[1])


def instant(text):
    return datetime.datetime.fromisoformat(text)


def test_json_lists_entries_in_start_order(run_next):
    found = entries(run_next, "--count", "40", "all")
    assert len(found) == 40
    assert {tuple(sorted(entry)) for entry in found} == {("end", "event", "place", "start")}
    assert {entry["event"] for entry in found} == set(KINDS)
    starts = [instant(entry["start"]) for entry in found]
    assert starts == sorted(starts)
    begin = datetime.datetime(2026, 12, 9, 21, 0, tzinfo=SEOUL)
    for entry in found:
        start, end = instant(entry["start"]), instant(entry["end"])
        assert start.utcoffset() == end.utcoffset() == datetime.timedelta(hours=9)
        assert start < end and end > begin
    raw = run_next("--json", "--count", "3", "moongate")[1]
    assert b"\\u" not in raw and "문게이트".encode() not in raw
    assert all(0xac00 <= ord(c) <= 0xd7a3 for c in json.loads(raw)[0]["place"] if c != " ")


@pytest.mark.parametrize("kind", KINDS + ["all"])
def test_text_lines_say_what_the_json_says(run_next, kind):
    expected = []
    for entry in entries(run_next, "--count", "12", kind):
        start, end = instant(entry["start"]), instant(entry["end"])
        shown_end = end.strftime("%H:%M:%S" if end.date() == start.date() else "%Y-%m-%d %H:%M:%S")
        expected.append("%s ~ %s  %s  %s" % (start.strftime("%Y-%m-%d %H:%M:%S"), shown_end,
                                              TITLES[entry["event"]], entry["place"]))
    text = run_next("--from", FROM, "--zone", "Asia/Seoul", "--count", "12", kind)[1]
    assert text.decode().splitlines() == expected


def test_an_entry_under_way_keeps_its_start(run_next):
    gate = entries(run_next, "--count", "1", "moongate")[0]
    start, end = instant(gate["start"]), instant(gate["end"])
    middle = (start + (end - start) / 2).strftime("%Y-%m-%d %H:%M:%S")
    under_way = json.loads(run_next("--json", "--count", "1", "--from", middle, "--zone",
                                    "Asia/Seoul", "moongate")[1])
    assert under_way == [gate]


# From the game's tables: a game day lasts 36 minutes, a game minute 1.5 s;
# a shop's job runs from its start to its end cycle second, the second
# merchant stays two game hours from 09:00, 15:00 and 19:00.
@pytest.mark.parametrize("args, lasts, apart", [
    (["--shop", "꽃가게", "job"], 720, [2160]),
    (["--shop", "채굴장", "job"], 1170, [2160]),
    (["second-merchant"], 180, [540, 360, 1260]),
])
def test_entries_follow_the_tables(run_next, args, lasts, apart):
    found = entries(run_next, "--count", "6", *args)
    starts = [instant(entry["start"]) for entry in found]
    assert {(instant(entry["end"]) - instant(entry["start"])).seconds for entry in found} == {lasts}
    gaps = [int((b - a).total_seconds()) for a, b in zip(starts, starts[1:])]
    assert sorted(set(gaps)) == sorted(apart)


def test_the_clocks_setup_gives_the_defaults(run_next, settings):
    settings.mkdir(parents=True)
    (settings / "timer.ini").write_text("[job]\nshop=대장간\n[clock]\nzone=Asia/Seoul\n")
    assert run_next("--json", "--from", FROM, "job")[1] == \
        run_next("--json", "--from", FROM, "--zone", "Asia/Seoul", "--shop", "대장간", "job")[1]


def calendar(run_next, *args):
    raw = run_next("--ics", "--from", FROM, "--zone", "Asia/Seoul", *args)[1]
    assert raw.endswith(b"\r\n") and b"\n" not in raw.replace(b"\r\n", b"")
    return [event for event in icalendar.Calendar.from_ical(raw).walk("VEVENT")]


@pytest.mark.parametrize("alarms, triggers", [
    (None, []),
    ("[moongate]\nopens=5, 0\n", [datetime.timedelta(minutes=-5), datetime.timedelta(0)]),
    ("[General]\nmuted=true\n[moongate]\nopens=5\n", []),
    ("[moongate]\nopens=99\n", []),
])
def test_the_calendar_holds_the_days_entries(run_next, settings, alarms, triggers):
    if alarms:
        settings.mkdir(parents=True)
        (settings / "alarms.ini").write_text(alarms)
    events = calendar(run_next, "--days", "2", "moongate")
    end = datetime.datetime(2026, 12, 11, 21, 0, tzinfo=SEOUL)
    listed = [entry for entry in entries(run_next, "--count", "1000", "moongate")
              if instant(entry["start"]) < end]
    assert [(event["DTSTART"].dt, str(event["SUMMARY"])) for event in events] == \
        [(instant(entry["start"]), "문게이트: %s 열림" % entry["place"]) for entry in listed]
    assert all(event["DTSTART"].to_ical().endswith(b"Z") for event in events)
    for event in events:
        assert sorted(alarm["TRIGGER"].dt for alarm in event.walk("VALARM")) == triggers
    assert [e["UID"] for e in calendar(run_next, "--days", "2", "moongate")] == \
        [e["UID"] for e in events]
    assert len({e["UID"] for e in calendar(run_next, "job")}) == 7 * 40


@pytest.mark.parametrize("args, allowed", [
    ([], "second-merchant"),
    (["gate"], "second-merchant"),
    (["moongate", "서울"], "탈틴"),
    (["--shop", "꽃가게", "job", "대장간"], "꽃가게"),
    (["--shop", "빵집", "job"], "채굴장"),
    (["--zone", "Mars/Olympus", "all"], "Asia/Seoul"),
    (["--from", "2026-13-09 21:00", "all"], "YYYY-MM-DD HH:MM"),
    (["--from", "tomorrow", "all"], "YYYY-MM-DD HH:MM"),
    (["--count", "0", "all"], "from 1 to 1000"),
    (["--count", "1001", "all"], "from 1 to 1000"),
    (["--count", "ten", "all"], "from 1 to 1000"),
    (["--ics", "--days", "0", "all"], "from 1 to 31"),
    (["--ics", "--days", "32", "all"], "from 1 to 31"),
    (["--days", "3", "all"], "--ics"),
    (["--ics", "--json", "all"], "--days"),
    (["--ics", "--count", "3", "all"], "--days"),
    (["--later", "all"], "--help"),
    (["all", "--count"], "--help"),
])
def test_bad_input_is_named_on_one_line(run_next, args, allowed):
    code, out, err = run_next(*args, check=False)
    assert (code, out) == (2, b"")
    assert err.startswith("timer-next: ") and err.count("\n") == 1 and err.endswith("\n")
    assert allowed in err
