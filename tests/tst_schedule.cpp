#include "schedule.h"
#include "tables.h"

#include <QDateTime>
#include <QTimeZone>
#include <QtTest>

namespace {

const QTimeZone seoul("Asia/Seoul");
// UTC+5:30 under the older of its two names: Windows' zone table knows only
// this one, and the IANA database keeps it as an alias.
const char *const indiaZone = "Asia/Calcutta";

QDateTime inSeoul(const char *text)
{
    QDateTime t = QDateTime::fromString(QString::fromLatin1(text), Qt::ISODate);
    t.setTimeZone(seoul);
    return t;
}

// A Seoul instant at a chosen cycle second of the game day that starts at
// 21:00 on Monday 2026-12-07, in which the moongate steps from row 4 to 5.
QDateTime seoulAtCycle(int cycle)
{
    return inSeoul("2026-12-07T21:00:00").addSecs(cycle);
}

// The original formulas, on unsigned 32-bit values: the reference the
// 64-bit arithmetic must agree with wherever 32 bits can hold the time.
struct Reference
{
    int cycle, gate, merchant;
};

Reference reference32(const QDateTime &instant)
{
    const quint32 t = quint32(instant.toSecsSinceEpoch());
    const quint32 midnight = quint32(instant.date().startOfDay(instant.timeZone()).toSecsSinceEpoch());
    return { int((t - midnight) % 2160u), int(((t - 600u) / 2160u) % 25u),
             int((t / 2160u) % 14u) };
}

QString gateName(const ScheduleTexts &texts)
{
    return texts.moongate.section(QStringLiteral(" - "), 0, 0);
}

QString merchantName(const ScheduleTexts &texts)
{
    return texts.merchant.section(QStringLiteral(" - "), 0, 0);
}

} // namespace

class TestSchedule : public QObject
{
    Q_OBJECT

private slots:
    void formatsMinutesAndSeconds_data();
    void formatsMinutesAndSeconds();
    void gameClock_data();
    void gameClock();
    void moongateState_data();
    void moongateState();
    void moongateRouteWraps();
    void moongateStepsInsideWaitingPeriod();
    void jobWindow_data();
    void jobWindow();
    void weekdayPanel_data();
    void weekdayPanel();
    void merchantCountdownNeverZero();
    void merchantRouteWrapsAndMovesAtGameDay();
    void indicesFollowUtcNotLocalMidnight();
    void gameZoneDecidesTheGameDay_data();
    void gameZoneDecidesTheGameDay();
    void agreesWith32BitFormulas_data();
    void agreesWith32BitFormulas();
    void rotationsContinueOutside32Bits_data();
    void rotationsContinueOutside32Bits();
    void missingMidnightStartsAtFirstInstant_data();
    void missingMidnightStartsAtFirstInstant();
    void lastSecondBeforeAStepBefore1970_data();
    void lastSecondBeforeAStepBefore1970();
};

void TestSchedule::formatsMinutesAndSeconds_data()
{
    QTest::addColumn<unsigned>("n");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << 0u << "00:00";
    QTest::newRow("59 s") << 59u << "00:59";
    QTest::newRow("one minute") << 60u << "01:00";
    QTest::newRow("13:07") << 787u << "13:07";
    QTest::newRow("game day") << 2160u << "36:00";
    QTest::newRow("three digits") << 6000u << "100:00";
    QTest::newRow("largest") << 4294967295u << "71582788:15";
}

void TestSchedule::formatsMinutesAndSeconds()
{
    QFETCH(unsigned, n);
    QFETCH(QString, text);
    QCOMPARE(formatMinSec(n), text);
}

