// Notifications through the desktop's notification service
// (org.freedesktop.Notifications on the session bus).
#include "alarmnotifier.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QObject>

namespace {

const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");

class DesktopNotifier : public AlarmNotifier
{
public:
    explicit DesktopNotifier(std::unique_ptr<AlarmNotifier> fallback) : fallback(std::move(fallback)) { }

    void notify(const QString &title, const QString &text, bool sound) override
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!hasService(bus)) {
            fallback->notify(title, text, sound);
            return;
        }
        QVariantMap hints;
        if (sound)
            hints.insert(QStringLiteral("sound-name"), QStringLiteral("message-new-instant"));
        QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Service, QStringLiteral("Notify"));
        call << QStringLiteral("타르베넬 타이머") << 0u << QString() << title << text << QStringList()
             << hints << -1;
        // Asynchronous, so that a slow service never holds up the clock; the
        // tray shows what it does not take.
        auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), &pending);
        AlarmNotifier *tray = fallback.get();
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                         [watcher, tray, title, text, sound] {
                             if (watcher->isError())
                                 tray->notify(title, text, sound);
                             watcher->deleteLater();
                         });
    }

private:
    static bool hasService(const QDBusConnection &bus)
    {
        const QDBusConnectionInterface *daemon = bus.isConnected() ? bus.interface() : nullptr;
        // A service the bus starts on demand counts as well.
        return daemon
                && (daemon->isServiceRegistered(Service).value()
                    || daemon->activatableServiceNames().value().contains(Service));
    }

    std::unique_ptr<AlarmNotifier> fallback;
    // The parent of the calls under way, which go with the notifier.
    QObject pending;
};

} // namespace

std::unique_ptr<AlarmNotifier> createDesktopNotifier(std::unique_ptr<AlarmNotifier> fallback)
{
    return std::make_unique<DesktopNotifier>(std::move(fallback));
}
