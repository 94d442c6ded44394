// Windows shows notifications as the tray icon's balloon.
#include "traynotifier.h"

std::unique_ptr<AlarmNotifier> AlarmNotifier::create(QSystemTrayIcon *tray)
{
    return std::make_unique<TrayNotifier>(tray);
}
