#include "alarms.h"
#include "schedule.h"
#include "tables.h"

#include <QDateTime>
#include <QTimeZone>
#include <QtTest>

Q_DECLARE_METATYPE(AlarmEvent)
Q_DECLARE_METATYPE(QTimeZone)

namespace {

QDateTime localTime(const QTimeZone &zone, const QString &text)
{
    QDateTime t = QDateTime::fromString(text, Qt::ISODate);
    t.setTimeZone(zone);
    return t;
}

// The game day that starts at 21:00 on Monday 2026-12-07 in Seoul: the
// moongate is at row 4 until cycle second 600 and at row 5 after it.
QDateTime seoulAtCycle(qint64 cycle)
{
    return localTime(QTimeZone("Asia/Seoul"), QStringLiteral("2026-12-07T21:00:00")).addSecs(cycle);
}

AlarmSettings withLeads(AlarmEvent event, std::initializer_list<int> minutes)
{
    AlarmSettings settings;
    for (int m : minutes)
        settings.setLead(event, m, true);
    return settings;
}

AlarmSettings everyEventAt(int lead)
{
    AlarmSettings settings;
    for (int e = 0; e < AlarmEventCount; ++e)
        settings.setLead(AlarmEvent(e), lead, true);
    return settings;
}

// A notice as the tests compare it: the second of the tick that gave it.
struct Seen
{
    qint64 tick;
    qint64 at;
    AlarmEvent event;
    QString title;
    QString text;
    bool operator==(const Seen &o) const
    {
        return tick == o.tick && at == o.at && event == o.event && title == o.title && text == o.text;
    }
};

char *toString(const Seen &s)
{
    return qstrdup(qPrintable(QStringLiteral("@%1 for %2: %3 [%4] [%5]")
                                      .arg(s.tick).arg(s.at).arg(int(s.event)).arg(s.title, s.text)));
}

// Ticks once a second from `from` (exclusive) to `to` (inclusive).
QList<Seen> walk(const QDateTime &from, const QDateTime &to, int shop,
                 const AlarmSettings &settings, qint64 step = 1)
{
    AlarmState state;
    QList<Seen> seen;
    QDateTime previous = from;
    for (QDateTime now = from.addSecs(step); now <= to; now = now.addSecs(step)) {
        for (const AlarmNotice &n : dueAlarms(previous, now, shop, settings, &state))
            seen.append({ epochSeconds(now), n.at, n.event, n.title, n.text });
        previous = now;
    }
    return seen;
}

QString gateName(const ScheduleTexts &texts)
{
    return texts.moongate.section(QStringLiteral(" - "), 0, 0);
}

QString merchantName(const ScheduleTexts &texts)
{
    return texts.merchant.section(QStringLiteral(" - "), 0, 0);
}

QString ahead(int lead)
{
    return lead == 0 ? QStringLiteral("지금") : QStringLiteral("%1분 후").arg(lead);
}

} // namespace

class TestAlarms : public QObject
{
    Q_OBJECT

private slots:
    void eachEventAtItsBoundary_data();
    void eachEventAtItsBoundary();
    void agreesWithThePanels_data();
    void agreesWithThePanels();
    void placeFilters_data();
    void placeFilters();
    void rotationsWrap_data();
    void rotationsWrap();
    void jumps_data();
    void jumps();
    void holds_data();
    void holds();
    void nextAlarm_data();
    void nextAlarm();
    void dayBoundaries_data();
    void dayBoundaries();
};

