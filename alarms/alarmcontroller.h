#ifndef ALARMCONTROLLER_H
#define ALARMCONTROLLER_H

#include "alarms.h"

#include <QDateTime>
#include <QObject>

#include <functional>
#include <memory>

class AlarmNotifier;
#include "soundplayer.h"
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
    AlarmController(std::unique_ptr<AlarmNotifier> notifier, QObject *parent,
                    std::unique_ptr<SoundPlayer> player = nullptr);
    ~AlarmController() override;

    void tick(const QDateTime &now, int shop);
    // The panel's alarm menu, built anew with the current choices.
    QMenu *createMenu(AlarmPanel panel, QWidget *parent);
    static EntryKind panelKind(AlarmPanel panel);

    // A submenu that sets an alarm for the entry's kind and place: a lead
    // for its event, and the place joined to the places chosen for it.
    void addEntryAlarm(QMenu *menu, const TimetableEntry &entry);

    const AlarmSettings &settings() const { return current; }

    // How long a panel stays highlighted after its alarm.
    static constexpr int AttentionMilliseconds = 30000;

signals:
    // An alarm of the kind was given (not a quiet one): its panel may ask
    // for the player's attention.
    void alarmGiven(EntryKind kind);

private:
    struct Reminder
    {
        AlarmNotice notice;
        qint64 due;
    };

    void addSoundMenu(QMenu *menu, EntryKind kind);
    void addVolumeMenu(QMenu *menu);
    void addHoldActions(QMenu *menu, EntryKind kind);
    void chooseSoundFile(EntryKind kind, QWidget *parent);
    void give(const AlarmNotice &notice, bool withSound);
    void playSound(EntryKind kind);
    void endHolds(qint64 now);
    void addLeadMenu(QMenu *menu, const QString &title, AlarmEvent event);
    void addPlaceMenu(QMenu *menu, const QString &title, const QString &any,
                      const QStringList &places, QStringList AlarmSettings::*chosen);
    void change(const std::function<void(AlarmSettings &)> &edit);
    void showSample(EntryKind kind);
    void save();

    std::unique_ptr<AlarmNotifier> notifier;
    std::unique_ptr<SoundPlayer> player;
    QList<Reminder> reminders;
    // What standard error has been told of the sounds, each once a run.
    QStringList soundProblemsTold;
    AlarmSettings current;
    AlarmState announced;
    QDateTime previousTick;
    int previousShop = 0;
    // A save cut off by a kill before this clock started left its copy.
    const QDateTime started;
    bool keepBeforeSaving = false;
};

#endif
