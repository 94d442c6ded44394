#include "alarmcontroller.h"
#include "alarmnotifier.h"
#include "alarmstore.h"
#include "tables.h"
#include "timetable.h"
#include "schedule.h"
#include "settingshome.h"
#include "soundplayer.h"

#include <QDir>
#include <QMenu>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QtEndian>
#include <QtTest>

Q_DECLARE_METATYPE(AlarmPanel)

namespace {

struct Shown
{
    QString title, text;
    bool sound = false;
    QString soundKey;
    int volume = 0;
};

class RecordingNotifier : public AlarmNotifier
{
public:
    explicit RecordingNotifier(QList<Shown> *shown) : shown(shown) { }
    void notify(const QString &title, const QString &text, const std::function<void()> &) override
    {
        shown->append({ title, text });
    }

private:
    QList<Shown> *shown;
};

// Marks the notification it comes with as sounded, with what it played.
class RecordingPlayer : public SoundPlayer
{
public:
    explicit RecordingPlayer(QList<Shown> *shown) : shown(shown) { }
    bool play(const Sounds::Sound &sound, int volume, QString *) override
    {
        if (shown->isEmpty())
            shown->append(Shown());
        shown->last().sound = true;
        shown->last().soundKey = sound.key;
        shown->last().volume = volume;
        return true;
    }

private:
    QList<Shown> *shown;
};

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The file's entries as "section/key=value", in order: QSettings writes the
// sections in another order, and with CRLF line ends, on Windows.
QStringList entries(const QByteArray &ini)
{
    QStringList found;
    QString section;
    for (const QString &line : QString::fromUtf8(ini).split(QLatin1Char('\n'))) {
        const QString entry = line.trimmed();
        if (entry.startsWith(QLatin1Char('[')))
            section = entry.mid(1, entry.size() - 2);
        else if (!entry.isEmpty())
            found << section + QLatin1Char('/') + entry;
    }
    found.sort();
    return found;
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QStringList texts(const QMenu *menu)
{
    QStringList list;
    for (const QAction *action : menu->actions())
        list << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return list;
}

QAction *entry(const QMenu *menu, const QString &text)
{
    for (QAction *action : menu->actions()) {
        if (action->text() == text || action->text().startsWith(text + QStringLiteral(" (")))
            return action;
    }
    return nullptr;
}

// Triggers an entry of the panel's menu by its path, e.g. "열림 알림", "5분 전".
bool choose(AlarmController &alarms, AlarmPanel panel, const QStringList &path)
{
    std::unique_ptr<QMenu> menu(alarms.createMenu(panel, nullptr));
    const QMenu *at = menu.get();
    for (int i = 0; i < path.size(); ++i) {
        QAction *action = entry(at, path[i]);
        if (!action)
            return false;
        if (i + 1 < path.size()) {
            at = action->menu();
        } else {
            action->trigger();
            return true;
        }
    }
    return false;
}

} // namespace

class TestAlarmSettings : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void savedAsDocumentedAndReadBack();
    void noFileReadsNothingAndWritesNothing();
    void brokenFileLeavesAlarmsOff_data();
    void brokenFileLeavesAlarmsOff();
    void specialFilesAreNotRead_data();
    void specialFilesAreNotRead();
    void handWrittenFilesAreRead_data();
    void handWrittenFilesAreRead();
    void menusOfEachPanel_data();
    void menusOfEachPanel();
    void choosingALeadSavesIt();
    void placesAreChosenByName();
    void leadFromTheFileIsOffered();
    void alarmForATimetableEntry_data();
    void alarmForATimetableEntry();
    void muteAllAndTheSample();
    void soundsVolumeAndHoldsAreKept();
    void wavFiles_data();
    void wavFiles();
    void ticksDeliverWhatIsDue();
    void brokenFileIsReplacedOnlyByAChange();

private:
    std::unique_ptr<QTemporaryDir> home;
    QString file;
};

void TestAlarmSettings::init()
{
    // A folder of its own for every test: QSettings keeps what it read of a
    // file for the life of the process.
    home = std::make_unique<QTemporaryDir>();
    QVERIFY(home->isValid());
    // The user's configuration folder, on Linux and on Windows.
    useSettingsHome(home->path());
    file = home->filePath(QStringLiteral("tarvenel-timer/alarms.ini"));
    QCOMPARE(AlarmStore::fileName(), file);
}