void TestAlarms::eachEventAtItsBoundary_data()
{
    QTest::addColumn<AlarmEvent>("event");
    QTest::addColumn<int>("lead");
    QTest::addColumn<int>("shop");
    QTest::addColumn<int>("warning"); // cycle second of the warning, from seoulAtCycle(0)
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");

    const QString fletta = QStringLiteral("\n위치: 센마이 평원 중앙 삼거리 근처");
    // The gate's destination changes at cycle second 600, inside its waiting
    // period: it closes on row 4 and opens on row 5.
    QTest::newRow("gate opens, lead 0") << AlarmEvent::GateOpens << 0 << 0 << 1626
                                        << "문게이트: 라비던전" << "지금 열림";
    QTest::newRow("gate opens, lead 1") << AlarmEvent::GateOpens << 1 << 0 << 1566
                                        << "문게이트: 라비던전" << "1분 후 열림";
    QTest::newRow("gate opens, lead 30, previous game day")
            << AlarmEvent::GateOpens << 30 << 0 << 1626 - 1800 << "문게이트: 라비던전"
            << "30분 후 열림";
    QTest::newRow("gate closes, lead 0") << AlarmEvent::GateCloses << 0 << 0 << 546
                                         << "문게이트: 티르코네일" << "지금 닫힘";
    QTest::newRow("gate closes, lead 30") << AlarmEvent::GateCloses << 30 << 0 << 546 - 1800
                                          << "문게이트: 티르코네일" << "30분 후 닫힘";
    // Shop 10 runs for 900 < c <= 1350; the panel reads 00:00 at 900.
    QTest::newRow("job starts, lead 0") << AlarmEvent::JobStarts << 0 << 10 << 900
                                        << "아르바이트: 음악상점" << "지금 시작";
    QTest::newRow("job starts, lead 30") << AlarmEvent::JobStarts << 30 << 10 << 900 - 1800
                                         << "아르바이트: 음악상점" << "30분 후 시작";
    QTest::newRow("last shop, lead 15") << AlarmEvent::JobStarts << 15 << 14 << 0
                                        << "아르바이트: 채굴장" << "15분 후 시작";
    // In Seoul the merchant moves as the game day ends, from row 12 to 13.
    QTest::newRow("merchant moves, lead 0") << AlarmEvent::MerchantMoves << 0 << 0 << 2160
                                            << "프라이스: → 이멘마하 남쪽다리 중간 섬"
                                            << "지금 이동";
    QTest::newRow("merchant moves, lead 30") << AlarmEvent::MerchantMoves << 30 << 0 << 360
                                             << "프라이스: → 이멘마하 남쪽다리 중간 섬"
                                             << "30분 후 이동";
    QTest::newRow("second merchant 09:00, lead 0")
            << AlarmEvent::SecondMerchant << 0 << 0 << 810 << "플레타: 에린시각 09:00 ~ 11:00"
            << QString(QStringLiteral("지금 등장") + fletta);
    QTest::newRow("second merchant 15:00, lead 5")
            << AlarmEvent::SecondMerchant << 5 << 0 << 1350 - 300
            << "플레타: 에린시각 15:00 ~ 17:00" << QString(QStringLiteral("5분 후 등장") + fletta);
    QTest::newRow("second merchant 19:00, lead 30")
            << AlarmEvent::SecondMerchant << 30 << 0 << 1710 - 1800
            << "플레타: 에린시각 19:00 ~ 21:00" << QString(QStringLiteral("30분 후 등장") + fletta);
}

void TestAlarms::eachEventAtItsBoundary()
{
    QFETCH(AlarmEvent, event);
    QFETCH(int, lead);
    QFETCH(int, shop);
    QFETCH(int, warning);
    QFETCH(QString, title);
    QFETCH(QString, text);
    const AlarmSettings settings = withLeads(event, { lead });
    const QDateTime w = seoulAtCycle(warning);

    // Half-second ticks as the window has them: the warning's second is
    // reached by the tick at w and by no other.
    AlarmState state;
    QVERIFY(dueAlarms(w.addMSecs(-1500), w.addMSecs(-1000), shop, settings, &state).isEmpty());
    QVERIFY(dueAlarms(w.addMSecs(-1000), w.addMSecs(-500), shop, settings, &state).isEmpty());
    const QList<AlarmNotice> due = dueAlarms(w.addMSecs(-500), w, shop, settings, &state);
    QCOMPARE(due.size(), 1);
    QCOMPARE(due[0].event, event);
    QCOMPARE(due[0].lead, lead);
    QCOMPARE(due[0].at, epochSeconds(w) + 60 * lead);
    QCOMPARE(due[0].title, title);
    QCOMPARE(due[0].text, text);
    QVERIFY(dueAlarms(w, w.addMSecs(500), shop, settings, &state).isEmpty());
    QVERIFY(dueAlarms(w.addMSecs(500), w.addMSecs(1000), shop, settings, &state).isEmpty());

    // Nothing else falls due around it (the second merchant's hours are
    // six game hours apart at the closest).
    QCOMPARE(walk(w.addSecs(-300), w.addSecs(300), shop, settings).size(), 1);

    AlarmSettings muted = settings;
    muted.muted = true;
    AlarmState fresh;
    QVERIFY(dueAlarms(w.addSecs(-1), w, shop, muted, &fresh).isEmpty());
}

