"""The real window on a real X stack: texts at chosen instants, title,
fixed size, and a screenshot to look at."""
import argparse
import os
import re

from harness import Failure, Timer, check, main, run, screenshot, wait_for

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


# Each case: the faked local time in Seoul, its cycle second, and the texts
# as a function of the cycle second read back (the faked clock keeps running,
# so the reading may come a few seconds later). The shop chooser stays on its
# first shop, whose job runs for 720 < c <= 1440.
CASES = [
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
]

parser = argparse.ArgumentParser()
parser.add_argument("--timer", required=True)
parser.add_argument("--shots", required=True)
args = parser.parse_args()
os.makedirs(args.shots, exist_ok=True)


def expected_texts(expect, c):
    e = expect(c)
    name, effect, items = e.pop("day")
    e.update(gameTime=mmss(2 * c // 3), dayName=name, dayEffect=effect, dayItem=items)
    return e


def settled_labels(timer):
    """A reading in which no label still says "loading..."."""
    def read():
        labels = timer.data_labels()
        return None if "loading..." in labels.values() else labels
    return wait_for(read, 5, what="the first refresh")


def check_case(when, start, expect):
    timer = Timer(args.timer, fake_time=when)
    try:
        # Texts change every second, so a reading may straddle a tick: read
        # until one reading agrees with itself.
        last = None
        for _ in range(5):
            labels = settled_labels(timer)
            m = re.search(r"(\d\d):(\d\d) 후 이동$", labels["merchant"])
            check(m, "merchant label has no countdown: %r" % labels["merchant"])
            c = 2160 - (int(m.group(1)) * 60 + int(m.group(2)))
            check(start <= c <= start + 60,
                  "cycle second %d is not within a minute after %d" % (c, start))
            want = expected_texts(expect, c)
            last = {k: (labels[k], want[k]) for k in want if labels[k] != want[k]}
            if not last:
                return
        raise Failure("at %s: label, expected: %r" % (when, last))
    finally:
        timer.stop()


def texts_at_chosen_instants():
    for when, start, expect in CASES:
        check_case(when, start, expect)


def window_title_captions_and_chooser():
    timer = Timer(args.timer, fake_time="2026-12-07 21:10:30")
    try:
        check(timer.frame().name == "Tarvenel Timer v0.3.1", "title: %r" % timer.frame().name)
        check('"Tarvenel Timer v0.3.1"' in timer.xprop("_NET_WM_NAME"), "X title differs")
        texts = timer.label_texts()
        for caption in ["에린시간:", "현실시간:", "문게이트:", "아르바이트:", "요일효과:",
                        "어드밴스트 아이템:", "프라이스:", "플레타:",
                        "에린시각 09:00 ~ 11:00, 15:00 ~ 17:00, 19:00 ~ 21:00",
                        "위치: 센마이 평원 중앙 삼거리 근처"]:
            check(caption in texts, "missing fixed text %r" % caption)
        credit = texts[-1]
        check(credit.startswith("이 프로그램은 타르베넬 타임즈(http")
              and credit.endswith(")의 정보를 바탕으로 제작하였습니다.")
              and "\n" not in credit, "credit line: %r" % credit)
        combo = timer.combo()
        items = [item.name for item in combo.getChildAtIndex(0)]
        check(len(items) == 15 and items[0] == "꽃가게" and items[-1] == "채굴장",
              "shop chooser: %r" % items)
        check(combo.name == "꽃가게", "chooser starts on %r" % combo.name)
    finally:
        timer.stop()


def window_cannot_be_resized_and_fits_texts():
    timer = Timer(args.timer, fake_time="2026-12-12 15:20:00")
    try:
        settled_labels(timer)
        hints = timer.xprop("WM_NORMAL_HINTS")
        low = re.search(r"minimum size: (\d+) by (\d+)", hints)
        high = re.search(r"maximum size: (\d+) by (\d+)", hints)
        check(low and high and low.groups() == high.groups(),
              "size hints allow resizing: %s" % hints)
        _, _, width, height = timer.geometry()
        check((str(width), str(height)) == low.groups(),
              "window %dx%d differs from its fixed size %s" % (width, height, low.groups()))
        # The window tries to grow with xdotool; the window manager refuses.
        run("xdotool", "windowsize", str(timer.window_id), str(width + 200), str(height + 200))
        wait_for(lambda: timer.geometry()[2:] == (width, height), 3, what="size to stay")
        screenshot(os.path.join(args.shots, "window.png"))
    finally:
        timer.stop()


main([texts_at_chosen_instants, window_title_captions_and_chooser,
      window_cannot_be_resized_and_fits_texts])