void TestSchedule::gameClock_data()
{
    QTest::addColumn<QString>("local");
    QTest::addColumn<int>("cycle");
    QTest::addColumn<QString>("game");
    QTest::addColumn<QString>("real");
    QTest::newRow("midnight") << "2026-12-07T00:00:00" << 0 << "00:00" << "00:00";
    QTest::newRow("first second") << "2026-12-07T00:00:01" << 1 << "00:00" << "00:00";
    QTest::newRow("first game minute") << "2026-12-07T00:00:02" << 2 << "00:01" << "00:00";
    QTest::newRow("end of first game day") << "2026-12-07T00:35:59" << 2159 << "23:59" << "00:35";
    QTest::newRow("second game day") << "2026-12-07T00:36:00" << 0 << "00:00" << "00:36";
    QTest::newRow("typical tick") << "2026-12-07T21:10:30" << 630 << "07:00" << "21:10";
    QTest::newRow("real clock drops seconds") << "2026-12-07T13:07:45" << 1905 << "21:10" << "13:07";
    QTest::newRow("last second of the day") << "2026-12-07T23:59:59" << 2159 << "23:59" << "23:59";
}

void TestSchedule::gameClock()
{
    QFETCH(QString, local);
    QFETCH(int, cycle);
    QFETCH(QString, game);
    QFETCH(QString, real);
    const ScheduleTexts texts = scheduleTexts(inSeoul(local.toLatin1().constData()), 0);
    QCOMPARE(texts.cycleSecond, cycle);
    QCOMPARE(texts.gameTime, game);
    QCOMPARE(texts.realTime, real);
}

void TestSchedule::moongateState_data()
{
    QTest::addColumn<int>("cycle");
    QTest::addColumn<QString>("text");
    // 2026-12-07 Seoul: row 4 until cycle second 600, then row 5.
    QTest::newRow("start of game day") << 0 << "티르코네일 - 열림 (09:06 후 닫힘)";
    QTest::newRow("last open second") << 546 << "티르코네일 - 열림 (00:00 후 닫힘)";
    QTest::newRow("first waiting second") << 547 << "티르코네일 - 대기 (17:59 후 열림)";
    QTest::newRow("last waiting second") << 1626 << "라비던전 - 대기 (00:00 후 열림)";
    QTest::newRow("opens again") << 1627 << "라비던전 - 열림 (17:59 후 닫힘)";
    QTest::newRow("open across the day") << 2159 << "라비던전 - 열림 (09:07 후 닫힘)";
}

void TestSchedule::moongateState()
{
    QFETCH(int, cycle);
    QFETCH(QString, text);
    QCOMPARE(scheduleTexts(seoulAtCycle(cycle), 0).moongate, text);
}

void TestSchedule::moongateRouteWraps()
{
    // Row 24 is followed by rows 0 and 1.
    const ScheduleTexts texts = scheduleTexts(inSeoul("2026-12-08T08:59:00"), 0);
    QCOMPARE(texts.moongate, QStringLiteral("이멘마하 - 열림 (10:06 후 닫힘)"));
    QCOMPARE(texts.moongateRoute, QStringLiteral(" → 케오섬 → 타라"));
    // At cycle second 600 of the next game day it steps to row 0.
    const ScheduleTexts later = scheduleTexts(inSeoul("2026-12-08T09:10:00"), 0);
    QCOMPARE(gateName(later), QStringLiteral("케오섬"));
    QCOMPARE(later.moongateRoute, QStringLiteral(" → 타라 → 티르코네일"));
}

void TestSchedule::moongateStepsInsideWaitingPeriod()
{
    // In UTC+9 the rotation steps at cycle second 600, so the destination
    // shown across the open period (1627 .. 546 of the next day) never changes.
    QCOMPARE(gateName(scheduleTexts(seoulAtCycle(599), 0)), moongateDestinations[4]);
    QCOMPARE(gateName(scheduleTexts(seoulAtCycle(600), 0)), moongateDestinations[5]);
    QCOMPARE(scheduleTexts(seoulAtCycle(599), 0).moongateRoute,
             QStringLiteral(" → ") + moongateDestinations[5] + QStringLiteral(" → ")
                     + moongateDestinations[6]);
    const QString openAtEnd = gateName(scheduleTexts(seoulAtCycle(2159), 0));
    const QString openAtStart = gateName(scheduleTexts(seoulAtCycle(2160 + 546), 0));
    QCOMPARE(openAtStart, openAtEnd);
}

