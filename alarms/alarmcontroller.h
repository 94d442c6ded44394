#ifndef ALARMCONTROLLER_H
#define ALARMCONTROLLER_H

#include "alarms.h"

#include <QDateTime>
#include <QObject>

#include <functional>
#include <memory>

class AlarmNotifier;
struct TimetableEntry;
class QMenu;
class QWidget;

// The panels of the window that have alarms.
enum class AlarmPanel { Moongate, Job, Merchant, SecondMerchant };

// The user's alarms: read at start, offered in each panel's context menu,
// saved when changed, and checked at every tick of the window, which only
// hands over its clock reading.
class AlarmController : public QObject
{
    Q_OBJECT

public:
    AlarmController(std::unique_ptr<AlarmNotifier> notifier, QObject *parent);
    ~AlarmController() override;

    void tick(const QDateTime &now, int shop);
    // The panel's alarm menu, built anew with the current choices.
    QMenu *createMenu(AlarmPanel panel, QWidget *parent);

    // A submenu that sets an alarm for the entry's kind and place: a lead
    // for its event, and the place joined to the places chosen for it.
    void addEntryAlarm(QMenu *menu, const TimetableEntry &entry);

    const AlarmSettings &settings() const { return current; }

private:
    void addLeadMenu(QMenu *menu, const QString &title, AlarmEvent event);
    void addPlaceMenu(QMenu *menu, const QString &title, const QString &any,
                      const QStringList &places, QStringList AlarmSettings::*chosen);
    void change(const std::function<void(AlarmSettings &)> &edit);
    void showSample();

    std::unique_ptr<AlarmNotifier> notifier;
    AlarmSettings current;
    AlarmState announced;
    QDateTime previousTick;
    // A save cut off by a kill before this clock started left its copy.
    const QDateTime started;
    bool keepBeforeSaving = false;
};

#endif
