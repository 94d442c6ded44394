#include "schedule.h"
#include "tables.h"
#include "timetable.h"

#include <QDateTime>
#include <QTimeZone>
#include <QtTest>

Q_DECLARE_METATYPE(QTimeZone)

namespace {

// What the panel of the kind shows at an instant, as the timetable would
// name it, or an empty string where it shows nothing the timetable lists.
QString shownBy(const ScheduleTexts &texts, EntryKind kind, int shop)
{
    switch (kind) {
    case EntryKind::Moongate:
        return texts.moongate.contains(QStringLiteral(" - 열림 ("))
                ? texts.moongate.section(QStringLiteral(" - "), 0, 0) : QString();
    case EntryKind::Merchant:
        return texts.merchant.section(QStringLiteral(" - "), 0, 0);
    case EntryKind::Job:
        return texts.job.startsWith(QStringLiteral("진행 중")) ? partTimeJobs[shop].shopName : QString();
    case EntryKind::SecondMerchant:
        break;
    }
    const QString &t = texts.gameTime;
    const bool there = (t >= QLatin1String("09:00") && t < QLatin1String("11:00"))
            || (t >= QLatin1String("15:00") && t < QLatin1String("17:00"))
            || (t >= QLatin1String("19:00") && t < QLatin1String("21:00"));
    return there ? secondMerchantPlace() : QString();
}

} // namespace

class TestTimetable : public QObject
{
    Q_OBJECT

private slots:
    void agreesWithThePanels_data();
    void agreesWithThePanels();
    void filters_data();
    void filters();
};

void TestTimetable::agreesWithThePanels_data()
{
    QTest::addColumn<QTimeZone>("zone");
    QTest::addColumn<QString>("from");
    QTest::addColumn<int>("hours");
    QTest::addColumn<int>("shop");

    const QTimeZone newYork("America/New_York");
    // The game's own zone: midnight falls on a game-day boundary of UTC
    // time, so the gate keeps one destination while it is open.
    QTest::newRow("Seoul") << QTimeZone("Asia/Seoul") << "2026-12-07T20:13:00" << 3 << 0;
    QTest::newRow("UTC+3, across midnight") << QTimeZone(3 * 3600) << "2026-12-07T22:30:00" << 3 << 14;
    // Off a three-hour offset the rotations step inside an open gate.
    QTest::newRow("Kolkata") << QTimeZone("Asia/Calcutta") << "2026-12-07T22:00:00" << 3 << 5;
    QTest::newRow("UTC+00:17:07") << QTimeZone(1027) << "2026-12-07T20:00:00" << 3 << 3;
    // Days of 23 and 25 hours: the game days start again at the midnight
    // after them, cutting a game day short.
    QTest::newRow("New York, short day") << newYork << "2026-03-08T22:30:00" << 3 << 4;
    QTest::newRow("New York, long day") << newYork << "2026-11-01T22:30:00" << 3 << 8;
    QTest::newRow("Lord Howe, half-hour change") << QTimeZone("Australia/Lord_Howe")
                                                 << "2026-04-05T22:30:00" << 3 << 13;
    QTest::newRow("Santiago, missing midnight") << QTimeZone("America/Santiago")
                                                << "2022-09-10T22:30:00" << 4 << 1;
    QTest::newRow("Apia, skipped date") << QTimeZone("Pacific/Apia") << "2011-12-29T22:30:00" << 3 << 10;
}

