#include "traynotifier.h"

#include <QSystemTrayIcon>

void TrayNotifier::notify(const QString &title, const QString &text, const std::function<void()> &)
{
    tray->showMessage(title, text, QSystemTrayIcon::Information, MessageMilliseconds);
}
