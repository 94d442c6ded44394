// What one refresh of the window costs before any widget is touched: the
// schedule texts for an instant, with and without reading the clock the way
// the window does, and the countdown formatting they are built from.
#include "schedule.h"

#include <QDateTime>
#include <QtTest>

namespace {

// Written to so that the compiler cannot drop the calls being measured.
volatile int sink;

void keep(const ScheduleTexts &texts)
{
    sink = texts.cycleSecond + int(texts.merchantAfter.size());
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

QTEST_GUILESS_MAIN(BenchSchedule)
#include "bench_schedule.moc"
