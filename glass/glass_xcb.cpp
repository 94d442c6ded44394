#include "glassbackend_p.h"

#include <QAbstractNativeEventFilter>
#include <QGuiApplication>
#include <QHash>
#include <QPointer>
#include <QWindow>

#include <xcb/shape.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <cstdlib>

namespace {

xcb_atom_t internAtom(xcb_connection_t *connection, const QByteArray &name)
{
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, false, quint16(name.size()), name.constData()),
            nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_NONE);
    std::free(reply);
    return atom;
}

int defaultScreen()
{
    int screen = 0;
    char *host = nullptr;
    int display = 0;
    if (xcb_parse_display(nullptr, &host, &display, &screen))
        std::free(host);
    return screen;
}

xcb_window_t rootWindow(xcb_connection_t *connection, int screen)
{
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (; it.rem; --screen, xcb_screen_next(&it)) {
        if (screen == 0)
            return it.data->root;
    }
    return XCB_NONE;
}

// What the library has asked of one window. An X window loses its input
// shape and properties when the toolkit re-creates it (a change of flags
// followed by hide and show does so, under a new id), and the window
// manager may ignore an input shape set before the window was mapped, so
// all of it is applied again whenever the window is exposed.
struct WindowState
{
    QPointer<QWindow> window;
    bool above = false;
    bool clickThrough = false;
    bool blur = false;
};

class XcbBackend : public QObject, public GlassBackend, public QAbstractNativeEventFilter
{
public:
    explicit XcbBackend(xcb_connection_t *connection)
        : m_connection(connection),
          m_screen(defaultScreen()),
          m_compositorSelection(internAtom(connection, "_NET_WM_CM_S" + QByteArray::number(m_screen))),
          m_blurRegion(internAtom(connection, "_KDE_NET_WM_BLUR_BEHIND_REGION"))
    {
        watchCompositor();
    }

    ~XcbBackend() override
    {
        if (m_watching) {
            QCoreApplication::instance()->removeNativeEventFilter(this);
            xcb_xfixes_select_selection_input(m_connection, rootWindow(m_connection, m_screen),
                                              m_compositorSelection, 0);
            xcb_flush(m_connection);
        }
        qDeleteAll(m_states);
    }

    // A compositor may start or stop at any moment. The server reports each
    // change of the selection's owner, so the answer is known without asking;
    // a server without XFixes is asked every time.
    bool isCompositionEnabled() override
    {
        return m_watching ? m_composited : compositorRuns();
    }

    bool nativeEventFilter(const QByteArray &, void *message, qintptr *) override
    {
        const auto *event = static_cast<const xcb_generic_event_t *>(message);
        if ((event->response_type & ~0x80) == m_selectionNotify) {
            const auto *notify = reinterpret_cast<const xcb_xfixes_selection_notify_event_t *>(event);
            if (notify->selection == m_compositorSelection)
                m_composited = notify->owner != XCB_NONE;
        }
        return false;
    }

    // A sheet over the whole window is left to the toolkit's own background:
    // X has no frame to extend.
    void setGlass(WId id, GLASS_MODE mode) override
    {
        if (mode != GLASS_NONE && mode != GLASS_BLURBEHIND)
            return;
        if (!isCompositionEnabled())
            return;
        WindowState *state = track(id);
        if (!state)
            return;
        state->blur = mode == GLASS_BLURBEHIND;
        applyBlur(state->window);
        xcb_flush(m_connection);
    }

    void setTopmost(WId id, bool topmost) override
    {
        if (WindowState *state = track(id)) {
            state->above = topmost;
            applyFlags(*state);
        }
    }

    void setTransparent(WId id, bool topmost, bool transparent) override
    {
        WindowState *state = track(id);
        if (!state)
            return;
        state->clickThrough = transparent;
        state->above = transparent || topmost;
        applyFlags(*state);
        applyInputShape(*state);
        // Like a layered window at full alpha: the library leaves the window
        // opaque; any lower opacity is the program's own setting.
        state->window->setOpacity(1.0);
        xcb_flush(m_connection);
    }

protected:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (event->type() != QEvent::Expose && event->type() != QEvent::Resize)
            return false;
        auto *window = static_cast<QWindow *>(object);
        WindowState *state = m_states.value(window);
        if (!state || !window->handle())
            return false;
        m_ids.insert(window->winId(), window);
        if (event->type() == QEvent::Expose && window->isExposed()) {
            applyFlags(*state);
            applyInputShape(*state);
        }
        if (state->blur)
            applyBlur(window);
        xcb_flush(m_connection);
        return false;
    }

