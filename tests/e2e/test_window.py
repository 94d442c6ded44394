"""The real window on a real X stack: texts at chosen instants, title,
fixed size, and a screenshot to look at."""
import os
import re

import pytest

import xscreen
from xsession import run, stays, wait_for

MONDAY = ("알반 에일레르 (Alban Eiler)",
          "생산직 스킬의 성공가능성 증가\n생활계열 스킬 랭크업시 보너스 증가 (110%)\n"
          "물건을 생산할 때 생산품의 품질의 향상",
          "완전 회복의 포션\n회복 속도 증가의 포션\n원격 연금술사의 집 이용권")
SUNDAY = ("임볼릭 (Imbolic)",
          "크리티컬 및 럭키 피니쉬 확률 상승\n연주 및 마법음악 성공률 증가\n마법음악 길들이기 확률 증가",
          "염색앰플\n금속 염색 앰플\n(이상 모두 유효기간 7일)")
SATURDAY = ("삼하인 (Samhain)",
            "나이를 먹고, 나이에 따른 AP를 얻음\n음식 복용시 효과 상승\nL로드 효과 증가\n"
            "조금 움직이는 동물도 스케치 가능\n연금술의 생산 품질 및 확률 증가",
            "생명의 엘릭서\n마나의 엘릭서\n스태미나의 엘릭서\n(이상 모두 유효기간 7일)")


def mmss(n):
    return "%02d:%02d" % (n // 60, n % 60)


def settled_labels(timer):
    """A reading in which no label still says "loading..."."""
    def read():
        labels = timer.data_labels()
        return None if "loading..." in labels.values() else labels
    return wait_for(read, 5, what="the first refresh")


# Each case: the faked local time in Seoul, its cycle second, and the texts
# as a function of the cycle second read back (the faked clock keeps running,
# so the reading may come a few seconds later). The shop chooser stays on its
# first shop, whose job runs for 720 < c <= 1440.
@pytest.mark.parametrize("when, start, expect", [
    ("2026-12-07 21:10:30", 630, lambda c: {
        "realTime": "21:10",
        "moongate": "라비던전 - 대기 (%s 후 열림)" % mmss(1626 - c),
        "moongateRoute": " → 이멘마하 → 가이레흐",
        "job": "대기 중 (%s 후 시작)" % mmss(720 - c),
        "day": MONDAY,
        "merchant": "케오섬 - %s 후 이동" % mmss(2160 - c),
        "merchantNext": "→ 이멘마하 남쪽다리 중간 섬",
        "merchantAfter": "→ 센마이평원에서 이멘 오는길에 움집터",
    }),
    ("2026-12-06 12:00:05", 5, lambda c: {
        "realTime": "12:00",
        "moongate": "이멘마하 - 열림 (%s 후 닫힘)" % mmss(546 - c),
        "moongateRoute": " → 케오섬 → 타라",
        "job": "대기 중 (%s 후 시작)" % mmss(720 - c),
        "day": SUNDAY,
        "merchant": "이멘마하 남쪽다리 중간 섬 - %s 후 이동" % mmss(2160 - c),
        "merchantNext": "→ 센마이평원에서 이멘 오는길에 움집터",
        "merchantAfter": "→ 드래곤유적지 동남쪽 집",
    }),
    ("2026-12-12 15:20:00", 1200, lambda c: {
        "realTime": "15:20",
        "moongate": "알비던전 - 대기 (%s 후 열림)" % mmss(1626 - c),
        "moongateRoute": " → 페카던전 → 케오섬",
        "job": "진행 중 (%s 후 종료)" % mmss(1440 - c),
        "day": SATURDAY,
        "merchant": "두갈드아일 벌목캠프 움집 - %s 후 이동" % mmss(2160 - c),
        "merchantNext": "→ 던바튼 동쪽 감자밭 천막",
        "merchantAfter": "→ 드래곤유적지 동남쪽 집",
    }),
], ids=["monday-evening", "sunday-noon", "saturday-afternoon"])
def test_texts_at_chosen_instants(clocks, when, start, expect):
    timer = clocks.start(fake_time=when)
    # Texts change every second, so a reading may straddle a tick: read
    # until one reading agrees with itself.
    for _ in range(5):
        labels = settled_labels(timer)
        m = re.search(r"(\d\d):(\d\d) 후 이동$", labels["merchant"])
        assert m, "the merchant label has no countdown"
        c = 2160 - (int(m.group(1)) * 60 + int(m.group(2)))
        assert start <= c <= start + 60, "cycle second %d is not within a minute after %d" % (
            c, start)
        want = expect(c)
        name, effect, items = want.pop("day")
        want.update(gameTime=mmss(2 * c // 3), dayName=name, dayEffect=effect, dayItem=items)
        differing = {k: (labels[k], want[k]) for k in want if labels[k] != want[k]}
        if not differing:
            return
    pytest.fail("at %s: label, expected: %r" % (when, differing))


def test_window_title_captions_and_chooser(clocks, title):
    timer = clocks.start(fake_time="2026-12-07 21:10:30")
    assert timer.frame().name == title
    assert xscreen.text_prop(timer.window_id, "_NET_WM_NAME") == title
    texts = timer.label_texts()
    for caption in ["에린시간:", "현실시간:", "문게이트:", "아르바이트:", "요일효과:",
                    "어드밴스트 아이템:", "프라이스:", "플레타:",
                    "에린시각 09:00 ~ 11:00, 15:00 ~ 17:00, 19:00 ~ 21:00",
                    "위치: 센마이 평원 중앙 삼거리 근처"]:
        assert caption in texts, "missing fixed text"
    credit = texts[-1]
    assert credit.startswith("이 프로그램은 타르베넬 타임즈(http")
    assert credit.endswith(")의 정보를 바탕으로 제작하였습니다.") and "\n" not in credit
    combo = timer.combo()
    items = [item.name for item in combo.getChildAtIndex(0)]
    assert len(items) == 15 and items[0] == "꽃가게" and items[-1] == "채굴장", items
    assert combo.name == "꽃가게", "the chooser's first shop"


def test_window_cannot_be_resized_and_fits_texts(clocks, shots):
    timer = clocks.start(fake_time="2026-12-12 15:20:00")
    settled_labels(timer)
    low, high = xscreen.size_hints(timer.window_id)
    assert low is not None and low == high, "size hints allow resizing"
    _, _, width, height = timer.geometry()
    assert (width, height) == low, "the window differs from its fixed size"
    # The window tries to grow with xdotool; the window manager refuses.
    run("xdotool", "windowsize", str(timer.window_id), str(width + 200), str(height + 200))
    stays(lambda: timer.geometry()[2:] == (width, height), 1.0, "the window was resized")
    xscreen.Shot().save(os.path.join(shots, "window.png"))
