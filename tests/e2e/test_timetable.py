"""The timetable window of the real clock: opened from the tray, read over
AT-SPI, searched by place and moving on as the clock runs."""
import pyatspi

from clockapp import descendants
from xsession import wait_for

# 2026-12-07 in Seoul: the gate opens at 21:27:06 towards 라비던전, while the
# merchant has stood at his stop since 21:00.
BEFORE = "2026-12-07 21:25:40"
OPENED = "2026-12-07 21:27:10"


def timetable_window(timer):
    return wait_for(lambda: next((w for w in timer.top_levels() if w.name == "시간표"), None),
                    10, what="the timetable window")


def rows(window):
    """The table's rows as lists of cell texts."""
    table = next(n for n in descendants(window) if n.getRole() == pyatspi.ROLE_TABLE)
    cells = table.queryTable()
    return [[cells.getAccessibleAt(r, c).name for c in range(cells.nColumns)]
            for r in range(cells.nRows)]


def first_of(window, kind):
    return next(r for r in rows(window) if r[0] == kind)


def test_the_coming_day_searched_and_moving_on(tray, clocks, fake_clock, private_dirs):
    fake_clock.set(BEFORE)
    timer = clocks.start(clock=fake_clock)
    timer.choose_from_tray_menu("시간표")
    window = timetable_window(timer)

    gate = wait_for(lambda: first_of(window, "문게이트"), 10, what="a moongate row")
    assert gate[1:5] == ["라비던전", "21:27", "21:45", "18:04"], gate
    assert gate[5].endswith(" 후"), gate
    # Under way since the game day began, with its true start.
    merchant = first_of(window, "프라이스")
    assert merchant[2] == "21:00" and merchant[5].startswith("진행 중 ("), merchant
    # A whole day ahead, the day written where it changes.
    assert len(rows(window)) > 200
    assert any(r[2].startswith("12월 8일 ") for r in rows(window))

    fake_clock.set(OPENED)
    wait_for(lambda: first_of(window, "문게이트")[5].startswith("진행 중 ("), 10,
             what="the open gate's row to be under way")

    search = next(n for n in descendants(window) if n.name == "장소 검색")
    search.queryEditableText().setTextContents("탈")
    found = wait_for(lambda: [r for r in rows(window) if r[1] == "탈틴"] == rows(window) and rows(window),
                     5, what="only 탈틴 to be listed")
    assert {r[0] for r in found} == {"문게이트"}
