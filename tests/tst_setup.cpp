#include "placement.h"
#include "report.h"
#include "settingshome.h"
#include "setup.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

namespace {

void writeAll(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The setup as one line of its fields, so that a failing row shows them all.
QString describe(const Setup &s)
{
    QStringList hidden;
    for (int p = 0; p < PanelCount; ++p) {
        if (s.hidden[p])
            hidden << QLatin1String(panelKey(Panel(p)));
    }
    return QStringLiteral("shop %1 place %2 %3,%4 top %5 opacity %6 glass %7 through %8 hidden [%9] "
                          "compact %10 tray %11 zone %12")
            .arg(s.shop).arg(s.hasPlace).arg(s.place.x()).arg(s.place.y()).arg(s.topmost)
            .arg(s.opacity).arg(int(s.glass)).arg(s.clickThrough).arg(hidden.join(u','))
            .arg(s.compact).arg(s.startHidden).arg(s.zone);
}

} // namespace

class TestSetup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void readsEachValueOrItsDefault_data();
    void readsEachValueOrItsDefault();
    void savedSetupReadsBackTheSame();
    void placeComesOntoTheScreens_data();
    void placeComesOntoTheScreens();
    void problemsReachThePlayerOnceEach_data();
    void problemsReachThePlayerOnceEach();

private:
    QTemporaryDir home;
};

void TestSetup::initTestCase()
{
    QVERIFY(home.isValid());
    useSettingsHome(home.path());
}

void TestSetup::init()
{
    QDir(home.path()).removeRecursively();
    QDir().mkpath(home.path());
}

void TestSetup::readsEachValueOrItsDefault_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("expected"); // describe() of what the file gives
    QTest::addColumn<QString>("problem");  // a part of the problem; empty for none

    Setup all;
    all.shop = 14;
    all.hasPlace = true;
    all.place = QPoint(-1200, 40);
    all.topmost = true;
    all.opacity = 20;
    all.glass = GlassStep::Blur;
    all.clickThrough = true;
    all.hidden[int(Panel::Job)] = all.hidden[int(Panel::Credit)] = true;
    all.compact = true;
    all.startHidden = true;
    all.zone = QStringLiteral("Asia/Seoul");
    Setup opaqueBerlin;
    opaqueBerlin.zone = QStringLiteral("Europe/Berlin");
    Setup topmost;
    topmost.topmost = true;

    QTest::newRow("no file") << QByteArray() << describe(Setup()) << QString();
    QTest::newRow("every key")
            << QByteArray("[job]\nshop=채굴장\n[window]\nx=-1200\ny=40\ntopmost=true\nopacity=20\n"
                          "glass=blur\nclick-through=true\n[panels]\nhidden=job, credit\ncompact=true\n"
                          "[start]\nhidden=true\n[clock]\nzone=Asia/Seoul\n")
            << describe(all) << QString();
    QTest::newRow("shop that does not exist") << QByteArray("[job]\nshop=없는가게\n")
                                              << describe(Setup()) << "job/shop";
    QTest::newRow("opacity of 500, the rest used")
            << QByteArray("[window]\nopacity=500\n[clock]\nzone=Europe/Berlin\n")
            << describe(opaqueBerlin) << "window/opacity must be a number from 20 to 100";
    QTest::newRow("unknown zone") << QByteArray("[clock]\nzone=Mars/Olympus\n[window]\ntopmost=true\n")
                                  << describe(topmost) << "not a time zone";
    QTest::newRow("empty zone is the PC's") << QByteArray("[clock]\nzone=\n") << describe(Setup())
                                            << QString();
    QTest::newRow("half a place is none") << QByteArray("[window]\nx=10\n") << describe(Setup())
                                          << QString();
    QTest::newRow("a place with a word") << QByteArray("[window]\nx=10\ny=top\n")
                                         << describe(Setup()) << "window/y";
    QTest::newRow("unknown panel") << QByteArray("[panels]\nhidden=job, weather\n")
                                   << describe(Setup()) << "\"weather\" is not a panel";
    QTest::newRow("glass step by number") << QByteArray("[window]\nglass=2\n") << describe(Setup())
                                          << "off, blur or sheet";
    QTest::newRow("unknown key") << QByteArray("[window]\nsize=big\n") << describe(Setup())
                                 << "window/size is not a setting";
    QTest::newRow("unparsable line") << QByteArray("[window]\ntopmost=true\nthis is no setting\n")
                                     << describe(Setup()) << "cannot be parsed";
}

