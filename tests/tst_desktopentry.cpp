#include "desktopentry.h"

#include <QtTest>

// The autostart entry's Exec line, as the file holds it: a launcher undoes
// the file's string escapes first, then the quoting.
class TestDesktopEntry : public QObject
{
    Q_OBJECT

private slots:
    void execQuotesThePath_data();
    void execQuotesThePath();
};

void TestDesktopEntry::execQuotesThePath_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("exec");

    QTest::newRow("plain") << "/usr/bin/timer" << "/usr/bin/timer --autostart";
    QTest::newRow("space") << "/home/min su/timer" << R"("/home/min su/timer" --autostart)";
    QTest::newRow("double quote") << R"(/opt/"x"/timer)" << R"("/opt/\\"x\\"/timer" --autostart)";
    QTest::newRow("dollar") << "/opt/$HOME/timer" << R"("/opt/\\$HOME/timer" --autostart)";
    QTest::newRow("backtick") << "/opt/`id`/timer" << R"("/opt/\\`id\\`/timer" --autostart)";
    QTest::newRow("backslash") << R"(/opt/a\b/timer)" << R"("/opt/a\\\\b/timer" --autostart)";
    QTest::newRow("percent") << "/opt/100%/timer" << "/opt/100%%/timer --autostart";
}

void TestDesktopEntry::execQuotesThePath()
{
    QFETCH(QString, program);
    QFETCH(QString, exec);
    QCOMPARE(desktopEntryExec({ program, QStringLiteral("--autostart") }), exec);
}

QTEST_MAIN(TestDesktopEntry)
#include "tst_desktopentry.moc"