void TestSchedule::jobWindow_data()
{
    QTest::addColumn<int>("shop");
    QTest::addColumn<int>("cycle");
    QTest::addColumn<QString>("text");
    // Shop 10 ("음악상점") runs for 900 < c <= 1350.
    QTest::newRow("at start: still waiting") << 10 << 900 << "대기 중 (00:00 후 시작)";
    QTest::newRow("one after start: running") << 10 << 901 << "진행 중 (07:29 후 종료)";
    QTest::newRow("at end: running") << 10 << 1350 << "진행 중 (00:00 후 종료)";
    QTest::newRow("after end: waits across the day") << 10 << 1351 << "대기 중 (28:29 후 시작)";
    QTest::newRow("start of game day") << 10 << 0 << "대기 중 (15:00 후 시작)";
    QTest::newRow("first shop") << 0 << 1000 << "진행 중 (07:20 후 종료)";
    QTest::newRow("last shop") << 14 << 2070 << "진행 중 (00:00 후 종료)";
    QTest::newRow("last shop, after end") << 14 << 2071 << "대기 중 (16:29 후 시작)";
    QTest::newRow("no shop chosen") << -1 << 1000 << "out of range";
    QTest::newRow("past the table") << 15 << 1000 << "out of range";
}

void TestSchedule::jobWindow()
{
    QFETCH(int, shop);
    QFETCH(int, cycle);
    QFETCH(QString, text);
    QCOMPARE(scheduleTexts(seoulAtCycle(cycle), shop).job, text);
}

void TestSchedule::weekdayPanel_data()
{
    QTest::addColumn<QString>("local");
    QTest::addColumn<int>("row");
    QTest::newRow("Sunday") << "2026-12-06T12:00:00" << 0;
    QTest::newRow("Monday") << "2026-12-07T12:00:00" << 1;
    QTest::newRow("Saturday's last second") << "2026-12-12T23:59:59" << 6;
    QTest::newRow("Sunday's first second") << "2026-12-13T00:00:00" << 0;
    // Mid game day: the weekday follows the real date, not the game day.
    QTest::newRow("Saturday, late game day") << "2026-12-12T23:40:00" << 6;
}

void TestSchedule::weekdayPanel()
{
    QFETCH(QString, local);
    QFETCH(int, row);
    const ScheduleTexts texts = scheduleTexts(inSeoul(local.toLatin1().constData()), 0);
    QCOMPARE(texts.dayName, dayNames[row]);
    QCOMPARE(texts.dayEffect, dayEffects[row]);
    QCOMPARE(texts.dayItem, dayItems[row]);
}

void TestSchedule::merchantCountdownNeverZero()
{
    QVERIFY(scheduleTexts(seoulAtCycle(0), 0).merchant.endsWith(QStringLiteral("36:00 후 이동")));
    QVERIFY(scheduleTexts(seoulAtCycle(2159), 0).merchant.endsWith(QStringLiteral("00:01 후 이동")));
    for (int c = 0; c < GameDaySeconds; ++c) {
        const QString text = scheduleTexts(seoulAtCycle(c), 0).merchant;
        QVERIFY2(!text.contains(QStringLiteral("00:00 후")), qPrintable(text));
    }
}

void TestSchedule::merchantRouteWrapsAndMovesAtGameDay()
{
    // 2026-12-06 12:00 Seoul starts a game day in which the merchant stands
    // at row 13; the next stops wrap to rows 0 and 1.
    const ScheduleTexts last = scheduleTexts(inSeoul("2026-12-06T11:59:59"), 0);
    const ScheduleTexts first = scheduleTexts(inSeoul("2026-12-06T12:00:00"), 0);
    QCOMPARE(last.merchant, merchantLocations[12] + QStringLiteral(" - 00:01 후 이동"));
    QCOMPARE(first.merchant, merchantLocations[13] + QStringLiteral(" - 36:00 후 이동"));
    QCOMPARE(first.merchantNext, QStringLiteral("→ ") + merchantLocations[0]);
    QCOMPARE(first.merchantAfter, QStringLiteral("→ ") + merchantLocations[1]);
}

