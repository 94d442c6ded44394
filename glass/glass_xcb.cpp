#include "glassbackend_p.h"
#include "glowtext_p.h"

#include <QGuiApplication>
#include <QHash>
#include <QPointer>
#include <QWindow>

#include <xcb/shape.h>
#include <xcb/xcb.h>

#include <cstdlib>

namespace {

enum { ModeNone = 0, ModeBlurBehind = 1 };

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

class XcbBackend : public QObject, public GlassBackend
{
public:
    explicit XcbBackend(xcb_connection_t *connection)
        : m_connection(connection),
          m_compositorSelection(internAtom(connection, "_NET_WM_CM_S" + QByteArray::number(defaultScreen()))),
          m_blurRegion(internAtom(connection, "_KDE_NET_WM_BLUR_BEHIND_REGION"))
    {
    }

    ~XcbBackend() override { qDeleteAll(m_states); }

    bool isCompositionEnabled() override
    {
        // Asked every time: a compositor may start or stop at any moment.
        xcb_get_selection_owner_reply_t *reply = xcb_get_selection_owner_reply(
                m_connection, xcb_get_selection_owner(m_connection, m_compositorSelection), nullptr);
        const bool owned = reply && reply->owner != XCB_NONE;
        std::free(reply);
        return owned;
    }

    void setGlass(WId id, int mode) override
    {
        if (mode != ModeNone && mode != ModeBlurBehind)
            return;
        if (!isCompositionEnabled())
            return;
        WindowState *state = track(id);
        if (!state)
            return;
        state->blur = mode == ModeBlurBehind;
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

    bool drawGlowText(QImage &image, const QRect &box, const QString &text,
                      const QFont &font) override
    {
        ::drawGlowText(image, box, text, font);
        return true;
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
    WindowState *track(WId id)
    {
        QWindow *window = m_ids.value(id);
        if (!window) {
            const QWindowList windows = QGuiApplication::allWindows();
            for (QWindow *candidate : windows) {
                if (candidate->handle() && candidate->winId() == id) {
                    window = candidate;
                    break;
                }
            }
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
    const xcb_atom_t m_compositorSelection;
    const xcb_atom_t m_blurRegion;
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
