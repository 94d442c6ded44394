#ifndef TRAYNOTIFIER_H
#define TRAYNOTIFIER_H

#include "alarmnotifier.h"

// The tray icon's message.
class TrayNotifier : public AlarmNotifier
{
public:
    explicit TrayNotifier(QSystemTrayIcon *tray) : tray(tray) { }

    void notify(const QString &title, const QString &text,
                const std::function<void()> &remindLater = {}) override;

protected:
    static constexpr int MessageMilliseconds = 10000;

    QSystemTrayIcon *tray;
};

#endif