void TestSchedule::indicesFollowUtcNotLocalMidnight()
{
    // UTC+5:30 is not a multiple of a game day, so the merchant moves
    // 360 s (19800 mod 2160) into the local game day, not when his
    // countdown runs out.
    const QTimeZone kolkata(indiaZone);
    QVERIFY2(kolkata.isValid(), indiaZone);
    QDateTime dayStart(QDate(2026, 12, 7), QTime(0, 0), kolkata);
    const int shift = int(kolkata.offsetFromUtc(dayStart) % GameDaySeconds);
    QCOMPARE(shift, 360);
    const ScheduleTexts before = scheduleTexts(dayStart.addSecs(shift - 1), 0);
    const ScheduleTexts after = scheduleTexts(dayStart.addSecs(shift), 0);
    QCOMPARE(before.cycleSecond, shift - 1);
    QVERIFY(merchantName(before) != merchantName(after));
    QVERIFY(after.merchant.endsWith(QStringLiteral("30:00 후 이동")));
}

void TestSchedule::agreesWith32BitFormulas_data()
{
    QTest::addColumn<QString>("zone");
    QTest::addColumn<qint64>("t");

    const char *zones[] = { "UTC", "Asia/Seoul", "America/New_York", indiaZone,
                            "Australia/Lord_Howe" };
    QList<qint64> instants = { 600, 601, 2159, 2160, 86399, 86400, 0xFFFFFFFFLL,
                               0xFFFFFFFFLL - 2160, 0x80000000LL, 0x7FFFFFFFLL };
    // Where each rotation wraps to its first row.
    for (qint64 k : { 1LL, 1000LL, 79000LL }) {
        instants << 600 + 2160 * 25 * k - 1 << 600 + 2160 * 25 * k;
        instants << 2160 * 14 * k - 1 << 2160 * 14 * k;
    }
    // A spread over the whole 32-bit range with a stride prime to a game day.
    for (qint64 t = 600; t < 0xFFFFFFFFLL; t += 104729 * 997)
        instants << t;

    for (const char *zone : zones)
        for (qint64 t : instants)
            QTest::addRow("%s @%lld", zone, t) << QString::fromLatin1(zone) << t;
}

void TestSchedule::agreesWith32BitFormulas()
{
    QFETCH(QString, zone);
    QFETCH(qint64, t);
    const QTimeZone tz(zone.toLatin1());
    QVERIFY2(tz.isValid(), qPrintable(zone));
    const QDateTime instant = QDateTime::fromSecsSinceEpoch(t, tz);
    const Reference ref = reference32(instant);
    const ScheduleTexts texts = scheduleTexts(instant, 0);
    QCOMPARE(texts.cycleSecond, ref.cycle);
    QCOMPARE(gateName(texts), moongateDestinations[ref.gate]);
    QCOMPARE(texts.moongateRoute.section(QStringLiteral(" → "), 1, 1),
             moongateDestinations[(ref.gate + 1) % 25]);
    QCOMPARE(merchantName(texts), merchantLocations[ref.merchant]);
    QCOMPARE(texts.merchantNext, QStringLiteral("→ ") + merchantLocations[(ref.merchant + 1) % 14]);
}

void TestSchedule::rotationsContinueOutside32Bits_data()
{
    QTest::addColumn<qint64>("t");
    // The first 600 s of 1970, where the 32-bit subtraction wraps, and
    // instants before 1970 and after 2106.
    QTest::newRow("1970, first second") << qint64(0);
    QTest::newRow("1970, 599 s") << qint64(599);
    QTest::newRow("1969") << qint64(-86400 * 100 + 77);
    QTest::newRow("1901") << qint64(-2147483648LL);
    QTest::newRow("2106 wrap") << qint64(0xFFFFFFFFLL) - 1000;
    QTest::newRow("2200") << qint64(7258118400LL);
}

void TestSchedule::rotationsContinueOutside32Bits()
{
    QFETCH(qint64, t);
    const QTimeZone utc = QTimeZone::utc();
    // Whatever 32 bits would say, each rotation steps by exactly one row per
    // game day and the cycle second stays in range.
    for (qint64 step = 0; step < 30; ++step) {
        const QDateTime now = QDateTime::fromSecsSinceEpoch(t + step * 2160, utc);
        const QDateTime next = now.addSecs(2160);
        const ScheduleTexts a = scheduleTexts(now, 0);
        const ScheduleTexts b = scheduleTexts(next, 0);
        QVERIFY(a.cycleSecond >= 0 && a.cycleSecond < GameDaySeconds);
        QCOMPARE(gateName(b), a.moongateRoute.section(QStringLiteral(" → "), 1, 1));
        QCOMPARE(QStringLiteral("→ ") + merchantName(b), a.merchantNext);
    }
    // Row 0 of both rotations is anchored at the epoch.
    QCOMPARE(merchantName(scheduleTexts(QDateTime::fromSecsSinceEpoch(0, utc), 0)), merchantLocations[0]);
    QCOMPARE(gateName(scheduleTexts(QDateTime::fromSecsSinceEpoch(600, utc), 0)), moongateDestinations[0]);
    QCOMPARE(gateName(scheduleTexts(QDateTime::fromSecsSinceEpoch(599, utc), 0)), moongateDestinations[24]);
}

