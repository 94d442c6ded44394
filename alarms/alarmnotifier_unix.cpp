// Notifications through the desktop's notification service
// (org.freedesktop.Notifications on the session bus).
#include "traynotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QHash>
#include <QObject>

#include <utility>

namespace {

const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");
const QString RemindAction = QStringLiteral("remind");
const QString CloseAction = QStringLiteral("close");

// A service that takes longer than this to answer is taken for a hung one,
// and the tray shows the notification instead.
constexpr int ReplyMilliseconds = 5000;

class DesktopNotifier : public QObject, public AlarmNotifier
{
    Q_OBJECT

public:
    explicit DesktopNotifier(QSystemTrayIcon *tray) : fallback(tray)
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            return;
        bus.connect(Service, Path, Service, QStringLiteral("ActionInvoked"), this,
                    SLOT(actionInvoked(uint, QString)));
        bus.connect(Service, Path, Service, QStringLiteral("NotificationClosed"), this,
                    SLOT(closed(uint, uint)));
    }

    void notify(const QString &title, const QString &text,
                const std::function<void()> &remindLater) override
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected()) {
            fallback.notify(title, text, remindLater);
            return;
        }
        if (!knowsCapabilities) {
            waiting.append({ title, text, remindLater });
            askCapabilities(bus);
            return;
        }
        send(bus, title, text, remindLater);
    }

private slots:
    void actionInvoked(uint id, const QString &action)
    {
        const std::function<void()> remind = reminders.take(id);
        if (action == RemindAction && remind)
            remind();
        if (action == CloseAction) {
            QDBusMessage call = QDBusMessage::createMethodCall(
                    Service, Path, Service, QStringLiteral("CloseNotification"));
            call << id;
            QDBusConnection::sessionBus().asyncCall(call, ReplyMilliseconds);
        }
    }

    void closed(uint id, uint) { reminders.remove(id); }

private:
    struct Waiting
    {
        QString title;
        QString text;
        std::function<void()> remindLater;
    };

    void send(QDBusConnection &bus, const QString &title, const QString &text,
              const std::function<void()> &remindLater)
    {
        // The service's own sound would come on top of the clock's.
        const QVariantMap hints { { QStringLiteral("suppress-sound"), true } };
        QStringList actions;
        if (remindLater && offersActions)
            actions << RemindAction << QStringLiteral("5분 뒤 다시") << CloseAction
                    << QStringLiteral("닫기");
        QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Service, QStringLiteral("Notify"));
        call << QStringLiteral("타르베넬 타이머") << 0u << QString() << title << text << actions
             << hints << -1;
        // Only asynchronous calls, so that the clock never waits for the bus.
        // Where no service runs and none can be started, the bus answers with
        // an error, and the tray shows what the service did not take.
        auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, ReplyMilliseconds), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this,
                [this, watcher, title, text, remindLater, actions] {
                    QDBusPendingReply<uint> reply = *watcher;
                    if (reply.isError())
                        fallback.notify(title, text, remindLater);
                    else if (!actions.isEmpty())
                        reminders.insert(reply.value(), remindLater);
                    watcher->deleteLater();
                });
    }

    // Whether the service shows actions is asked once, when the first
    // notification goes out, which waits for the answer (or its error);
    // the later ones go at once.
    void askCapabilities(QDBusConnection &bus)
    {
        if (askedCapabilities)
            return;
        askedCapabilities = true;
        auto *watcher = new QDBusPendingCallWatcher(
                bus.asyncCall(QDBusMessage::createMethodCall(Service, Path, Service,
                                                             QStringLiteral("GetCapabilities")),
                              ReplyMilliseconds),
                this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
            QDBusPendingReply<QStringList> reply = *watcher;
            offersActions = !reply.isError() && reply.value().contains(QStringLiteral("actions"));
            knowsCapabilities = true;
            watcher->deleteLater();
            QDBusConnection bus = QDBusConnection::sessionBus();
            for (const Waiting &w : std::exchange(waiting, {}))
                send(bus, w.title, w.text, w.remindLater);
        });
    }

    TrayNotifier fallback;
    QList<Waiting> waiting;
    bool askedCapabilities = false;
    bool knowsCapabilities = false;
    bool offersActions = false;
    QHash<uint, std::function<void()>> reminders;
};

} // namespace

std::unique_ptr<AlarmNotifier> AlarmNotifier::create(QSystemTrayIcon *tray)
{
    return std::make_unique<DesktopNotifier>(tray);
}

#include "alarmnotifier_unix.moc"
