#include "alarms.h"
#include "calendar.h"
#include "timetable.h"

#include <QDateTime>
#include <QtTest>

class TestCalendar : public QObject
{
    Q_OBJECT

private slots:
    void linesAreFoldedAndEscaped();
};

void TestCalendar::linesAreFoldedAndEscaped()
{
    // 34 octets before the syllables, then 3 each: a cut at 75 octets would
    // split one.
    const QByteArray syllables = QByteArray("가").repeated(60);
    const QString place = QStringLiteral("a;b,c\\d\n") + QString::fromUtf8(syllables);
    const TimetableEntry entry { EntryKind::Merchant, place, 0, 1796818321, 1796820481 };
    const QByteArray file = calendarFile({ entry }, AlarmSettings(), QDateTime::currentDateTime());
    QList<QByteArray> lines = file.split('\n');
    QCOMPARE(lines.takeLast(), QByteArray());
    int continued = 0;
    for (const QByteArray &line : lines) {
        QVERIFY2(line.endsWith('\r') && line.size() <= 76, line.constData());
        QCOMPARE(QString::fromUtf8(line).toUtf8(), line);
        continued += line.startsWith(' ');
    }
    QCOMPARE(continued, 2);
    QVERIFY(QByteArray(file).replace("\r\n ", "").contains(
            "\r\nSUMMARY:프라이스: a\\;b\\,c\\\\d\\n" + syllables + "\r\n"));
}

QTEST_GUILESS_MAIN(TestCalendar)
#include "tst_calendar.moc"
