#include "alarmcontroller.h"

#include "alarmnotifier.h"
#include "alarmstore.h"
#include "report.h"
#include "tables.h"
#include "timetable.h"

#include <QMenu>

#include <algorithm>

namespace {

// The lead times every menu offers; one read from the file is added to them.
const QList<int> OfferedLeads = { 0, 1, 2, 3, 5, 10, 15, 20, 30 };

QString leadText(int minutes)
{
    return QStringLiteral("%1분 전").arg(minutes);
}

} // namespace

AlarmController::AlarmController(std::unique_ptr<AlarmNotifier> notifier, QObject *parent)
    : QObject(parent), notifier(std::move(notifier)), started(QDateTime::currentDateTime())
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
    if (previousTick.isValid()) {
        for (const AlarmNotice &notice : dueAlarms(previousTick, now, shop, current, &announced))
            notifier->notify(notice.title, notice.text, true);
    }
    previousTick = now;
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

    menu->addSeparator();
    QAction *mute = menu->addAction(QStringLiteral("모든 알림 끄기"));
    mute->setCheckable(true);
    mute->setChecked(current.muted);
    connect(mute, &QAction::triggered, this,
            [this](bool on) { change([on](AlarmSettings &s) { s.muted = on; }); });
    connect(menu->addAction(QStringLiteral("알림 테스트")), &QAction::triggered, this,
            &AlarmController::showSample);
    return menu;
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

void AlarmController::showSample()
{
    notifier->notify(QStringLiteral("타르베넬 타이머"),
                     QStringLiteral("알림 테스트: 알림은 이렇게 표시됩니다."), !current.muted);
}