void TestAlarmSettings::savedAsDocumentedAndReadBack()
{
    AlarmSettings settings;
    settings.muted = true;
    settings.setLead(AlarmEvent::GateOpens, 10, true);
    settings.setLead(AlarmEvent::GateOpens, 1, true);
    settings.setLead(AlarmEvent::JobStarts, 0, true);
    settings.setLead(AlarmEvent::MerchantMoves, 30, true);
    settings.setLead(AlarmEvent::SecondMerchant, 5, true);
    settings.gateDestinations = { QStringLiteral("타라"), QStringLiteral("케오섬") };
    settings.merchantStops = { QStringLiteral("케오섬") };
    QString problem;
    QVERIFY(AlarmStore::save(settings, &problem));
    QVERIFY(problem.isEmpty());

    QCOMPARE(entries(readAll(file)), QStringList({
            QStringLiteral("General/muted=true"),
            QStringLiteral("job/starts=0"),
            QStringLiteral("merchant/moves=30"),
            QStringLiteral("merchant/stops=케오섬"),
            QStringLiteral("moongate/closes="),
            QStringLiteral("moongate/destinations=타라, 케오섬"),
            QStringLiteral("moongate/opens=1, 10"),
            QStringLiteral("second-merchant/appears=5") }));
    const AlarmSettings read = AlarmStore::load(&problem);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QVERIFY(read == settings);
}

void TestAlarmSettings::noFileReadsNothingAndWritesNothing()
{
    QString problem;
    QVERIFY(AlarmStore::load(&problem) == AlarmSettings());
    QVERIFY(problem.isEmpty());

    QList<Shown> shown;
    AlarmController alarms(std::make_unique<RecordingNotifier>(&shown), nullptr,
                           std::make_unique<RecordingPlayer>(&shown));
    const QDateTime now = QDateTime::currentDateTime();
    for (int i = 0; i < 10; ++i)
        alarms.tick(now.addSecs(60 * i), 0);
    // A choice that changes nothing is no change either.
    QVERIFY(choose(alarms, AlarmPanel::Moongate, { QStringLiteral("열림 알림"), QStringLiteral("끄기") }));
    QVERIFY(choose(alarms, AlarmPanel::Merchant, { QStringLiteral("장소"), QStringLiteral("모든 장소") }));
    QVERIFY(shown.isEmpty());
    QCOMPARE(QDir(home->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
}

void TestAlarmSettings::brokenFileLeavesAlarmsOff_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("why");
    QTest::newRow("unclosed section") << QByteArray("[moongate\nopens=1\n") << "it cannot be parsed";
    QTest::newRow("lead past 30") << QByteArray("[moongate]\nopens=1, 45\n")
                                  << "moongate/opens: \"45\" is not a number of minutes from 0 to 30";
    QTest::newRow("negative lead") << QByteArray("[job]\nstarts=-1\n")
                                   << "job/starts: \"-1\" is not a number of minutes from 0 to 30";
    QTest::newRow("lead in words") << QByteArray("[merchant]\nmoves=soon\n")
                                   << "merchant/moves: \"soon\" is not a number of minutes from 0 to 30";
    QTest::newRow("unknown destination") << QByteArray("[moongate]\ndestinations=서울\n")
                                         << "moongate/destinations: \"서울\" is not a destination of the moongate";
    QTest::newRow("a stop for a destination") << QByteArray("[moongate]\ndestinations=바리던전 옆\n")
                                              << "moongate/destinations: \"바리던전 옆\" is not a destination of the moongate";
    QTest::newRow("unknown stop") << QByteArray("[merchant]\nstops=타라\n")
                                  << "merchant/stops: \"타라\" is not a stop of the merchant";
    QTest::newRow("unknown key") << QByteArray("[moongate]\nopen=1\n") << "moongate/open is not a setting";
    QTest::newRow("muted, neither true nor false") << QByteArray("muted=yes\n")
                                                   << "muted must be true or false, not \"yes\"";
    QTest::newRow("a value of another type") << QByteArray("[job]\nstarts=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x5)\n")
                                             << "job/starts holds no text";
    QTest::newRow("not text at all") << QByteArray("\x7f\x45\x4c\x46\x02\x01\x01\0\0\0\0\0\x03\0\x3e\0", 16)
                                     << "it cannot be parsed";
    QTest::newRow("a line without a value") << QByteArray("[moongate]\nopens\n") << "it cannot be parsed";
    QTest::newRow("volume past 100") << QByteArray("volume=101\n")
                                     << "volume must be a number from 0 to 100, not \"101\"";
    QTest::newRow("volume in words") << QByteArray("volume=loud\n")
                                     << "volume must be a number from 0 to 100, not \"loud\"";
    QTest::newRow("a sound by a relative path") << QByteArray("[job]\nsound=ding.wav\n")
                                                << "job/sound must be one of chime, bell, beeps, none";
    QTest::newRow("a snooze that is no time") << QByteArray("[merchant]\nsnoozed-until=soon\n")
                                              << "merchant/snoozed-until must be a time";
    QTest::newRow("a skip in local time") << QByteArray("[moongate]\nskip=2026-12-09T18:05:00\n")
                                          << "moongate/skip must be a time";
    QTest::newRow("a folder in its place") << QByteArray() << "it cannot be read";
    const QByteArray huge(1 << 20, 'x');
    QTest::newRow("a huge value, quoted short") << "[job]\nstarts=" + huge + "\n"
                                               << "job/starts: \"" + QString(200, QLatin1Char('x')) + "…\" is not";
    // Valid keys do not count when one is wrong: all alarms stay off.
    QTest::newRow("one wrong among good ones") << QByteArray("[moongate]\nopens=5\n[job]\nstarts=31\n")
                                               << "job/starts: \"31\" is not a number of minutes from 0 to 30";
}

void TestAlarmSettings::brokenFileLeavesAlarmsOff()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, why);
    if (content.isEmpty())
        QVERIFY(QDir().mkpath(file));
    else
        writeAll(file, content);
    QString problem;
    QVERIFY(AlarmStore::load(&problem) == AlarmSettings());
    QVERIFY2(problem.startsWith(QDir::toNativeSeparators(file) + QStringLiteral(": ")),
             qPrintable(problem.left(300)));
    QVERIFY2(problem.contains(why), qPrintable(problem.left(300)));
    QVERIFY(problem.size() < 400);
    if (!content.isEmpty())
        QCOMPARE(readAll(file), content);
}