void TestAlarms::agreesWithThePanels_data()
{
    QTest::addColumn<QTimeZone>("zone");
    QTest::addColumn<QString>("from");
    QTest::addColumn<int>("hours");
    QTest::addColumn<int>("lead");
    QTest::addColumn<int>("shop");

    const QTimeZone seoul("Asia/Seoul"), newYork("America/New_York"), santiago("America/Santiago");
    QTest::newRow("Seoul, lead 0") << seoul << "2026-12-07T20:00:00" << 3 << 0 << 0;
    QTest::newRow("Seoul, lead 30, across midnight") << seoul << "2026-12-07T22:30:00" << 3 << 30 << 13;
    // UTC+5:30, under the older of its names, which Windows knows as well:
    // the merchant moves 360 s into a local game day.
    QTest::newRow("Kolkata, lead 1") << QTimeZone("Asia/Calcutta") << "2026-12-07T22:00:00" << 3 << 1 << 5;
    // An offset at which the rotation steps just as the gate opens: the
    // destination is the one the open gate shows.
    QTest::newRow("UTC+00:17:07, lead 2") << QTimeZone(1027) << "2026-12-07T20:00:00" << 3 << 2 << 0;
    // Days of 23 and 25 hours: the game days start again at the midnight
    // after, 720 s and 1440 s into one.
    QTest::newRow("New York, short day, lead 17") << newYork << "2026-03-08T22:00:00" << 4 << 17 << 4;
    QTest::newRow("New York, long day, lead 0") << newYork << "2026-11-01T22:00:00" << 4 << 0 << 14;
    QTest::newRow("New York, long day, lead 30") << newYork << "2026-11-01T22:00:00" << 4 << 30 << 0;
    QTest::newRow("Lord Howe, half-hour change, lead 3")
            << QTimeZone("Australia/Lord_Howe") << "2026-04-05T22:00:00" << 4 << 3 << 8;
    // Midnight does not exist: the day starts at 01:00.
    QTest::newRow("Santiago, missing midnight, lead 0") << santiago << "2022-09-10T22:00:00" << 5 << 0 << 1;
    QTest::newRow("Santiago, missing midnight, lead 30") << santiago << "2022-09-10T22:00:00" << 5 << 30 << 2;
}

