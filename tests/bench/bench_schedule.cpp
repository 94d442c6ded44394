// What one refresh of the window costs before any widget is touched: the
// schedule texts for an instant, with and without reading the clock the way
// the window does, the countdown formatting they are built from, and the
// alarms checked at each tick, and the timetable of a day.
#include "alarms.h"
#include "schedule.h"
#include "timetable.h"

#include <QDateTime>
#include <QtTest>

namespace {

// Written to so that the compiler cannot drop the calls being measured.
volatile int sink;

void keep(const ScheduleTexts &texts)
{
    sink = texts.cycleSecond + int(texts.merchantAfter.size());
}

// Ten alarms over all five events, several lead times each.
AlarmSettings tenAlarms()
{
    AlarmSettings settings;
    const std::pair<AlarmEvent, std::initializer_list<int>> leads[] = {
        { AlarmEvent::GateOpens, { 10, 5, 1 } }, { AlarmEvent::GateCloses, { 5, 1 } },
        { AlarmEvent::JobStarts, { 5, 1 } },     { AlarmEvent::MerchantMoves, { 1 } },
        { AlarmEvent::SecondMerchant, { 5, 1 } },
    };
    for (const auto &[event, minutes] : leads) {
        for (int m : minutes)
            settings.setLead(event, m, true);
    }
    Q_ASSERT(settings.count() == 10);
    return settings;
}

// The window's ticks through one hour of local time, `step` ms apart.
QList<QDateTime> ticksFrom(const QDateTime &start, int step)
{
    QList<QDateTime> ticks;
    for (int ms = 0; ms <= 3600 * 1000; ms += step)
        ticks << start.addMSecs(ms);
    return ticks;
}

} // namespace

class BenchSchedule : public QObject
{
    Q_OBJECT

private slots:
    void textsForFixedInstant_data();
    void textsForFixedInstant();
    void clockRead();
    void textsForCurrentTime();
    void formatCountdown();
    void alarmsPerTick_data();
    void alarmsPerTick();
    void alarmDue();
    void refreshWithAlarms_data();
    void refreshWithAlarms();
    void timetableOfADay_data();
    void timetableOfADay();
};

void BenchSchedule::textsForFixedInstant_data()
{
    QTest::addColumn<QDateTime>("instant");
    QTest::addColumn<int>("shop");

    // Local time, like QDateTime::currentDateTime(); one instant with the
    // moongate open and the first shop's job waiting, one with the gate
    // closed and the job running, so both text branches are paid for.
    QTest::newRow("gate open and job waiting")
            << QDateTime(QDate(2026, 12, 7), QTime(21, 1, 5)) << 0;
    QTest::newRow("gate closed and job running")
            << QDateTime(QDate(2026, 12, 7), QTime(21, 16, 40)) << 0;
}

void BenchSchedule::textsForFixedInstant()
{
    QFETCH(QDateTime, instant);
    QFETCH(int, shop);
    QBENCHMARK {
        keep(scheduleTexts(instant, shop));
    }
}

void BenchSchedule::clockRead()
{
    QBENCHMARK {
        sink = QDateTime::currentDateTime().time().msec();
    }
}

void BenchSchedule::textsForCurrentTime()
{
    QBENCHMARK {
        const QDateTime now = QDateTime::currentDateTime();
        keep(scheduleTexts(now, 0));
    }
}

void BenchSchedule::formatCountdown()
{
    unsigned n = 0;
    QBENCHMARK {
        // Every value a countdown takes within a game day, in turn.
        sink = int(formatMinSec(n).size());
        n = (n + 1) % GameDaySeconds;
    }
}

void BenchSchedule::alarmsPerTick_data()
{
    QTest::addColumn<bool>("set");
    QTest::addColumn<QTime>("from");
    QTest::addColumn<int>("step");
    // In the last hours of a day the next day's start is worked out too.
    QTest::newRow("none set") << false << QTime(12, 0) << 500;
    QTest::newRow("ten set at midday") << true << QTime(12, 0) << 500;
    QTest::newRow("ten set in the last hour of the day") << true << QTime(23, 0) << 500;
    QTest::newRow("ten set in the last hour with a new second each tick") << true << QTime(23, 0) << 1000;
}

// The check alone, over an hour of ticks (notices included, as they fall due).
void BenchSchedule::alarmsPerTick()
{
    QFETCH(bool, set);
    QFETCH(QTime, from);
    QFETCH(int, step);
    const AlarmSettings settings = set ? tenAlarms() : AlarmSettings();
    const QList<QDateTime> ticks = ticksFrom(QDateTime(QDate(2026, 12, 7), from), step);
    AlarmState state;
    qsizetype i = 0;
    QBENCHMARK {
        sink = int(dueAlarms(ticks[i], ticks[i + 1], 0, settings, &state).size());
        if (++i == ticks.size() - 1) {
            i = 0;
            state = AlarmState();
        }
    }
}

// A tick at which a notice falls due: its texts are built.
void BenchSchedule::alarmDue()
{
    const AlarmSettings settings = tenAlarms();
    const QDateTime warning(QDate(2026, 12, 7), QTime(21, 26, 6));
    const QDateTime before = warning.addMSecs(-500);
    QBENCHMARK {
        AlarmState state;
        sink = int(dueAlarms(before, warning, 0, settings, &state).size());
    }
}

void BenchSchedule::refreshWithAlarms_data()
{
    QTest::addColumn<bool>("set");
    QTest::newRow("none set") << false;
    QTest::newRow("ten set") << true;
}

// The refresh's compute as the window runs it: the clock read, the texts and
// the alarms between the previous reading and this one.
void BenchSchedule::refreshWithAlarms()
{
    QFETCH(bool, set);
    const AlarmSettings settings = set ? tenAlarms() : AlarmSettings();
    AlarmState state;
    QDateTime previous = QDateTime::currentDateTime();
    QBENCHMARK {
        const QDateTime now = QDateTime::currentDateTime();
        keep(scheduleTexts(now, 0));
        sink = int(dueAlarms(previous, now, 0, settings, &state).size());
        previous = now;
    }
}

void BenchSchedule::timetableOfADay_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::newRow("the PC's zone") << QByteArray();
    QTest::newRow("a zone off the game's offset") << QByteArrayLiteral("Asia/Calcutta");
}

// What the timetable window and the console command ask for: the next 24
// hours of all four kinds.
void BenchSchedule::timetableOfADay()
{
    QFETCH(QByteArray, zone);
    const QTimeZone gameZone = zone.isEmpty() ? QTimeZone() : QTimeZone(zone);
    const QDateTime from(QDate(2026, 12, 7), QTime(20, 13, 7));
    QBENCHMARK {
        sink = int(timetable(from, from.addDays(1), gameZone, 0).size());
    }
}

QTEST_GUILESS_MAIN(BenchSchedule)
#include "bench_schedule.moc"
