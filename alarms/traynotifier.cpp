#include "traynotifier.h"

#include <QApplication>
#include <QSystemTrayIcon>

namespace {

constexpr int MessageMilliseconds = 10000;

} // namespace

void TrayNotifier::notify(const QString &title, const QString &text, bool sound)
{
    tray->showMessage(title, text, QSystemTrayIcon::Information, MessageMilliseconds);
    if (sound)
        QApplication::beep();
}
