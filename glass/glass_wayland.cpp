#include "glassbackend_p.h"

#include <QGuiApplication>
#include <QWindow>

namespace {

// Every Wayland compositor composites. There is no blur protocol in the
// toolkit, and keeping a window above others is up to the compositor.
class WaylandBackend : public GlassBackend
{
public:
    bool isCompositionEnabled() override { return true; }

    // What the toolkit's Wayland plugin sends for each mode, read from the
    // protocol log under weston: nothing for the stays-on-top flag, no input
    // region for the click-through flag, and it refuses window opacity.
    bool isSupported(GLASS_FEATURE feature) override
    {
        switch (feature) {
        case GLASS_TOPMOST:
        case GLASS_CLICKTHROUGH:
        case GLASS_OPACITY:
            return false;
        }
        return true;
    }

    void setGlass(WId, GLASS_MODE) override {}

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
};

} // namespace

GlassBackend *createWaylandBackend()
{
    return new WaylandBackend;
}