// Every second of a few hours, the alarms against the panels: a warning n
// minutes ahead comes exactly when the panel n minutes later shows the
// event: the gate or the job the second before it opens, closes or starts
// (where its countdown reads 00:00, or where a new game day cuts it short),
// the merchant's stop changing, the game clock turning to one of the second
// merchant's hours.
void TestAlarms::agreesWithThePanels()
{
    QFETCH(QTimeZone, zone);
    QFETCH(QString, from);
    QFETCH(int, hours);
    QFETCH(int, lead);
    QFETCH(int, shop);
    QVERIFY2(zone.isValid(), "time zone data is missing");
    const QDateTime start = localTime(zone, from);
    const qint64 first = epochSeconds(start);
    const qint64 last = first + 3600 * hours;
    const qint64 shift = 60 * lead;

    auto panel = [&](qint64 t) { return scheduleTexts(QDateTime::fromSecsSinceEpoch(t, zone), shop); };
    const QStringList fletta = { QStringLiteral("09:00"), QStringLiteral("15:00"), QStringLiteral("19:00") };
    QList<Seen> expected;
    ScheduleTexts before = panel(first + shift);
    ScheduleTexts at = panel(first + shift + 1);
    for (qint64 z = first + shift + 1; z <= last + shift; ++z) {
        const ScheduleTexts after = panel(z + 1);
        const qint64 tick = z - shift;
        const bool waits = at.moongate.contains(QStringLiteral(" - 대기 ("));
        const bool opens = after.moongate.contains(QStringLiteral(" - 열림 ("));
        if (waits && opens)
            expected.append({ tick, z, AlarmEvent::GateOpens, QStringLiteral("문게이트: ") + gateName(after),
                              ahead(lead) + QStringLiteral(" 열림") });
        if (!waits && !opens)
            expected.append({ tick, z, AlarmEvent::GateCloses, QStringLiteral("문게이트: ") + gateName(at),
                              ahead(lead) + QStringLiteral(" 닫힘") });
        if (at.job.startsWith(QStringLiteral("대기 중")) && after.job.startsWith(QStringLiteral("진행 중")))
            expected.append({ tick, z, AlarmEvent::JobStarts,
                              QStringLiteral("아르바이트: ") + partTimeJobs[shop].shopName,
                              ahead(lead) + QStringLiteral(" 시작") });
        if (merchantName(at) != merchantName(before))
            expected.append({ tick, z, AlarmEvent::MerchantMoves, QStringLiteral("프라이스: → ") + merchantName(at),
                              ahead(lead) + QStringLiteral(" 이동") });
        if (fletta.contains(at.gameTime) && at.gameTime != before.gameTime) {
            const int h = at.gameTime.left(2).toInt();
            expected.append({ tick, z, AlarmEvent::SecondMerchant,
                              QStringLiteral("플레타: 에린시각 %1 ~ %2:00").arg(at.gameTime).arg(h + 2, 2, 10, QLatin1Char('0')),
                              ahead(lead) + QStringLiteral(" 등장\n") + placeNotice() });
        }
        before = at;
        at = after;
    }
    QVERIFY(expected.size() >= 5 * hours);

    QList<Seen> seen = walk(start, start.addSecs(3600 * hours), shop, everyEventAt(lead));
    // Within one second the events come in the order they were checked.
    auto order = [](const Seen &a, const Seen &b) {
        return a.tick != b.tick ? a.tick < b.tick : a.event < b.event;
    };
    std::sort(expected.begin(), expected.end(), order);
    std::sort(seen.begin(), seen.end(), order);
    QCOMPARE(seen, expected);
}

void TestAlarms::placeFilters_data()
{
    QTest::addColumn<AlarmEvent>("event");
    QTest::addColumn<QStringList>("places");
    QTest::addColumn<QList<int>>("rows");

    QList<int> everyGateRow, everyStop;
    for (int i = 0; i < MoongateRotation; ++i)
        everyGateRow << i;
    for (int i = 0; i < MerchantRoute; ++i)
        everyStop << i;
    QTest::newRow("any destination") << AlarmEvent::GateOpens << QStringList() << everyGateRow;
    QTest::newRow("a repeated destination") << AlarmEvent::GateOpens << QStringList { "티르코네일" }
                                            << QList<int> { 2, 4 };
    QTest::newRow("thrice in the rotation") << AlarmEvent::GateOpens << QStringList { "타라" }
                                            << QList<int> { 1, 12, 19 };
    QTest::newRow("two destinations") << AlarmEvent::GateOpens << QStringList { "던바튼", "케오섬" }
                                      << QList<int> { 0, 10, 16, 22 };
    QTest::newRow("once in the rotation") << AlarmEvent::GateOpens << QStringList { "키아던전" }
                                          << QList<int> { 17 };
    QTest::newRow("any stop") << AlarmEvent::MerchantMoves << QStringList() << everyStop;
    QTest::newRow("a repeated stop") << AlarmEvent::MerchantMoves
                                     << QStringList { "센마이평원에서 이멘 오는길에 움집터" }
                                     << QList<int> { 0, 10 };
    QTest::newRow("repeated stops two apart") << AlarmEvent::MerchantMoves
                                              << QStringList { "두갈드아일 벌목캠프 움집" }
                                              << QList<int> { 4, 6 };
    QTest::newRow("a stop named like a destination") << AlarmEvent::MerchantMoves
                                                     << QStringList { "케오섬" } << QList<int> { 12 };
    // Closing is announced for every destination: the filter is the opening's.
    QTest::newRow("closing ignores the destinations") << AlarmEvent::GateCloses
                                                      << QStringList { "타라" } << everyGateRow;
}