// What stands in the file's place is never opened unless it is a regular
// file: a FIFO would block the start for good.
void TestAlarmSettings::specialFilesAreNotRead_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("a FIFO") << "fifo";
    QTest::newRow("a link to a FIFO") << "link to fifo";
    QTest::newRow("a dangling link") << "dangling";
    QTest::newRow("a link loop") << "loop";
}

void TestAlarmSettings::specialFilesAreNotRead()
{
    QFETCH(QString, kind);
#ifndef Q_OS_UNIX
    QSKIP("FIFOs and symbolic links are for Unix");
#endif
    QDir().mkpath(QFileInfo(file).path());
    const QString fifo = home->filePath(QStringLiteral("fifo"));
    if (kind.contains(QLatin1String("fifo")))
        QVERIFY(QProcess::execute(QStringLiteral("mkfifo"), { fifo }) == 0);
    if (kind == QLatin1String("fifo"))
        QVERIFY(QFile::rename(fifo, file));
    else if (kind == QLatin1String("link to fifo"))
        QVERIFY(QFile::link(fifo, file));
    else if (kind == QLatin1String("dangling"))
        QVERIFY(QFile::link(home->filePath(QStringLiteral("gone")), file));
    else
        QVERIFY(QFile::link(file, file));

    QString problem;
    QVERIFY(AlarmStore::load(&problem) == AlarmSettings());
    QCOMPARE(problem, file + QStringLiteral(": it cannot be read"));
    // Nor does a change from the menu read it first.
    QList<Shown> shown;
    AlarmController alarms(std::make_unique<RecordingNotifier>(&shown), nullptr,
                           std::make_unique<RecordingPlayer>(&shown));
    QVERIFY(choose(alarms, AlarmPanel::Job, { QStringLiteral("시작 알림"), QStringLiteral("3분 전") }));
    QVERIFY(AlarmStore::load(&problem).hasLead(AlarmEvent::JobStarts, 3));
}

void TestAlarmSettings::handWrittenFilesAreRead_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("quoted and spaced lists") << QByteArray("[moongate]\nopens=\"10,1\"\ncloses= 2 ,3\n");
    QTest::newRow("a byte-order mark") << QByteArray("\xEF\xBB\xBF[moongate]\nopens=10, 1\ncloses=2, 3\n");
    QTest::newRow("# and ; comments")
            << QByteArray("# my alarms\n[moongate]\n  # before the gate opens\nopens=10, 1\n; closing\ncloses=2, 3\n");
    QTest::newRow("CRLF, a mark and a comment")
            << QByteArray("\xEF\xBB\xBF# note\r\n[moongate]\r\nopens=1,10\r\ncloses=3,2\r\n");
}

