#ifndef GLASSBACKEND_P_H
#define GLASSBACKEND_P_H

#include "glass.h"

class QFont;
class QImage;
class QRect;
class QString;
class QWindow;

// What one windowing system offers. Every operation degrades quietly: a
// backend that cannot do something does nothing and reports composition off.
class GlassBackend
{
public:
    virtual ~GlassBackend() = default;

    virtual bool isCompositionEnabled() = 0;
    virtual void setGlass(WId window, GLASS_MODE mode) = 0;
    virtual void setTopmost(WId window, bool topmost) = 0;
    virtual void setTransparent(WId window, bool topmost, bool transparent) = 0;
    // A backend that cannot tell claims nothing is refused.
    virtual bool isSupported(GLASS_FEATURE) { return true; }

    // Draws text with a glow into an image already filled with the background
    // (premultiplied ARGB32), inside box. Returns false, drawing nothing, when
    // the platform has no renderer for it. By default the toolkit draws it.
    virtual bool drawGlowText(QImage &image, const QRect &box, const QString &text,
                              const QFont &font);

protected:
    // The toolkit's window behind a native id, when the toolkit made it.
    static QWindow *findWindow(WId id);
};

// Chooses the backend for the Qt platform in use.
GlassBackend *createGlassBackend();

// The quiet one, for platforms without a window system to ask.
GlassBackend *createNullBackend();

#endif