void TestAlarms::placeFilters()
{
    QFETCH(AlarmEvent, event);
    QFETCH(QStringList, places);
    QFETCH(QList<int>, rows);
    AlarmSettings settings = withLeads(event, { 1 });
    settings.gateDestinations = places;
    settings.merchantStops = places;
    // One whole rotation of each.
    const int days = event == AlarmEvent::MerchantMoves ? MerchantRoute : MoongateRotation;
    const QDateTime from = seoulAtCycle(0);
    const QString verb = event == AlarmEvent::MerchantMoves ? QStringLiteral("이동")
            : event == AlarmEvent::GateOpens                 ? QStringLiteral("열림")
                                                             : QStringLiteral("닫힘");
    AlarmState state;
    QList<int> seenRows;
    QDateTime previous = from;
    for (QDateTime now = from.addSecs(1); now <= from.addSecs(qint64(days) * GameDaySeconds);
         now = now.addSecs(1)) {
        for (const AlarmNotice &n : dueAlarms(previous, now, 0, settings, &state)) {
            QCOMPARE(n.text, QStringLiteral("1분 후 ") + verb);
            // The place the notice names is the one of the row it fired for.
            const int row = event == AlarmEvent::MerchantMoves ? merchantRow(n.at)
                    : event == AlarmEvent::GateOpens           ? moongateRow(n.at + 1)
                                                               : moongateRow(n.at);
            QVERIFY(n.title.endsWith(event == AlarmEvent::MerchantMoves ? merchantLocations[row]
                                                                        : moongateDestinations[row]));
            seenRows << row;
        }
        previous = now;
    }
    std::sort(seenRows.begin(), seenRows.end());
    QCOMPARE(seenRows, rows);
}

void TestAlarms::rotationsWrap_data()
{
    QTest::addColumn<AlarmEvent>("event");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QStringList>("titles");
    // Row 24 opens at 08:51:06, row 0 at 09:27:06.
    QTest::newRow("moongate") << AlarmEvent::GateOpens << "2026-12-08T08:20:00" << "2026-12-08T09:30:00"
                              << QStringList { "문게이트: 이멘마하", "문게이트: 케오섬" };
    // Rows 12, 13 and 0 at 11:24, 12:00 and 12:36.
    QTest::newRow("merchant") << AlarmEvent::MerchantMoves << "2026-12-06T11:20:00" << "2026-12-06T12:40:00"
                              << QStringList { "프라이스: → 케오섬", "프라이스: → 이멘마하 남쪽다리 중간 섬",
                                               "프라이스: → 센마이평원에서 이멘 오는길에 움집터" };
}

void TestAlarms::rotationsWrap()
{
    QFETCH(AlarmEvent, event);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QStringList, titles);
    QStringList seen;
    const QTimeZone seoul("Asia/Seoul");
    for (const Seen &s : walk(localTime(seoul, from), localTime(seoul, to), 0, withLeads(event, { 0 })))
        seen << s.title;
    QCOMPARE(seen, titles);
}

