#ifndef ALARMNOTIFIER_H
#define ALARMNOTIFIER_H

#include <QString>

#include <memory>

class QSystemTrayIcon;

// Shows a notification the platform's own way.
class AlarmNotifier
{
public:
    virtual ~AlarmNotifier() = default;

    virtual void notify(const QString &title, const QString &text, bool sound) = 0;

    // The platform's notifier (alarmnotifier_<platform>.cpp): the desktop's
    // notification service where it has one, with the tray icon's message
    // and the system's beep wherever that cannot show it.
    static std::unique_ptr<AlarmNotifier> create(QSystemTrayIcon *tray);
};

#endif
