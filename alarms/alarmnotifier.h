#ifndef ALARMNOTIFIER_H
#define ALARMNOTIFIER_H

#include <QString>

#include <memory>

class QSystemTrayIcon;

// Shows a notification the platform's own way.
class AlarmNotifier
{
public:
    virtual ~AlarmNotifier();

    virtual void notify(const QString &title, const QString &text, bool sound) = 0;

    // The desktop's notification service where there is one (asked at each
    // notification, since it may start or stop while the clock runs), and
    // otherwise the tray icon's message with the system's beep.
    static std::unique_ptr<AlarmNotifier> create(QSystemTrayIcon *tray);
};

#endif