void TestAlarms::jumps_data()
{
    QTest::addColumn<QList<int>>("leads");
    QTest::addColumn<QList<qint64>>("ticks"); // cycle seconds from seoulAtCycle(0)
    QTest::addColumn<QStringList>("texts");   // "tick index: text" of each notice
    QTest::addColumn<int>("missed");          // occurrences passed over, over all ticks

    // The gate opens after cycle second 1626 of each game day.
    const qint64 day = GameDaySeconds;
    QTest::newRow("forward past the warning") << QList<int> { 5 } << QList<qint64> { 1000, 1400 }
                                              << QStringList { "1: 3분 46초 후 열림" } << 0;
    QTest::newRow("forward to the last seconds") << QList<int> { 5 } << QList<qint64> { 1000, 1590 }
                                                 << QStringList { "1: 36초 후 열림" } << 0;
    QTest::newRow("forward past the event") << QList<int> { 5 } << QList<qint64> { 1000, 1700 }
                                            << QStringList() << 1;
    QTest::newRow("forward by days: no burst") << QList<int> { 5 }
                                               << QList<qint64> { 1000, 1400 + 10 * day }
                                               << QStringList { "1: 3분 46초 후 열림" } << 10;
    QTest::newRow("forward over three warnings") << QList<int> { 10, 5, 1 }
                                                 << QList<qint64> { 1000, 1600, 1626 }
                                                 << QStringList { "1: 26초 후 열림" } << 0;
    QTest::newRow("the next warning after a jump") << QList<int> { 10, 1 }
                                                   << QList<qint64> { 1000, 1100, 1565, 1566 }
                                                   << QStringList { "1: 8분 46초 후 열림", "3: 1분 후 열림" } << 0;
    QTest::newRow("back after the warning") << QList<int> { 1 }
                                            << QList<qint64> { 1565, 1566, 1500, 1565, 1566, 1567 }
                                            << QStringList { "1: 1분 후 열림" } << 0;
    QTest::newRow("back, then on to the next game day")
            << QList<int> { 1 } << QList<qint64> { 1565, 1566, 1000, 1565 + day, 1566 + day }
            << QStringList { "1: 1분 후 열림", "4: 1분 후 열림" } << 0;
    QTest::newRow("back before a longer warning already given")
            << QList<int> { 10, 1 } << QList<qint64> { 1025, 1026, 1000, 1026, 1565, 1566 }
            << QStringList { "1: 10분 후 열림", "5: 1분 후 열림" } << 0;
    QTest::newRow("back by days is a clock put right")
            << QList<int> { 1 } << QList<qint64> { 1565 + 50 * day, 1566 + 50 * day, 1565, 1566 }
            << QStringList { "1: 1분 후 열림", "3: 1분 후 열림" } << 0;
    QTest::newRow("a tick a few seconds late") << QList<int> { 0 } << QList<qint64> { 1625, 1629 }
                                               << QStringList { "1: 지금 열림" } << 0;
    QTest::newRow("a jump past the event") << QList<int> { 0 } << QList<qint64> { 1625, 1640 }
                                           << QStringList() << 1;
    QTest::newRow("two leads in one interval") << QList<int> { 0, 1 } << QList<qint64> { 1560, 1626 }
                                               << QStringList { "1: 지금 열림" } << 0;
    QTest::newRow("the same instant twice") << QList<int> { 1 } << QList<qint64> { 1565, 1566, 1566 }
                                            << QStringList { "1: 1분 후 열림" } << 0;
}

void TestAlarms::jumps()
{
    QFETCH(QList<int>, leads);
    QFETCH(QList<qint64>, ticks);
    QFETCH(QStringList, texts);
    QFETCH(int, missed);
    AlarmSettings settings;
    for (int lead : leads)
        settings.setLead(AlarmEvent::GateOpens, lead, true);
    AlarmState state;
    QStringList seen;
    int passedOver = 0;
    for (int i = 1; i < ticks.size(); ++i) {
        MissedAlarms m;
        for (const AlarmNotice &n : dueAlarms(seoulAtCycle(ticks[i - 1]), seoulAtCycle(ticks[i]), 0,
                                              settings, &state, &m))
            seen << QStringLiteral("%1: %2").arg(i).arg(n.text);
        passedOver += m.count;
        if (m.count) {
            // The first is the earliest, at the gate's first open second.
            QCOMPARE(m.first.at, epochSeconds(seoulAtCycle(1626)));
            QCOMPARE(m.first.title, QStringLiteral("문게이트: 라비던전"));
            // In the PC's local time, as the window's real time.
            const QString local = QDateTime::fromSecsSinceEpoch(m.first.at).toString(QStringLiteral("HH:mm"));
            QCOMPARE(missedNotice(m).title, QStringLiteral("놓친 알림 %1개").arg(m.count));
            QCOMPARE(missedNotice(m).text, QStringLiteral("처음: 문게이트: 라비던전 (%1 열림)").arg(local));
        }
    }
    QCOMPARE(seen, texts);
    QCOMPARE(passedOver, missed);
}