void TestAlarmSettings::handWrittenFilesAreRead()
{
    QFETCH(QByteArray, content);
    writeAll(file, content);
    QString problem;
    const AlarmSettings byHand = AlarmStore::load(&problem);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QVERIFY(byHand.hasLead(AlarmEvent::GateOpens, 10) && byHand.hasLead(AlarmEvent::GateOpens, 1));
    QVERIFY(byHand.hasLead(AlarmEvent::GateCloses, 2) && byHand.hasLead(AlarmEvent::GateCloses, 3));
    QCOMPARE(byHand.count(), 4);
}

void TestAlarmSettings::menusOfEachPanel_data()
{
    QTest::addColumn<AlarmPanel>("panel");
    QTest::addColumn<QStringList>("entries");
    const QStringList tail = { "-", "알림 소리 (차임)", "음량 (60)", "1시간 동안 끄기",
                               "다음 한 번 건너뛰기", "-", "모든 알림 끄기", "알림 테스트" };
    QTest::newRow("moongate") << AlarmPanel::Moongate
                              << (QStringList { "열림 알림", "목적지", "닫힘 알림" } + tail);
    QTest::newRow("job") << AlarmPanel::Job << (QStringList { "시작 알림" } + tail);
    QTest::newRow("merchant") << AlarmPanel::Merchant << (QStringList { "이동 알림", "장소" } + tail);
    QTest::newRow("second merchant") << AlarmPanel::SecondMerchant << (QStringList { "등장 알림" } + tail);
}

void TestAlarmSettings::menusOfEachPanel()
{
    QFETCH(AlarmPanel, panel);
    QFETCH(QStringList, entries);
    QList<Shown> shown;
    AlarmController alarms(std::make_unique<RecordingNotifier>(&shown), nullptr,
                           std::make_unique<RecordingPlayer>(&shown));
    std::unique_ptr<QMenu> menu(alarms.createMenu(panel, nullptr));
    QCOMPARE(texts(menu.get()), entries);
    QCOMPARE(texts(menu->actions().first()->menu()),
             QStringList({ "끄기", "-", "0분 전", "1분 전", "2분 전", "3분 전", "5분 전", "10분 전",
                           "15분 전", "20분 전", "30분 전" }));
}

void TestAlarmSettings::choosingALeadSavesIt()
{
    QList<Shown> shown;
    AlarmController alarms(std::make_unique<RecordingNotifier>(&shown), nullptr,
                           std::make_unique<RecordingPlayer>(&shown));
    QVERIFY(choose(alarms, AlarmPanel::Moongate, { QStringLiteral("열림 알림"), QStringLiteral("5분 전") }));
    QVERIFY(choose(alarms, AlarmPanel::Moongate, { QStringLiteral("열림 알림"), QStringLiteral("1분 전") }));
    QVERIFY(alarms.settings().hasLead(AlarmEvent::GateOpens, 5));
    QCOMPARE(alarms.settings().count(), 2);
    QString problem;
    QVERIFY(AlarmStore::load(&problem) == alarms.settings());

    std::unique_ptr<QMenu> menu(alarms.createMenu(AlarmPanel::Moongate, nullptr));
    QCOMPARE(menu->actions().first()->text(), QStringLiteral("열림 알림 (5분 전, 1분 전)"));
    const QMenu *leads = menu->actions().first()->menu();
    QVERIFY(entry(leads, QStringLiteral("5분 전"))->isChecked());
    QVERIFY(!entry(leads, QStringLiteral("끄기"))->isChecked());

    QVERIFY(choose(alarms, AlarmPanel::Moongate, { QStringLiteral("열림 알림"), QStringLiteral("5분 전") }));
    QCOMPARE(alarms.settings().count(), 1);
    QVERIFY(choose(alarms, AlarmPanel::Moongate, { QStringLiteral("열림 알림"), QStringLiteral("끄기") }));
    QVERIFY(!alarms.settings().anySet());
    QVERIFY(entries(readAll(file)).contains(QStringLiteral("moongate/opens=")));
}

