#include "alarmnotifier.h"

#include <QApplication>
#include <QSystemTrayIcon>

#if defined(TIMER_HAVE_DBUS)
std::unique_ptr<AlarmNotifier> createDesktopNotifier(std::unique_ptr<AlarmNotifier> fallback);
#endif

namespace {

constexpr int MessageMilliseconds = 10000;

class TrayNotifier : public AlarmNotifier
{
public:
    explicit TrayNotifier(QSystemTrayIcon *tray) : tray(tray) { }

    void notify(const QString &title, const QString &text, bool sound) override
    {
        tray->showMessage(title, text, QSystemTrayIcon::Information, MessageMilliseconds);
        if (sound)
            QApplication::beep();
    }

private:
    QSystemTrayIcon *tray;
};

} // namespace

AlarmNotifier::~AlarmNotifier() = default;

std::unique_ptr<AlarmNotifier> AlarmNotifier::create(QSystemTrayIcon *tray)
{
    auto inTray = std::make_unique<TrayNotifier>(tray);
#if defined(TIMER_HAVE_DBUS)
    return createDesktopNotifier(std::move(inTray));
#else
    return inTray;
#endif
}
