#include "desktop.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace {

const QString WatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");

bool onX11()
{
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

xcb_atom_t atom(xcb_connection_t *connection, const char *name)
{
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, false, quint16(qstrlen(name)), name), nullptr);
    const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_NONE);
    std::free(reply);
    return result;
}

xcb_window_t rootOf(xcb_connection_t *connection, xcb_window_t window)
{
    xcb_get_geometry_reply_t *reply =
            xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr);
    const xcb_window_t root = reply ? reply->root : xcb_window_t(XCB_NONE);
    std::free(reply);
    return root;
}

// The X server time at which the launcher started us, the "_TIME" part of
// a startup id: it tells the window manager the user asked for the window.
xcb_timestamp_t launchTime(const QByteArray &startupId)
{
    const QRegularExpressionMatch match =
            QRegularExpression(QStringLiteral("_TIME(\\d+)$")).match(QString::fromLatin1(startupId));
    return match.hasMatch() ? xcb_timestamp_t(match.captured(1).toULongLong()) : XCB_CURRENT_TIME;
}

void sendToRoot(xcb_connection_t *connection, xcb_window_t root, xcb_client_message_event_t event,
                uint32_t mask)
{
    event.response_type = XCB_CLIENT_MESSAGE;
    xcb_send_event(connection, false, root, mask, reinterpret_cast<const char *>(&event));
}

// The startup-notification "remove" message ends the launcher's busy
// feedback for that start, which no window of its own will answer.
void endStartup(xcb_connection_t *connection, xcb_window_t window, xcb_window_t root,
                const QByteArray &startupId)
{
    QByteArray message = "remove: ID=\"" + QByteArray(startupId).replace('\\', "\\\\").replace('"', "\\\"")
            + '"';
    message.append('\0');
    xcb_client_message_event_t event = {};
    event.format = 8;
    event.window = window;
    event.type = atom(connection, "_NET_STARTUP_INFO_BEGIN");
    const xcb_atom_t more = atom(connection, "_NET_STARTUP_INFO");
    for (qsizetype at = 0; at < message.size(); at += 20) {
        std::memset(event.data.data8, 0, sizeof event.data.data8);
        std::memcpy(event.data.data8, message.constData() + at, size_t(qMin<qsizetype>(20, message.size() - at)));
        sendToRoot(connection, root, event, XCB_EVENT_MASK_PROPERTY_CHANGE);
        event.type = more;
    }
}

void activateOnX11(QWidget *window, const QByteArray &startupId)
{
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return;
    const xcb_window_t id = xcb_window_t(window->winId());
    const xcb_window_t root = rootOf(connection, id);
    if (root == XCB_NONE)
        return;
    // With the launch time, the window manager sees a request the user made
    // rather than a program pushing itself forward.
    xcb_client_message_event_t event = {};
    event.format = 32;
    event.window = id;
    event.type = atom(connection, "_NET_ACTIVE_WINDOW");
    event.data.data32[0] = 1;
    event.data.data32[1] = launchTime(startupId);
    sendToRoot(connection, root, event,
               XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY);
    endStartup(connection, id, root, startupId);
    xcb_flush(connection);
}

void setStartupIdOnX11(QWidget *window, const QByteArray &startupId)
{
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return;
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, xcb_window_t(window->winId()),
                        atom(connection, "_NET_STARTUP_ID"), atom(connection, "UTF8_STRING"), 8,
                        uint32_t(startupId.size()), startupId.constData());
}

} // namespace

namespace Desktop {

bool trayReportsDoubleClicks()
{
    // The toolkit's own test: a StatusNotifierItem icon when the watcher has
    // a host registered, otherwise (on X11 only) an XEmbed icon, which sees
    // every button press itself.
    if (!onX11())
        return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(WatcherService))
        return true;
    QDBusInterface watcher(WatcherService, QStringLiteral("/StatusNotifierWatcher"), WatcherService, bus);
    return !watcher.property("IsStatusNotifierHostRegistered").toBool();
}

void prepareActivation(QWidget *window, const QByteArray &startupId,
                       const QByteArray &activationToken)
{
    // Read by the window manager when it maps a hidden window.
    if (onX11() && !startupId.isEmpty())
        setStartupIdOnX11(window, startupId);
    // The Wayland plugin takes a token from here when it next activates.
    if (!onX11() && !activationToken.isEmpty())
        qputenv("XDG_ACTIVATION_TOKEN", activationToken);
}

void activate(QWidget *window, const QByteArray &startupId)
{
    window->raise();
    window->activateWindow();
    if (onX11() && !startupId.isEmpty())
        activateOnX11(window, startupId);
}

} // namespace Desktop