void TestAlarmSettings::placesAreChosenByName()
{
    QList<Shown> shown;
    AlarmController alarms(std::make_unique<RecordingNotifier>(&shown), nullptr,
                           std::make_unique<RecordingPlayer>(&shown));
    std::unique_ptr<QMenu> menu(alarms.createMenu(AlarmPanel::Moongate, nullptr));
    const QStringList destinations = texts(entry(menu.get(), QStringLiteral("목적지"))->menu());
    // 25 rows, 17 places: a repeated one is offered once, where it first comes.
    QCOMPARE(destinations.size(), 2 + 17);
    QCOMPARE(destinations.mid(0, 5), QStringList({ "모든 목적지", "-", "케오섬", "타라", "티르코네일" }));
    QCOMPARE(destinations.count(QStringLiteral("티르코네일")), 1);

    QVERIFY(choose(alarms, AlarmPanel::Moongate, { QStringLiteral("목적지"), QStringLiteral("티르코네일") }));
    QVERIFY(choose(alarms, AlarmPanel::Moongate, { QStringLiteral("목적지"), QStringLiteral("케오섬") }));
    QCOMPARE(alarms.settings().gateDestinations, QStringList({ "케오섬", "티르코네일" }));
    menu.reset(alarms.createMenu(AlarmPanel::Moongate, nullptr));
    QCOMPARE(menu->actions().at(1)->text(), QStringLiteral("목적지 (2곳)"));
    QVERIFY(choose(alarms, AlarmPanel::Moongate, { QStringLiteral("목적지"), QStringLiteral("모든 목적지") }));
    QVERIFY(alarms.settings().gateDestinations.isEmpty());

    menu.reset(alarms.createMenu(AlarmPanel::Merchant, nullptr));
    QCOMPARE(texts(entry(menu.get(), QStringLiteral("장소"))->menu()).size(), 2 + 11);
    QVERIFY(choose(alarms, AlarmPanel::Merchant, { QStringLiteral("장소"), QStringLiteral("케오섬") }));
    QCOMPARE(alarms.settings().merchantStops, QStringList({ "케오섬" }));
    QVERIFY(alarms.settings().gateDestinations.isEmpty());
}

void TestAlarmSettings::leadFromTheFileIsOffered()
{
    writeAll(file, "[second-merchant]\nappears=7\n");
    QList<Shown> shown;
    AlarmController alarms(std::make_unique<RecordingNotifier>(&shown), nullptr,
                           std::make_unique<RecordingPlayer>(&shown));
    std::unique_ptr<QMenu> menu(alarms.createMenu(AlarmPanel::SecondMerchant, nullptr));
    QCOMPARE(menu->actions().first()->text(), QStringLiteral("등장 알림 (7분 전)"));
    const QStringList leads = texts(menu->actions().first()->menu());
    QCOMPARE(leads.mid(6, 3), QStringList({ "5분 전", "7분 전", "10분 전" }));
    QVERIFY(entry(menu->actions().first()->menu(), QStringLiteral("7분 전"))->isChecked());
}

void TestAlarmSettings::alarmForATimetableEntry_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("place");
    QTest::addColumn<QByteArray>("after");

    QTest::newRow("the first for the gate is for its destination")
            << QByteArray() << int(EntryKind::Moongate) << "탈틴"
            << QByteArray("[moongate]\ndestinations=탈틴\nopens=5\n");
    QTest::newRow("joins the destinations chosen, in rotation order")
            << QByteArray("[moongate]\nopens=1\ndestinations=타라\n") << int(EntryKind::Moongate) << "케오섬"
            << QByteArray("[moongate]\ndestinations=케오섬, 타라\nopens=1, 5\n");
    QTest::newRow("every destination already covers it")
            << QByteArray("[moongate]\nopens=1\n") << int(EntryKind::Moongate) << "탈틴"
            << QByteArray("[moongate]\nopens=1, 5\n");
    QTest::newRow("a stop") << QByteArray() << int(EntryKind::Merchant) << "케오섬"
                            << QByteArray("[merchant]\nmoves=5\nstops=케오섬\n");
    QTest::newRow("the job") << QByteArray() << int(EntryKind::Job) << "꽃가게"
                             << QByteArray("[job]\nstarts=5\n");
    QTest::newRow("the second merchant") << QByteArray() << int(EntryKind::SecondMerchant)
                                         << secondMerchantPlace()
                                         << QByteArray("[second-merchant]\nappears=5\n");
}