// Every second of a few hours: what each panel shows is covered by exactly
// the entry that names it, and every entry begins and ends where the panel
// changes, also the one under way at the start of the span.
void TestTimetable::agreesWithThePanels()
{
    QFETCH(QTimeZone, zone);
    QFETCH(QString, from);
    QFETCH(int, hours);
    QFETCH(int, shop);
    QVERIFY2(zone.isValid(), "time zone data is missing");
    QDateTime start = QDateTime::fromString(from, Qt::ISODate);
    start.setTimeZone(zone);
    const qint64 first = epochSeconds(start);
    const qint64 last = first + 3600 * hours;

    // Asked in UTC: the game's zone alone decides where game days start.
    const QList<TimetableEntry> entries =
            timetable(start.toUTC(), start.addSecs(3600 * hours).toUTC(), zone, shop);
    auto shown = [&](qint64 t, EntryKind kind) {
        return shownBy(scheduleTexts(QDateTime::fromSecsSinceEpoch(t, zone), shop), kind, shop);
    };

    for (int k = 0; k < EntryKindCount; ++k) {
        const EntryKind kind = EntryKind(k);
        QList<TimetableEntry> ofKind;
        for (const TimetableEntry &e : entries) {
            if (e.kind == kind)
                ofKind << e;
        }
        QVERIFY(!ofKind.isEmpty());
        for (const TimetableEntry &e : ofKind) {
            QVERIFY(e.start < e.end);
            QCOMPARE(shown(e.start, kind), e.place);
            QCOMPARE(shown(e.end - 1, kind), e.place);
            QVERIFY2(shown(e.start - 1, kind) != e.place, qPrintable(e.place));
            QVERIFY2(shown(e.end, kind) != e.place, qPrintable(e.place));
        }
        auto entry = ofKind.cbegin();
        for (qint64 t = first; t < last; ++t) {
            while (entry != ofKind.cend() && entry->end <= t)
                ++entry;
            const bool covered = entry != ofKind.cend() && entry->start <= t;
            const QString place = shown(t, kind);
            if (place != (covered ? entry->place : QString()))
                QFAIL(qPrintable(QStringLiteral("%1 at %2: the panel shows \"%3\"")
                                         .arg(entryKindKey(kind))
                                         .arg(QDateTime::fromSecsSinceEpoch(t, zone).toString(Qt::ISODate), place)));
        }
    }
    for (int i = 1; i < entries.size(); ++i)
        QVERIFY(entries[i - 1].start <= entries[i].start);
}

void TestTimetable::filters_data()
{
    QTest::addColumn<QList<bool>>("kinds");
    QTest::addColumn<QStringList>("places");

    QTest::newRow("everything") << QList<bool> { true, true, true, true } << QStringList();
    QTest::newRow("the gate only") << QList<bool> { true, false, false, false } << QStringList();
    QTest::newRow("a repeated destination") << QList<bool> { true, true, true, true }
                                            << QStringList { "티르코네일" };
    QTest::newRow("a stop and a shop") << QList<bool> { true, true, true, false }
                                       << QStringList { "케오섬", "힐러집" };
    QTest::newRow("no such place") << QList<bool> { true, true, true, true } << QStringList { "탈" };
}

// A filter gives exactly the unfiltered entries of its kinds and places.
void TestTimetable::filters()
{
    QFETCH(QList<bool>, kinds);
    QFETCH(QStringList, places);
    QDateTime from = QDateTime::fromString(QStringLiteral("2026-12-07T20:00:00"), Qt::ISODate);
    from.setTimeZone(QTimeZone("Asia/Seoul"));
    const QDateTime until = from.addDays(3);
    const int shop = 13;

    TimetableFilter filter;
    std::copy(kinds.begin(), kinds.end(), filter.kinds.begin());
    filter.places = places;
    QList<TimetableEntry> expected;
    for (const TimetableEntry &e : timetable(from, until, QTimeZone(), shop)) {
        if (filter.wants(e.kind) && (places.isEmpty() || places.contains(e.place)))
            expected << e;
    }
    QCOMPARE(timetable(from, until, QTimeZone(), shop, filter), expected);
    // Names are matched whole: a part of one finds nothing.
    QCOMPARE(expected.isEmpty(), places == QStringList { "탈" });
}

QTEST_APPLESS_MAIN(TestTimetable)
#include "tst_timetable.moc"