void TestSchedule::missingMidnightStartsAtFirstInstant_data()
{
    QTest::addColumn<QString>("zone");
    QTest::addColumn<QDate>("day");
    // Both skip from 00:00 to 01:00 on these days.
    QTest::newRow("Santiago") << "America/Santiago" << QDate(2022, 9, 11);
    QTest::newRow("Havana") << "America/Havana" << QDate(2023, 3, 12);
}

void TestSchedule::missingMidnightStartsAtFirstInstant()
{
    QFETCH(QString, zone);
    QFETCH(QDate, day);
    const QTimeZone tz(zone.toLatin1());
    QVERIFY2(tz.isValid(), "time zone data is missing");
    const QDateTime first = day.startOfDay(tz);
    QCOMPARE(first.time(), QTime(1, 0));

    QCOMPARE(scheduleTexts(first, 0).cycleSecond, 0);
    QCOMPARE(scheduleTexts(first, 0).gameTime, QStringLiteral("00:00"));
    QCOMPARE(scheduleTexts(first.addSecs(2), 0).gameTime, QStringLiteral("00:01"));
    QCOMPARE(scheduleTexts(first.addSecs(2160), 0).cycleSecond, 0);
    QCOMPARE(scheduleTexts(first.addSecs(-1), 0).cycleSecond, 2159);
    for (qint64 s = 0; s < 86400; s += 599)
        QVERIFY(scheduleTexts(first.addSecs(s), 0).cycleSecond >= 0);
}

void TestSchedule::lastSecondBeforeAStepBefore1970_data()
{
    QTest::addColumn<QString>("zone");
    QTest::addColumn<qint64>("step");
    QTest::addColumn<int>("millisecondsBefore");
    // Steps of both rotations in 1969 and 1901, and the one just before the
    // epoch; the instant lies inside the last second before the step.
    const qint64 merchantStep = -2160 * 17;
    const qint64 gateStep = -2160 * 17 + 600;
    for (const char *zone : { "UTC", "Asia/Seoul", "America/New_York" }) {
        for (int ms : { 1, 500, 999 }) {
            QTest::addRow("%s, merchant 1969, %d ms before", zone, ms) << zone << merchantStep << ms;
            QTest::addRow("%s, gate 1969, %d ms before", zone, ms) << zone << gateStep << ms;
        }
        QTest::addRow("%s, merchant 1901", zone) << zone << qint64(-2160) * 994193 << 1;
        QTest::addRow("%s, gate at the epoch", zone) << zone << qint64(-2160 + 600) << 1;
    }
}

void TestSchedule::lastSecondBeforeAStepBefore1970()
{
    QFETCH(QString, zone);
    QFETCH(qint64, step);
    QFETCH(int, millisecondsBefore);
    const QTimeZone tz(zone.toLatin1());
    QVERIFY2(tz.isValid(), "time zone data is missing");

    const QDateTime lastWholeSecond = QDateTime::fromSecsSinceEpoch(step - 1, tz);
    const QDateTime inside = QDateTime::fromMSecsSinceEpoch(step * 1000 - millisecondsBefore, tz);
    const QDateTime atStep = QDateTime::fromSecsSinceEpoch(step, tz);
    QCOMPARE(epochSeconds(inside), step - 1);

    const ScheduleTexts expected = scheduleTexts(lastWholeSecond, 3);
    const ScheduleTexts texts = scheduleTexts(inside, 3);
    QCOMPARE(texts.cycleSecond, expected.cycleSecond);
    QCOMPARE(texts.moongate, expected.moongate);
    QCOMPARE(texts.moongateRoute, expected.moongateRoute);
    QCOMPARE(texts.merchant, expected.merchant);
    QCOMPARE(texts.merchantNext, expected.merchantNext);
    QCOMPARE(texts.job, expected.job);
    QCOMPARE(texts.gameTime, expected.gameTime);

    // The step itself still comes one second later.
    const ScheduleTexts stepped = scheduleTexts(atStep, 3);
    QVERIFY(stepped.moongateRoute != texts.moongateRoute || stepped.merchantNext != texts.merchantNext);
}