// A row's "5분 전" joins the alarms, and the file reads as the README says.
void TestAlarmSettings::alarmForATimetableEntry()
{
    QFETCH(QByteArray, before);
    QFETCH(int, kind);
    QFETCH(QString, place);
    QFETCH(QByteArray, after);
    if (!before.isEmpty())
        writeAll(file, before);
    QList<Shown> shown;
    AlarmController alarms(std::make_unique<RecordingNotifier>(&shown), nullptr,
                           std::make_unique<RecordingPlayer>(&shown));
    QMenu menu;
    alarms.addEntryAlarm(&menu, { EntryKind(kind), place, 0, 0, 1 });
    QAction *lead = entry(menu.actions().first()->menu(), QStringLiteral("5분 전"));
    QVERIFY(lead && lead->isEnabled());
    lead->trigger();

    QFile saved(file);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QByteArray text = saved.readAll();
    for (const QByteArray &line : after.split('\n'))
        QVERIFY2(text.contains(line), text.constData());
    QMenu again;
    alarms.addEntryAlarm(&again, { EntryKind(kind), place, 0, 0, 1 });
    QVERIFY(!entry(again.actions().first()->menu(), QStringLiteral("5분 전"))->isEnabled());
}

void TestAlarmSettings::muteAllAndTheSample()
{
    QList<Shown> shown;
    AlarmController alarms(std::make_unique<RecordingNotifier>(&shown), nullptr,
                           std::make_unique<RecordingPlayer>(&shown));
    QVERIFY(choose(alarms, AlarmPanel::Job, { QStringLiteral("알림 테스트") }));
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].title, QStringLiteral("타르베넬 타이머"));
    QVERIFY(shown[0].sound);
    QVERIFY(!QFileInfo::exists(file));

    QVERIFY(choose(alarms, AlarmPanel::Merchant, { QStringLiteral("모든 알림 끄기") }));
    QVERIFY(alarms.settings().muted);
    QVERIFY(readAll(file).contains("muted=true"));
    std::unique_ptr<QMenu> menu(alarms.createMenu(AlarmPanel::Moongate, nullptr));
    QVERIFY(entry(menu.get(), QStringLiteral("모든 알림 끄기"))->isChecked());
    // The sample still shows while muted, without its sound.
    QVERIFY(choose(alarms, AlarmPanel::Moongate, { QStringLiteral("알림 테스트") }));
    QCOMPARE(shown.size(), 2);
    QVERIFY(!shown[1].sound);
}

void TestAlarmSettings::ticksDeliverWhatIsDue()
{
    writeAll(file, "[moongate]\nopens=1\n");
    QList<Shown> shown;
    AlarmController alarms(std::make_unique<RecordingNotifier>(&shown), nullptr,
                           std::make_unique<RecordingPlayer>(&shown));
    // One minute before the gate opens at cycle second 1627 of the game day
    // from 21:00 on 2026-12-07 in Seoul.
    QDateTime w = QDateTime::fromString(QStringLiteral("2026-12-07T21:26:06"), Qt::ISODate);
    w.setTimeZone(QTimeZone("Asia/Seoul"));
    alarms.tick(w.addSecs(-1), 0);
    QVERIFY(shown.isEmpty());
    alarms.tick(w, 0);
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].title, QStringLiteral("문게이트: 라비던전"));
    QCOMPARE(shown[0].text, QStringLiteral("1분 후 열림"));
    QVERIFY(shown[0].sound);
    alarms.tick(w.addSecs(1), 0);
    alarms.tick(w.addSecs(-30), 0);
    alarms.tick(w, 0);
    QCOMPARE(shown.size(), 1);

    QVERIFY(choose(alarms, AlarmPanel::Moongate, { QStringLiteral("모든 알림 끄기") }));
    alarms.tick(w.addSecs(GameDaySeconds - 1), 0);
    alarms.tick(w.addSecs(GameDaySeconds), 0);
    QCOMPARE(shown.size(), 1);
}

