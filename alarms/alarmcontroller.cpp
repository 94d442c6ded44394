#include "alarmcontroller.h"

#include "alarmnotifier.h"
#include "alarmstore.h"
#include "report.h"
#include "schedule.h"
#include "soundplayer.h"
#include "tables.h"
#include "timetable.h"

#include <QActionGroup>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QStandardPaths>

#include <algorithm>

namespace {

// The lead times every menu offers; one read from the file is added to them.
const QList<int> OfferedLeads = { 0, 1, 2, 3, 5, 10, 15, 20, 30 };

// The volumes every menu offers; one read from the file is added to them.
const QList<int> OfferedVolumes = { 10, 20, 30, 40, 50, 60, 70, 80, 90, 100 };

// "5분 뒤 다시" gives a notification again this much later.
constexpr qint64 RemindSeconds = 300;

QString leadText(int minutes)
{
    return QStringLiteral("%1분 전").arg(minutes);
}

QString clockText(qint64 seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds).toString(QStringLiteral("HH:mm"));
}

bool hasAlarmsFor(const AlarmSettings &settings, EntryKind kind)
{
    for (int e = 0; e < AlarmEventCount; ++e) {
        if (settings.leads[e] && alarmKind(AlarmEvent(e)) == kind)
            return true;
    }
    return false;
}

QString effectiveSound(const AlarmSettings &settings, EntryKind kind)
{
    const QString &choice = settings.sounds[int(kind)];
    return choice.isEmpty() ? Sounds::defaultTone() : choice;
}

} // namespace

AlarmController::AlarmController(std::unique_ptr<AlarmNotifier> notifier, QObject *parent,
                                 std::unique_ptr<SoundPlayer> player)
    : QObject(parent), notifier(std::move(notifier)),
      player(player ? std::move(player) : SoundPlayer::create()),
      started(QDateTime::currentDateTime())
{
    QString problem;
    current = AlarmStore::load(&problem, &keepBeforeSaving);
    if (!problem.isEmpty())
        ProblemReport::session().report(
                ProblemReport::UnreadableAlarms,
                QStringLiteral("alarms are off: %1; the file stays as it is until an alarm is "
                               "changed").arg(problem),
                QStringLiteral("알림 설정 파일을 읽을 수 없어 알림이 꺼져 있습니다.\n%1\n"
                               "알림을 바꾸기 전까지 파일은 그대로 둡니다.")
                        .arg(shownPath(AlarmStore::fileName())));
}

AlarmController::~AlarmController() = default;

void AlarmController::tick(const QDateTime &now, int shop)
{
    const qint64 n = epochSeconds(now);
    endHolds(n);
    if (previousTick.isValid()) {
        MissedAlarms missed;
        const QList<AlarmNotice> notices =
                dueAlarms(previousTick, now, shop, current, &announced, &missed);
        // One sound for what falls due together.
        for (qsizetype i = 0; i < notices.size(); ++i)
            give(notices[i], i == 0);
        if (missed.count) {
            const AlarmNotice quiet = missedNotice(missed);
            notifier->notify(quiet.title, quiet.text);
        }
    }
    for (auto r = reminders.begin(); r != reminders.end();) {
        if (r->due > n) {
            ++r;
            continue;
        }
        if (const std::optional<AlarmNotice> again = remindedNotice(r->notice, n); again && !current.muted)
            give(*again, true);
        r = reminders.erase(r);
    }
    previousTick = now;
    previousShop = shop;
}

void AlarmController::give(const AlarmNotice &notice, bool withSound)
{
    notifier->notify(notice.title, notice.text, [this, notice] {
        reminders.append({ notice, epochSeconds(previousTick) + RemindSeconds });
    });
    if (withSound)
        playSound(notice.kind);
    emit alarmGiven(notice.kind);
}

void AlarmController::playSound(EntryKind kind)
{
    const QString choice = effectiveSound(current, kind);
    QString problem;
    const std::optional<Sounds::Sound> sound = Sounds::resolve(choice, &problem);
    if (!problem.isEmpty() && !soundProblemsTold.contains(choice)) {
        soundProblemsTold << choice;
        writeStandardError(QStringLiteral("the alarm sound %1 cannot be played (%2); the default "
                                          "sound plays instead").arg(shownPath(choice), problem));
    }
    if (!sound)
        return;
    problem.clear();
    if (!player->play(*sound, current.volume, &problem) && !soundProblemsTold.contains(QString())) {
        soundProblemsTold << QString();
        writeStandardError(QStringLiteral("alarms are shown without a sound: %1").arg(problem));
    }
}