void TestAlarms::holds_data()
{
    QTest::addColumn<qint64>("snoozedUntil"); // cycle seconds; -1 for none
    QTest::addColumn<qint64>("skipped");
    QTest::addColumn<QStringList>("texts");   // of the warnings 10 and 1 minutes ahead

    // Walked from cycle second 900 to 1700: the gate opens after 1626.
    const QStringList both = { "10분 후 열림", "1분 후 열림" };
    QTest::newRow("none") << qint64(-1) << qint64(-1) << both;
    QTest::newRow("snoozed over both") << qint64(1700) << qint64(-1) << QStringList();
    QTest::newRow("snoozed over the first") << qint64(1100) << qint64(-1) << QStringList { "1분 후 열림" };
    QTest::newRow("snooze ends at the warning") << qint64(1026) << qint64(-1) << both;
    QTest::newRow("this opening skipped") << qint64(-1) << qint64(1626) << QStringList();
    QTest::newRow("another skipped") << qint64(-1) << qint64(1626 + GameDaySeconds) << both;
}

void TestAlarms::holds()
{
    QFETCH(qint64, snoozedUntil);
    QFETCH(qint64, skipped);
    QFETCH(QStringList, texts);
    AlarmSettings settings = withLeads(AlarmEvent::GateOpens, { 10, 1 });
    const int gate = int(EntryKind::Moongate);
    if (snoozedUntil >= 0)
        settings.snoozedUntil[gate] = epochSeconds(seoulAtCycle(snoozedUntil));
    if (skipped >= 0)
        settings.skipped[gate] = epochSeconds(seoulAtCycle(skipped));
    // Another kind's holds leave the gate alone.
    settings.snoozedUntil[int(EntryKind::Merchant)] = epochSeconds(seoulAtCycle(1700));
    QStringList seen;
    for (const Seen &s : walk(seoulAtCycle(900), seoulAtCycle(1700), 0, settings))
        seen << s.text;
    QCOMPARE(seen, texts);

    // A snooze ends at its second, a skip once its occurrence has passed.
    for (const auto &[hold, last] : { std::pair(&AlarmSettings::snoozedUntil, snoozedUntil - 1),
                                      std::pair(&AlarmSettings::skipped, skipped) }) {
        if (last < 0)
            continue;
        AlarmSettings ending = settings;
        ending.endHolds(epochSeconds(seoulAtCycle(last)));
        QVERIFY((ending.*hold)[gate]);
        QVERIFY(ending.endHolds(epochSeconds(seoulAtCycle(last + 1))));
        QCOMPARE((ending.*hold)[gate], 0);
    }
}

void TestAlarms::nextAlarm_data()
{
    QTest::addColumn<QList<int>>("leads");
    QTest::addColumn<qint64>("now");  // cycle second
    QTest::addColumn<qint64>("next"); // the occurrence's cycle second

    QTest::newRow("ahead") << QList<int> { 5 } << qint64(1000) << qint64(1626);
    QTest::newRow("its warning given") << QList<int> { 5 } << qint64(1400)
                                       << qint64(1626 + GameDaySeconds);
    QTest::newRow("a shorter one to come") << QList<int> { 5, 1 } << qint64(1400) << qint64(1626);
    QTest::newRow("at the event") << QList<int> { 0 } << qint64(1626) << qint64(1626 + GameDaySeconds);
}