void TestSetup::readsEachValueOrItsDefault()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, expected);
    QFETCH(QString, problem);
    if (!file.isEmpty())
        writeAll(SetupFile::fileName(), file);

    const SetupFile setup;
    QCOMPARE(describe(setup.setup()), expected);
    if (problem.isEmpty()) {
        QCOMPARE(setup.problem(), QString());
    } else {
        QVERIFY2(setup.problem().contains(problem), qPrintable(setup.problem()));
        QVERIFY(setup.problem().startsWith(QDir::toNativeSeparators(SetupFile::fileName())));
    }
    QCOMPARE(readAll(SetupFile::fileName()), file);
}

// A change is saved whole, and a file the clock could not use is kept
// beside it first, once.
void TestSetup::savedSetupReadsBackTheSame()
{
    const QByteArray broken("[window]\nopacity=500\n");
    writeAll(SetupFile::fileName(), broken);
    {
        SetupFile setup;
        setup.change([](Setup &s) {
            s.shop = 3;
            s.hidden[int(Panel::Notice)] = true;
            s.zone = QStringLiteral("America/Los_Angeles");
        });
        setup.change([](Setup &s) { s.opacity = 55; });
    }
    const QStringList copies = QDir(home.path() + QStringLiteral("/tarvenel-timer"))
                                       .entryList({ QStringLiteral("timer.ini.broken-*") });
    QCOMPARE(copies.size(), 1);
    QCOMPARE(readAll(home.path() + QStringLiteral("/tarvenel-timer/") + copies.first()), broken);

    const SetupFile again;
    Setup expected;
    expected.shop = 3;
    expected.hidden[int(Panel::Notice)] = true;
    expected.zone = QStringLiteral("America/Los_Angeles");
    expected.opacity = 55;
    QCOMPARE(describe(again.setup()), describe(expected));
    QCOMPARE(again.problem(), QString());
}

void TestSetup::placeComesOntoTheScreens_data()
{
    QTest::addColumn<QRect>("frame");
    QTest::addColumn<QList<QRect>>("areas");
    QTest::addColumn<QPoint>("place");

    const QRect primary(0, 0, 1280, 770); // a panel takes the bottom 30 pixels
    const QRect right(1280, 0, 1920, 1050);
    QTest::newRow("on the primary screen") << QRect(100, 100, 391, 442) << QList<QRect> { primary }
                                           << QPoint(100, 100);
    QTest::newRow("on the second screen") << QRect(2000, 300, 391, 442)
                                          << QList<QRect> { primary, right } << QPoint(2000, 300);
    QTest::newRow("second screen unplugged") << QRect(2000, 300, 391, 442) << QList<QRect> { primary }
                                             << QPoint(889, 300);
    QTest::newRow("above and left of everything") << QRect(-900, -700, 391, 442)
                                                  << QList<QRect> { primary } << QPoint(0, 0);
    QTest::newRow("over the panel") << QRect(100, 500, 391, 442) << QList<QRect> { primary }
                                    << QPoint(100, 328);
    QTest::newRow("across two screens, more on the right")
            << QRect(1200, 100, 391, 442) << QList<QRect> { primary, right } << QPoint(1280, 100);
    QTest::newRow("taller than the screen") << QRect(50, 200, 391, 884) << QList<QRect> { primary }
                                            << QPoint(50, 0);
}

void TestSetup::placeComesOntoTheScreens()
{
    QFETCH(QRect, frame);
    QFETCH(QList<QRect>, areas);
    QFETCH(QPoint, place);
    QCOMPARE(placeOnScreens(frame, areas, areas.first()), place);
}

void TestSetup::problemsReachThePlayerOnceEach_data()
{
    // Steps: a cause's letter reports it, "window" gives the channel.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("told");
    QTest::newRow("before the window: together") << QStringList{ "a", "b", "window" }
                                                 << QStringList{ "a\n\nb" };
    QTest::newRow("after it: one by one") << QStringList{ "window", "a", "b" }
                                          << QStringList{ "a", "b" };
    QTest::newRow("a cause once") << QStringList{ "a", "window", "a", "b", "b" }
                                  << QStringList{ "a", "b" };
    QTest::newRow("no window: kept") << QStringList{ "a" } << QStringList{};
}

void TestSetup::problemsReachThePlayerOnceEach()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, told);
    ProblemReport report;
    QStringList shown;
    for (const QString &step : steps) {
        if (step == QLatin1String("window"))
            report.setChannel([&](const QString &text) { shown << text; });
        else
            report.report(step == QLatin1String("a") ? ProblemReport::UnusableSetup
                                                     : ProblemReport::UnreadableAlarms,
                          QStringLiteral("for standard error"), step);
    }
    QCOMPARE(shown, told);
}

QTEST_GUILESS_MAIN(TestSetup)
#include "tst_setup.moc"