void AlarmController::endHolds(qint64 now)
{
    AlarmSettings next = current;
    if (!next.endHolds(now))
        return;
    current = next;
    save();
}

EntryKind AlarmController::panelKind(AlarmPanel panel)
{
    switch (panel) {
    case AlarmPanel::Moongate:
        return EntryKind::Moongate;
    case AlarmPanel::Job:
        return EntryKind::Job;
    case AlarmPanel::Merchant:
        return EntryKind::Merchant;
    case AlarmPanel::SecondMerchant:
        break;
    }
    return EntryKind::SecondMerchant;
}

QMenu *AlarmController::createMenu(AlarmPanel panel, QWidget *parent)
{
    auto *menu = new QMenu(parent);
    switch (panel) {
    case AlarmPanel::Moongate:
        addLeadMenu(menu, QStringLiteral("열림 알림"), AlarmEvent::GateOpens);
        addPlaceMenu(menu, QStringLiteral("목적지"), QStringLiteral("모든 목적지"),
                     entryPlaces(EntryKind::Moongate, 0), &AlarmSettings::gateDestinations);
        addLeadMenu(menu, QStringLiteral("닫힘 알림"), AlarmEvent::GateCloses);
        break;
    case AlarmPanel::Job:
        addLeadMenu(menu, QStringLiteral("시작 알림"), AlarmEvent::JobStarts);
        break;
    case AlarmPanel::Merchant:
        addLeadMenu(menu, QStringLiteral("이동 알림"), AlarmEvent::MerchantMoves);
        addPlaceMenu(menu, QStringLiteral("장소"), QStringLiteral("모든 장소"),
                     entryPlaces(EntryKind::Merchant, 0), &AlarmSettings::merchantStops);
        break;
    case AlarmPanel::SecondMerchant:
        addLeadMenu(menu, QStringLiteral("등장 알림"), AlarmEvent::SecondMerchant);
        break;
    }

    const EntryKind kind = panelKind(panel);
    menu->addSeparator();
    addSoundMenu(menu, kind);
    addVolumeMenu(menu);
    addHoldActions(menu, kind);

    menu->addSeparator();
    QAction *mute = menu->addAction(QStringLiteral("모든 알림 끄기"));
    mute->setCheckable(true);
    mute->setChecked(current.muted);
    connect(mute, &QAction::triggered, this,
            [this](bool on) { change([on](AlarmSettings &s) { s.muted = on; }); });
    connect(menu->addAction(QStringLiteral("알림 테스트")), &QAction::triggered, this,
            [this, kind] { showSample(kind); });
    return menu;
}

void AlarmController::addSoundMenu(QMenu *menu, EntryKind kind)
{
    const QString shown = effectiveSound(current, kind);
    const bool file = Sounds::isFile(shown);
    QMenu *sounds = menu->addMenu(QStringLiteral("알림 소리 (%1)")
            .arg(file ? QFileInfo(shown).fileName() : Sounds::toneTitle(shown)));
    auto *group = new QActionGroup(sounds);
    const QStringList keys = Sounds::toneKeys() << Sounds::noSound();
    for (const QString &key : keys) {
        QAction *choice = sounds->addAction(Sounds::toneTitle(key));
        choice->setCheckable(true);
        choice->setChecked(key == shown);
        group->addAction(choice);
        connect(choice, &QAction::triggered, this, [this, kind, key] {
            // The default is kept as no choice at all.
            const QString kept = key == Sounds::defaultTone() ? QString() : key;
            change([=](AlarmSettings &s) { s.sounds[int(kind)] = kept; });
            playSound(kind);
        });
    }
    sounds->addSeparator();
    QAction *own = sounds->addAction(QStringLiteral("WAV 파일 선택..."));
    own->setCheckable(true);
    own->setChecked(file);
    group->addAction(own);
    QWidget *parent = menu->parentWidget();
    connect(own, &QAction::triggered, this, [this, kind, parent] { chooseSoundFile(kind, parent); });
}