void TestSchedule::gameZoneDecidesTheGameDay_data()
{
    QTest::addColumn<QByteArray>("pcZone");
    QTest::addColumn<QByteArray>("gameZone"); // empty: the PC's own
    QTest::addColumn<QString>("seoul");       // the instant, as Seoul reads it
    QTest::addColumn<bool>("asInSeoul");      // every game text is Seoul's

    // Offsets that are multiples of three hours agree with Seoul's game day
    // (UTC+9); Berlin's (+1), Los Angeles' (-8) and India's (+5:30) do not.
    QTest::newRow("Seoul") << QByteArray("Asia/Seoul") << QByteArray() << "2026-12-08T15:20:00" << true;
    QTest::newRow("UTC") << QByteArray("UTC") << QByteArray() << "2026-12-08T15:20:00" << true;
    QTest::newRow("Berlin") << QByteArray("Europe/Berlin") << QByteArray() << "2026-12-08T15:20:00" << false;
    QTest::newRow("Berlin, game in Seoul") << QByteArray("Europe/Berlin") << QByteArray("Asia/Seoul")
                                           << "2026-12-08T15:20:00" << true;
    QTest::newRow("Berlin's evening, Seoul's next day")
            << QByteArray("Europe/Berlin") << QByteArray("Asia/Seoul") << "2026-12-09T01:00:00" << true;
    QTest::newRow("Los Angeles, game in Seoul") << QByteArray("America/Los_Angeles")
                                                << QByteArray("Asia/Seoul") << "2026-12-08T15:20:00" << true;
    QTest::newRow("Los Angeles in summer time, game in Seoul")
            << QByteArray("America/Los_Angeles") << QByteArray("Asia/Seoul") << "2026-07-01T23:59:30" << true;
    QTest::newRow("India, game in Seoul") << QByteArray(indiaZone) << QByteArray("Asia/Seoul")
                                          << "2026-12-08T15:20:00" << true;
}

// With the game's zone, a PC anywhere shows Seoul's game texts beside its
// own real time, and the merchant moves when his countdown runs out.
void TestSchedule::gameZoneDecidesTheGameDay()
{
    QFETCH(QByteArray, pcZone);
    QFETCH(QByteArray, gameZone);
    QFETCH(QString, seoul);
    QFETCH(bool, asInSeoul);
    const QDateTime inSeoulZone = inSeoul(qPrintable(seoul));
    const QDateTime onPc = inSeoulZone.toTimeZone(QTimeZone(pcZone));
    QVERIFY(onPc.isValid());
    const QTimeZone zone = gameZone.isEmpty() ? QTimeZone() : QTimeZone(gameZone);

    const ScheduleTexts shown = scheduleTexts(onPc, 8, zone);
    const ScheduleTexts expected = scheduleTexts(inSeoulZone, 8);
    QCOMPARE(shown.realTime, scheduleTexts(onPc, 8).realTime);
    const QStringList gameTexts = { shown.gameTime, shown.moongate, shown.job, shown.dayName, shown.merchant };
    const QStringList seoulTexts = { expected.gameTime, expected.moongate, expected.job, expected.dayName,
                                     expected.merchant };
    QCOMPARE(gameTexts == seoulTexts, asInSeoul);

    const QDateTime moves = onPc.addSecs(GameDaySeconds - shown.cycleSecond);
    QCOMPARE(merchantRow(epochSeconds(moves)) != merchantRow(epochSeconds(moves) - 1), asInSeoul);
}

QTEST_APPLESS_MAIN(TestSchedule)
#include "tst_schedule.moc"
