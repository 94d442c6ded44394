#include "alarms.h"
#include "calendar.h"
#include "timetable.h"

#include <QDateTime>
#include <QtTest>

class TestCalendar : public QObject
{
    Q_OBJECT

private slots:
    void linesAreFoldedAndEscaped_data();
    void linesAreFoldedAndEscaped();
};

void TestCalendar::linesAreFoldedAndEscaped_data()
{
    QTest::addColumn<QString>("place");
    QTest::addColumn<QByteArray>("summary");
    QTest::addColumn<int>("folds");

    QTest::newRow("short") << QStringLiteral("탈틴") << QByteArray("프라이스: 탈틴") << 0;
    QTest::newRow("specials") << QStringLiteral("a;b,c\\d\ne")
                              << QByteArray("프라이스: a\\;b\\,c\\\\d\\ne") << 0;
    const QString ascii(80, QLatin1Char('x'));
    QTest::newRow("ascii") << ascii << "프라이스: " + ascii.toUtf8() << 1;
    // 22 octets before the place, then 3 a syllable: the lines end at 73
    // octets, where a cut at 75 would split a syllable.
    const QString hangul = QStringLiteral("가").repeated(60);
    QTest::newRow("hangul") << hangul << "프라이스: " + hangul.toUtf8() << 2;
}

void TestCalendar::linesAreFoldedAndEscaped()
{
    QFETCH(QString, place);
    QFETCH(QByteArray, summary);
    QFETCH(int, folds);

    const TimetableEntry entry { EntryKind::Merchant, place, 0, 1796818321, 1796820481 };
    const QByteArray file = calendarFile({ entry }, AlarmSettings(),
                                         QDateTime::fromSecsSinceEpoch(1796818000, Qt::UTC));
    QVERIFY(file.endsWith("\r\n"));
    QList<QByteArray> lines = file.split('\n');
    QCOMPARE(lines.takeLast(), QByteArray());
    int continued = 0;
    for (const QByteArray &line : lines) {
        QVERIFY2(line.endsWith('\r') && line.size() - 1 <= 75, line.constData());
        QCOMPARE(QString::fromUtf8(line).toUtf8(), line);
        continued += line.startsWith(' ');
    }
    QCOMPARE(continued, folds);
    const QList<QByteArray> unfolded = QByteArray(file).replace("\r\n ", "").split('\n');
    QVERIFY(unfolded.contains("SUMMARY:" + summary + '\r'));
    QVERIFY(unfolded.contains("DTSTART:20261209T121201Z\r"));
    QVERIFY(unfolded.contains("UID:merchant-1796818321@timer.tarvenel.example\r"));
}

QTEST_GUILESS_MAIN(TestCalendar)
#include "tst_calendar.moc"
