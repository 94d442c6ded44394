// Notifications through the desktop's notification service
// (org.freedesktop.Notifications on the session bus).
#include "traynotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QObject>

namespace {

const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");

// A service that takes longer than this to answer is taken for a hung one,
// and the tray shows the notification instead.
constexpr int ReplyMilliseconds = 5000;

class DesktopNotifier : public AlarmNotifier
{
public:
    explicit DesktopNotifier(QSystemTrayIcon *tray) : fallback(tray) { }

    void notify(const QString &title, const QString &text, bool sound) override
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected()) {
            fallback.notify(title, text, sound);
            return;
        }
        QVariantMap hints;
        if (sound)
            hints.insert(QStringLiteral("sound-name"), QStringLiteral("message-new-instant"));
        QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Service, QStringLiteral("Notify"));
        call << QStringLiteral("타르베넬 타이머") << 0u << QString() << title << text << QStringList()
             << hints << -1;
        // Only asynchronous calls, so that the clock never waits for the bus.
        // Where no service runs and none can be started, the bus answers with
        // an error, and the tray shows what the service did not take.
        auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, ReplyMilliseconds), &pending);
        TrayNotifier *tray = &fallback;
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                         [watcher, tray, title, text, sound] {
                             if (watcher->isError())
                                 tray->notify(title, text, sound);
                             watcher->deleteLater();
                         });
    }

private:
    TrayNotifier fallback;
    // The parent of the calls under way, which go with the notifier.
    QObject pending;
};

} // namespace

std::unique_ptr<AlarmNotifier> AlarmNotifier::create(QSystemTrayIcon *tray)
{
    return std::make_unique<DesktopNotifier>(tray);
}