void TestAlarms::nextAlarm()
{
    QFETCH(QList<int>, leads);
    QFETCH(qint64, now);
    QFETCH(qint64, next);
    AlarmSettings settings;
    for (int lead : leads)
        settings.setLead(AlarmEvent::GateOpens, lead, true);
    const std::optional<AlarmOccurrence> found =
            ::nextAlarm(seoulAtCycle(now), 0, settings, EntryKind::Moongate);
    QVERIFY(found);
    QCOMPARE(found->at, epochSeconds(seoulAtCycle(next)));
    QVERIFY(found->title.startsWith(QStringLiteral("문게이트: ")));
    QVERIFY(!::nextAlarm(seoulAtCycle(now), 0, settings, EntryKind::Merchant));
}

void TestAlarms::dayBoundaries_data()
{
    QTest::addColumn<QTimeZone>("zone");
    QTest::addColumn<QString>("from");
    QTest::addColumn<int>("step"); // seconds between ticks
    QTest::addColumn<int>("lead");
    QTest::addColumn<QString>("tick"); // local time of the tick with the first notice
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");

    const QTimeZone newYork("America/New_York"), santiago("America/Santiago");
    // Game days start at 01:00, the first valid instant of the day.
    QTest::newRow("Santiago, missing midnight") << santiago << "2022-09-10T23:52:00" << 1 << 0
                                                << "2022-09-11T01:27:06" << "문게이트: 케오섬" << "지금 열림";
    QTest::newRow("Santiago, warned the day before") << santiago << "2022-09-10T23:40:00" << 1 << 30
                                                     << "2022-09-10T23:57:06" << "문게이트: 케오섬"
                                                     << "30분 후 열림";
    // After a day of 25 hours the game days start again at midnight, where
    // the gate, closed 1440 s into a game day, opens at once.
    QTest::newRow("New York, after the long day") << newYork << "2026-11-01T23:30:00" << 1 << 0
                                                  << "2026-11-01T23:59:59" << "문게이트: 두갈드아일"
                                                  << "지금 열림";
    // A jump over that midnight, into the warning time of that opening.
    QTest::newRow("New York, a jump over the midnight") << newYork << "2026-11-01T23:20:00" << 38 * 60 << 30
                                                        << "2026-11-01T23:58:00" << "문게이트: 두갈드아일"
                                                        << "1분 59초 후 열림";
    // Samoa skipped 2011-12-30: the day after the 29th is the 31st.
    QTest::newRow("Apia, skipped date") << QTimeZone("Pacific/Apia") << "2011-12-29T23:50:00" << 1 << 30
                                        << "2011-12-29T23:57:06" << "문게이트: 타라" << "30분 후 열림";
}

void TestAlarms::dayBoundaries()
{
    QFETCH(QTimeZone, zone);
    QFETCH(QString, from);
    QFETCH(int, step);
    QFETCH(int, lead);
    QFETCH(QString, tick);
    QFETCH(QString, title);
    QFETCH(QString, text);
    QVERIFY2(zone.isValid(), "time zone data is missing");
    const QDateTime start = localTime(zone, from);
    const QList<Seen> seen = walk(start, start.addSecs(3600), 0, withLeads(AlarmEvent::GateOpens, { lead }), step);
    QVERIFY(!seen.isEmpty());
    QCOMPARE(QDateTime::fromSecsSinceEpoch(seen[0].tick, zone), localTime(zone, tick));
    QCOMPARE(seen[0].text, text);
    // The event is when the panel reads it, and the place the one it shows.
    const QDateTime opening = QDateTime::fromSecsSinceEpoch(seen[0].at, zone);
    const ScheduleTexts texts = scheduleTexts(opening, 0);
    QVERIFY2(texts.moongate.contains(QStringLiteral(" - 대기 (")), qPrintable(texts.moongate));
    QVERIFY(scheduleTexts(opening.addSecs(1), 0).moongate.contains(QStringLiteral(" - 열림 (")));
    QCOMPARE(seen[0].title, QStringLiteral("문게이트: ") + gateName(scheduleTexts(opening.addSecs(1), 0)));
    QCOMPARE(seen[0].title, title);
}

QTEST_APPLESS_MAIN(TestAlarms)
#include "tst_alarms.moc"