void AlarmController::chooseSoundFile(EntryKind kind, QWidget *parent)
{
    const QString current = effectiveSound(this->current, kind);
    const QString start = Sounds::isFile(current)
            ? QFileInfo(current).absolutePath()
            : QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    const QString file = QFileDialog::getOpenFileName(parent, QStringLiteral("알림 소리 파일"), start,
                                                      QStringLiteral("WAV 파일 (*.wav *.WAV)"));
    if (file.isEmpty())
        return;
    QString problem;
    if (Sounds::loadFile(file, &problem).isEmpty()) {
        QMessageBox::warning(parent, QStringLiteral("타르베넬 타이머"),
                             QStringLiteral("이 파일은 알림 소리로 쓸 수 없습니다.\n%1\n(%2)")
                                     .arg(shownPath(file), problem));
        return;
    }
    change([=](AlarmSettings &s) { s.sounds[int(kind)] = file; });
    playSound(kind);
}

void AlarmController::addVolumeMenu(QMenu *menu)
{
    QList<int> volumes = OfferedVolumes;
    if (!volumes.contains(current.volume)) {
        volumes << current.volume;
        std::sort(volumes.begin(), volumes.end());
    }
    QMenu *choice = menu->addMenu(QStringLiteral("음량 (%1)").arg(current.volume));
    auto *group = new QActionGroup(choice);
    for (int v : volumes) {
        QAction *volume = choice->addAction(QString::number(v));
        volume->setCheckable(true);
        volume->setChecked(v == current.volume);
        group->addAction(volume);
        connect(volume, &QAction::triggered, this, [this, v] {
            change([v](AlarmSettings &s) { s.volume = v; });
        });
    }
}

void AlarmController::addHoldActions(QMenu *menu, EntryKind kind)
{
    const int k = int(kind);
    const QDateTime now = previousTick.isValid() ? previousTick : QDateTime::currentDateTime();
    const qint64 n = epochSeconds(now);
    const bool any = hasAlarmsFor(current, kind);

    const qint64 until = current.snoozedUntil[k];
    QAction *snooze = menu->addAction(until ? QStringLiteral("1시간 동안 끄기 (%1까지)").arg(clockText(until))
                                            : QStringLiteral("1시간 동안 끄기"));
    snooze->setCheckable(true);
    snooze->setChecked(until);
    snooze->setEnabled(any || until);
    connect(snooze, &QAction::triggered, this, [this, k, n](bool on) {
        change([=](AlarmSettings &s) { s.snoozedUntil[k] = on ? n + SnoozeSeconds : 0; });
    });

    const qint64 skipped = current.skipped[k];
    const std::optional<AlarmOccurrence> next =
            skipped || !any ? std::nullopt : nextAlarm(now, previousShop, current, kind);
    QString skipText = QStringLiteral("다음 한 번 건너뛰기");
    if (skipped)
        skipText += QStringLiteral(" (%1)").arg(clockText(skipped));
    else if (next)
        skipText += QStringLiteral(" (%1 %2)").arg(clockText(next->at), next->title);
    QAction *skip = menu->addAction(skipText);
    skip->setCheckable(true);
    skip->setChecked(skipped);
    skip->setEnabled(skipped || next);
    const qint64 at = next ? next->at : 0;
    connect(skip, &QAction::triggered, this, [this, k, at](bool on) {
        change([=](AlarmSettings &s) { s.skipped[k] = on ? at : 0; });
    });
}

void AlarmController::addLeadMenu(QMenu *menu, const QString &title, AlarmEvent event)
{
    QList<int> minutes = OfferedLeads;
    QStringList chosen;
    for (int m = MaxLeadMinutes; m >= 0; --m) {
        if (!current.hasLead(event, m))
            continue;
        chosen << leadText(m);
        if (!minutes.contains(m))
            minutes << m;
    }
    std::sort(minutes.begin(), minutes.end());

    QMenu *leads = menu->addMenu(chosen.isEmpty() ? title
                                                  : title + QStringLiteral(" (") + chosen.join(QStringLiteral(", "))
                                                          + QLatin1Char(')'));
    QAction *off = leads->addAction(QStringLiteral("끄기"));
    off->setCheckable(true);
    off->setChecked(chosen.isEmpty());
    connect(off, &QAction::triggered, this,
            [this, event] { change([event](AlarmSettings &s) { s.leads[int(event)] = 0; }); });
    leads->addSeparator();
    for (int m : minutes) {
        QAction *lead = leads->addAction(leadText(m));
        lead->setCheckable(true);
        lead->setChecked(current.hasLead(event, m));
        connect(lead, &QAction::triggered, this, [this, event, m](bool on) {
            change([=](AlarmSettings &s) { s.setLead(event, m, on); });
        });
    }
}