void TestAlarmSettings::brokenFileIsReplacedOnlyByAChange()
{
    const QByteArray broken("[moongate]\nopens=5\n[job]\nstarts=99\n");
    writeAll(file, broken);
    QList<Shown> shown;
    {
        AlarmController alarms(std::make_unique<RecordingNotifier>(&shown), nullptr,
                           std::make_unique<RecordingPlayer>(&shown));
        QVERIFY(!alarms.settings().anySet());
        QVERIFY(choose(alarms, AlarmPanel::Job, { QStringLiteral("알림 테스트") }));
        QVERIFY(choose(alarms, AlarmPanel::Job, { QStringLiteral("시작 알림"), QStringLiteral("끄기") }));
    }
    QCOMPARE(readAll(file), broken);

    // A save cut off by a kill before this start left its temporary copy; a
    // newer one may be another save's under way.
    const QDir folder = QFileInfo(file).dir();
    writeAll(folder.filePath(QStringLiteral("alarms.ini.Ab12Cd")), "[job]\nstarts=1\n");
    QFile old(folder.filePath(QStringLiteral("alarms.ini.Ab12Cd")));
    QVERIFY(old.open(QIODevice::ReadWrite));
    QVERIFY(old.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime));
    old.close();
    writeAll(folder.filePath(QStringLiteral("alarms.ini.later1")), "");
    QFile later(folder.filePath(QStringLiteral("alarms.ini.later1")));
    QVERIFY(later.open(QIODevice::ReadWrite));
    QVERIFY(later.setFileTime(QDateTime::currentDateTime().addSecs(600), QFileDevice::FileModificationTime));
    later.close();

    // The broken file's bytes are kept beside it before the first save,
    // never over an earlier copy, and only once per start.
    for (int start = 0; start < 2; ++start) {
        writeAll(file, broken);
        AlarmController alarms(std::make_unique<RecordingNotifier>(&shown), nullptr,
                           std::make_unique<RecordingPlayer>(&shown));
        QVERIFY(choose(alarms, AlarmPanel::Job, { QStringLiteral("시작 알림"), QStringLiteral("3분 전") }));
        QVERIFY(choose(alarms, AlarmPanel::Job, { QStringLiteral("시작 알림"), QStringLiteral("5분 전") }));
        QString problem;
        const AlarmSettings saved = AlarmStore::load(&problem);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QVERIFY(saved.hasLead(AlarmEvent::JobStarts, 3) && saved.hasLead(AlarmEvent::JobStarts, 5));
        QCOMPARE(saved.count(), 2);
    }
    const QStringList copies = folder.entryList({ QStringLiteral("alarms.ini.broken-*") });
    QCOMPARE(copies.size(), 2);
    for (const QString &copy : copies)
        QCOMPARE(readAll(folder.filePath(copy)), broken);
    QVERIFY(!folder.exists(QStringLiteral("alarms.ini.Ab12Cd")));
    QVERIFY(folder.exists(QStringLiteral("alarms.ini.later1")));
}

void TestAlarmSettings::soundsVolumeAndHoldsAreKept()
{
    QList<Shown> shown;
    auto alarms = std::make_unique<AlarmController>(std::make_unique<RecordingNotifier>(&shown),
                                                    nullptr, std::make_unique<RecordingPlayer>(&shown));
    const QDateTime now = QDateTime::currentDateTime();
    alarms->tick(now, 0);
    QVERIFY(choose(*alarms, AlarmPanel::Moongate, { QStringLiteral("열림 알림"), QStringLiteral("5분 전") }));
    QVERIFY(choose(*alarms, AlarmPanel::Job, { QStringLiteral("알림 소리"), QStringLiteral("종소리") }));
    QVERIFY(choose(*alarms, AlarmPanel::Merchant, { QStringLiteral("음량"), QStringLiteral("30") }));
    QVERIFY(choose(*alarms, AlarmPanel::Moongate, { QStringLiteral("1시간 동안 끄기") }));
    QVERIFY(choose(*alarms, AlarmPanel::Moongate, { QStringLiteral("다음 한 번 건너뛰기") }));
    // Choosing a sound plays it, at the volume then set.
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].soundKey, QStringLiteral("bell"));
    QCOMPARE(shown[0].volume, 60);

    const qint64 n = epochSeconds(now);
    const qint64 skipped = alarms->settings().skipped[int(EntryKind::Moongate)];
    QVERIFY(skipped > n && skipped <= n + 86400);
    const auto utc = [](qint64 t) {
        return QDateTime::fromSecsSinceEpoch(t, QTimeZone::utc()).toString(Qt::ISODate);
    };
    QCOMPARE(entries(readAll(file)), QStringList({
            QStringLiteral("General/muted=false"),
            QStringLiteral("General/volume=30"),
            QStringLiteral("job/sound=bell"),
            QStringLiteral("job/starts="),
            QStringLiteral("merchant/moves="),
            QStringLiteral("merchant/stops="),
            QStringLiteral("moongate/closes="),
            QStringLiteral("moongate/destinations="),
            QStringLiteral("moongate/opens=5"),
            QStringLiteral("moongate/skip=") + utc(skipped),
            QStringLiteral("moongate/snoozed-until=") + utc(n + SnoozeSeconds),
            QStringLiteral("second-merchant/appears=") }));
    QString problem;
    QVERIFY(AlarmStore::load(&problem) == alarms->settings());

    std::unique_ptr<QMenu> menu(alarms->createMenu(AlarmPanel::Moongate, nullptr));
    QVERIFY(entry(menu.get(), QStringLiteral("1시간 동안 끄기"))->isChecked());
    QVERIFY(entry(menu.get(), QStringLiteral("다음 한 번 건너뛰기"))->isChecked());
    QCOMPARE(entry(menu.get(), QStringLiteral("음량"))->text(), QStringLiteral("음량 (30)"));

    // Once over, the holds leave the file at the tick that sees it.
    alarms->tick(now.addSecs(skipped - n + 1), 0);
    QCOMPARE(alarms->settings().skipped[int(EntryKind::Moongate)], 0);
    QCOMPARE(alarms->settings().snoozedUntil[int(EntryKind::Moongate)],
             skipped + 1 >= n + SnoozeSeconds ? 0 : n + SnoozeSeconds);
    QVERIFY(!readAll(file).contains("skip="));
}

