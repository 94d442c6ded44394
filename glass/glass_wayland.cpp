#include "glassbackend_p.h"
#include "glowtext_p.h"

#include <QGuiApplication>
#include <QWindow>

namespace {

QWindow *findWindow(WId id)
{
    const QWindowList windows = QGuiApplication::allWindows();
    for (QWindow *window : windows) {
        if (window->handle() && window->winId() == id)
            return window;
    }
    return nullptr;
}

// Every Wayland compositor composites. There is no blur protocol in the
// toolkit, and keeping a window above others is up to the compositor.
class WaylandBackend : public GlassBackend
{
public:
    bool isCompositionEnabled() override { return true; }

    void setGlass(WId, int) override {}

    void setTopmost(WId id, bool topmost) override
    {
        if (QWindow *window = findWindow(id))
            window->setFlag(Qt::WindowStaysOnTopHint, topmost);
    }

    void setTransparent(WId id, bool topmost, bool transparent) override
    {
        QWindow *window = findWindow(id);
        if (!window)
            return;
        window->setFlag(Qt::WindowTransparentForInput, transparent);
        window->setFlag(Qt::WindowStaysOnTopHint, transparent || topmost);
        window->setOpacity(1.0);
    }

    bool drawGlowText(QImage &image, const QRect &box, const QString &text,
                      const QFont &font) override
    {
        ::drawGlowText(image, box, text, font);
        return true;
    }
};

} // namespace

GlassBackend *createWaylandBackend()
{
    return new WaylandBackend;
}
