#ifndef TRAYNOTIFIER_H
#define TRAYNOTIFIER_H

#include "alarmnotifier.h"

// The tray icon's message, with the system's beep for a sound.
class TrayNotifier : public AlarmNotifier
{
public:
    explicit TrayNotifier(QSystemTrayIcon *tray) : tray(tray) { }

    void notify(const QString &title, const QString &text, bool sound) override;

private:
    QSystemTrayIcon *tray;
};

#endif