void TestAlarmSettings::wavFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("problem"); // empty: it plays

    const QByteArray tone = Sounds::toneWav(QStringLiteral("beeps"));
    QByteArray stereo8 = tone.left(44);
    stereo8[22] = 2;                        // channels
    stereo8[32] = 2;                        // block align
    stereo8[34] = 8;                        // bits
    stereo8 += QByteArray(400, '\x80');
    stereo8.replace(40, 4, QByteArray("\x90\x01\0\0", 4));
    QByteArray bits24 = tone;
    bits24[34] = 24;
    QByteArray floats = tone;
    floats[20] = 3;
    QByteArray cut = tone.left(tone.size() / 2);
    QByteArray late = tone.left(12) + QByteArray("LIST\x04\0\0\0abcd", 12) + tone.mid(12);

    QTest::newRow("the program's tone") << tone << QString();
    QTest::newRow("8-bit stereo") << stereo8 << QString();
    QTest::newRow("another chunk first") << late << QString();
    QTest::newRow("not a WAV") << QByteArray("ID3\x04 an mp3") << "not a WAV file";
    QTest::newRow("24 bits") << bits24 << "24 bits";
    QTest::newRow("floating point") << floats << "not uncompressed PCM (format 3)";
    QTest::newRow("cut short") << cut << "its samples are cut short";
    QTest::newRow("too large") << QByteArray() << "larger than 10 MB";
    QTest::newRow("missing") << QByteArray() << "there is no such file";
}

void TestAlarmSettings::wavFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, problem);
    const QString path = home->filePath(QStringLiteral("내 소리.wav"));
    if (QByteArray(QTest::currentDataTag()) == "too large") {
        QFile big(path);
        QVERIFY(big.open(QIODevice::WriteOnly));
        QVERIFY(big.resize(Sounds::MaxFileBytes + 1));
    } else if (!problem.endsWith(QStringLiteral("no such file"))) {
        writeAll(path, bytes);
    }
    const QByteArray before = readAll(path);

    QString why;
    const std::optional<Sounds::Sound> sound = Sounds::resolve(path, &why);
    QVERIFY(sound);
    if (problem.isEmpty()) {
        QVERIFY2(why.isEmpty(), qPrintable(why));
        QCOMPARE(sound->file, path);
        // Half the volume halves every sample.
        const QByteArray half = Sounds::scaledWav(sound->wav, 50);
        QString ignored;
        const std::optional<Sounds::WavFormat> f = Sounds::readWav(half, &ignored);
        QVERIFY(f);
        QCOMPARE(f->dataSize, Sounds::readWav(bytes, &ignored)->dataSize);
        if (f->bits == 16) {
            const auto at = [](const QByteArray &w, qsizetype i) {
                return qFromLittleEndian<qint16>(w.constData() + i);
            };
            const qsizetype o = Sounds::readWav(bytes, &ignored)->dataOffset;
            for (qsizetype i = 0; i < f->dataSize; i += 2001 * 2)
                QVERIFY(qAbs(at(half, f->dataOffset + i) - at(bytes, o + i) / 2.0) <= 1);
        }
    } else {
        // The default tone instead, and the file as it was.
        QVERIFY2(why.contains(problem), qPrintable(why));
        QCOMPARE(sound->key, Sounds::defaultTone());
        QVERIFY(sound->file.isEmpty());
        QVERIFY(Sounds::readWav(sound->wav, &why));
        QCOMPARE(readAll(path), before);
    }
}

QTEST_MAIN(TestAlarmSettings)
#include "tst_alarmsettings.moc"
