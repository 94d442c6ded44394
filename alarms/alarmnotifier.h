#ifndef ALARMNOTIFIER_H
#define ALARMNOTIFIER_H

#include <QString>

#include <functional>
#include <memory>

class QSystemTrayIcon;

// Shows a notification the platform's own way, without a sound of its own:
// the clock plays its own.
class AlarmNotifier
{
public:
    virtual ~AlarmNotifier() = default;

    // Where remindLater is given and the notification can offer actions,
    // it offers "5분 뒤 다시", which calls it, and "닫기".
    virtual void notify(const QString &title, const QString &text,
                        const std::function<void()> &remindLater = {}) = 0;

    // The platform's notifier (alarmnotifier_<platform>.cpp): the desktop's
    // notification service where it has one, with the tray icon's message
    // wherever that cannot show it.
    static std::unique_ptr<AlarmNotifier> create(QSystemTrayIcon *tray);
};

#endif
