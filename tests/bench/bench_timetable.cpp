// What the player waits for on "시간표": the window made, its day of entries
// listed, and shown with its first paint done.
#include "alarmcontroller.h"
#include "alarmnotifier.h"
#include "timetablewindow.h"

#include <QApplication>
#include <QDateTime>
#include <QTimeZone>
#include <QtTest>

namespace {

class SilentNotifier : public AlarmNotifier
{
public:
    void notify(const QString &, const QString &, const std::function<void()> &) override { }
};

} // namespace

class BenchTimetable : public QObject
{
    Q_OBJECT

private slots:
    void openWindow();
};

void BenchTimetable::openWindow()
{
    AlarmController alarms(std::make_unique<SilentNotifier>(), nullptr);
    QBENCHMARK {
        auto *window = new TimetableWindow(&alarms);
        window->update(QDateTime::currentDateTime(), 0, QTimeZone());
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCoreApplication::processEvents();
        delete window;
    }
}

QTEST_MAIN(BenchTimetable)
#include "bench_timetable.moc"