private:
    bool compositorRuns()
    {
        xcb_get_selection_owner_reply_t *reply = xcb_get_selection_owner_reply(
                m_connection, xcb_get_selection_owner(m_connection, m_compositorSelection), nullptr);
        const bool owned = reply && reply->owner != XCB_NONE;
        std::free(reply);
        return owned;
    }

    void watchCompositor()
    {
        const xcb_query_extension_reply_t *extension =
                xcb_get_extension_data(m_connection, &xcb_xfixes_id);
        const xcb_window_t root = rootWindow(m_connection, m_screen);
        if (!extension || !extension->present || root == XCB_NONE)
            return;
        // The version the toolkit asks for too, which a client must ask for
        // before its first XFixes request.
        xcb_xfixes_query_version_reply_t *version = xcb_xfixes_query_version_reply(
                m_connection,
                xcb_xfixes_query_version(m_connection, XCB_XFIXES_MAJOR_VERSION,
                                         XCB_XFIXES_MINOR_VERSION),
                nullptr);
        const bool usable = version && version->major_version >= 1;
        std::free(version);
        if (!usable)
            return;
        m_selectionNotify = extension->first_event + XCB_XFIXES_SELECTION_NOTIFY;
        QCoreApplication::instance()->installNativeEventFilter(this);
        xcb_xfixes_select_selection_input(
                m_connection, root, m_compositorSelection,
                XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER
                        | XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY
                        | XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
        // Asked once, after the selection: a change from here on is reported.
        m_composited = compositorRuns();
        m_watching = true;
    }

    WindowState *track(WId id)
    {
        QWindow *window = m_ids.value(id);
        if (!window) {
            window = findWindow(id);
            if (!window)
                return nullptr;
            m_ids.insert(id, window);
        }
        WindowState *&state = m_states[window];
        if (!state) {
            state = new WindowState;
            state->window = window;
            state->above = window->flags().testFlag(Qt::WindowStaysOnTopHint);
            window->installEventFilter(this);
            QObject::connect(window, &QObject::destroyed, this, [this, window] { forget(window); });
        }
        return state;
    }

    void forget(QWindow *window)
    {
        delete m_states.take(window);
        for (auto it = m_ids.begin(); it != m_ids.end();)
            it = it.value() == window ? m_ids.erase(it) : std::next(it);
    }

    // Through the toolkit's own flags, which change _NET_WM_STATE_ABOVE on
    // the mapped window without hiding it (unlike QWidget::setWindowFlag).
    void applyFlags(const WindowState &state)
    {
        QWindow *window = state.window;
        Qt::WindowFlags flags = window->flags();
        flags.setFlag(Qt::WindowStaysOnTopHint, state.above);
        flags.setFlag(Qt::WindowTransparentForInput, state.clickThrough);
        if (flags != window->flags())
            window->setFlags(flags);
    }

    void applyInputShape(const WindowState &state)
    {
        const xcb_window_t window = xcb_window_t(state.window->winId());
        if (state.clickThrough) {
            xcb_shape_rectangles(m_connection, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT,
                                 XCB_CLIP_ORDERING_UNSORTED, window, 0, 0, 0, nullptr);
        } else {
            // No shape at all rather than a rectangle of today's size, so the
            // whole window takes clicks however it grows.
            xcb_shape_mask(m_connection, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT, window, 0, 0,
                           XCB_NONE);
        }
    }

    void applyBlur(QWindow *window)
    {
        const xcb_window_t id = xcb_window_t(window->winId());
        if (!m_states.value(window)->blur) {
            xcb_delete_property(m_connection, id, m_blurRegion);
            return;
        }
        const qreal ratio = window->devicePixelRatio();
        const quint32 region[4] = { 0, 0, quint32(window->width() * ratio),
                                    quint32(window->height() * ratio) };
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, id, m_blurRegion,
                            XCB_ATOM_CARDINAL, 32, 4, region);
    }

    xcb_connection_t *m_connection;
    const int m_screen;
    const xcb_atom_t m_compositorSelection;
    const xcb_atom_t m_blurRegion;
    bool m_watching = false;
    bool m_composited = false;
    int m_selectionNotify = -1;
    QHash<WId, QWindow *> m_ids;
    QHash<QWindow *, WindowState *> m_states;
};

} // namespace

GlassBackend *createXcbBackend()
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return createNullBackend();
    return new XcbBackend(x11->connection());
}