void AlarmController::addEntryAlarm(QMenu *menu, const TimetableEntry &entry)
{
    const AlarmEvent event = startingEvent(entry.kind);
    QStringList AlarmSettings::*places = chosenPlaces(entry.kind);
    const QStringList table = entryPlaces(entry.kind, 0);
    const QList<int> set = current.leadsFor(entry);
    QMenu *leads = menu->addMenu(QStringLiteral("알림 설정: %1").arg(entry.place));
    for (int m : OfferedLeads) {
        QAction *lead = leads->addAction(leadText(m));
        lead->setCheckable(true);
        lead->setChecked(set.contains(m));
        lead->setEnabled(!set.contains(m));
        const QString place = entry.place;
        connect(lead, &QAction::triggered, this, [=] {
            change([=](AlarmSettings &s) {
                // An alarm for every place already covers this one; the
                // first alarm of its event is for this place alone.
                if (places && (!(s.*places).isEmpty() || !s.leads[int(event)])
                    && !(s.*places).contains(place)) {
                    QStringList kept;
                    for (const QString &p : table) {
                        if (p == place || (s.*places).contains(p))
                            kept << p;
                    }
                    s.*places = kept;
                }
                s.setLead(event, m, true);
            });
        });
    }
}

void AlarmController::addPlaceMenu(QMenu *menu, const QString &title, const QString &any,
                                   const QStringList &places, QStringList AlarmSettings::*chosen)
{
    const QStringList &now = current.*chosen;
    QMenu *choice = menu->addMenu(now.isEmpty() ? title : QStringLiteral("%1 (%2곳)").arg(title).arg(now.size()));
    QAction *all = choice->addAction(any);
    all->setCheckable(true);
    all->setChecked(now.isEmpty());
    connect(all, &QAction::triggered, this,
            [this, chosen] { change([chosen](AlarmSettings &s) { (s.*chosen).clear(); }); });
    choice->addSeparator();
    for (const QString &place : places) {
        QAction *one = choice->addAction(place);
        one->setCheckable(true);
        one->setChecked(now.contains(place));
        connect(one, &QAction::triggered, this, [this, chosen, places, place](bool on) {
            change([=](AlarmSettings &s) {
                // Kept in the order of the table, whatever order they are chosen in.
                QStringList kept;
                for (const QString &p : places) {
                    if (p == place ? on : (s.*chosen).contains(p))
                        kept << p;
                }
                s.*chosen = kept;
            });
        });
    }
}

void AlarmController::change(const std::function<void(AlarmSettings &)> &edit)
{
    AlarmSettings next = current;
    edit(next);
    if (next == current)
        return;
    current = next;
    save();
}

void AlarmController::save()
{
    QString copy;
    QString problem;
    const bool saved = AlarmStore::saveKeeping(current, &keepBeforeSaving, started, &copy, &problem);
    if (!copy.isEmpty())
        ProblemReport::session().report(
                ProblemReport::AlarmsCopyKept,
                QStringLiteral("the alarms file could not be read as alarms; its old contents "
                               "are kept in %1").arg(shownPath(copy)),
                QStringLiteral("읽을 수 없던 알림 설정 파일의 내용은 %1 에 남겨 두었습니다.")
                        .arg(shownPath(copy)));
    if (!saved)
        ProblemReport::session().report(
                ProblemReport::UnsavedAlarms,
                QStringLiteral("the alarms are not saved: %1").arg(problem),
                QStringLiteral("알림 설정을 저장하지 못했습니다.\n%1")
                        .arg(shownPath(AlarmStore::fileName())));
}

void AlarmController::showSample(EntryKind kind)
{
    notifier->notify(QStringLiteral("타르베넬 타이머"),
                     QStringLiteral("알림 테스트: 알림은 이렇게 표시됩니다."));
    if (!current.muted)
        playSound(kind);
}
