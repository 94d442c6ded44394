// The Windows backend: a thin Qt wrapper over glass_win_native, where all the
// Win32 work (and its testing) lives.

#include "glass_win_native.h"
#include "glassbackend_p.h"

#include <QtCore/QString>
#include <QtGui/QFont>
#include <QtGui/QGuiApplication>
#include <QtGui/QImage>
#include <QtGui/QWindow>

#include <cmath>

namespace {

HWND toHwnd(WId window)
{
    return reinterpret_cast<HWND>(window);
}

LONG fontHeight(const QFont &font)
{
    // Negative: a character height, the way Qt's own sizes are meant.
    if (font.pixelSize() > 0)
        return -font.pixelSize();
    int dpi = 96;
    if (HDC screen = GetDC(nullptr)) {
        dpi = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
    }
    return -LONG(std::lround(font.pointSizeF() * dpi / 72.0));
}

HFONT createFont(const QFont &font)
{
    LOGFONTW logFont = {};
    logFont.lfHeight = fontHeight(font);
    // Qt 6 weights are on the same 100..900 scale as FW_*.
    logFont.lfWeight = font.weight();
    logFont.lfItalic = font.italic();
    logFont.lfUnderline = font.underline();
    logFont.lfStrikeOut = font.strikeOut();
    logFont.lfCharSet = DEFAULT_CHARSET;
    logFont.lfOutPrecision = OUT_DEFAULT_PRECIS;
    logFont.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    logFont.lfQuality = CLEARTYPE_QUALITY;
    logFont.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
    // Zero-filled above, so the name stays terminated.
    font.family().left(LF_FACESIZE - 1).toWCharArray(logFont.lfFaceName);
    return CreateFontIndirectW(&logFont);
}

// Qt keeps its own idea of a window's styles and applies it again whenever
// it touches the window: at opacity 1.0 it drops WS_EX_LAYERED from a window
// it does not know as transparent for input, which would make a
// click-through window take clicks again, and any restyle puts a window with
// the stays-on-top hint back into the topmost band. So its flags learn what
// the native calls have just done. On a shown window Qt restyles the same
// HWND in place and keeps the z-order the native call chose.
void tellQt(QWindow *window, bool topmost, bool clickThrough)
{
    Qt::WindowFlags flags = window->flags();
    flags.setFlag(Qt::WindowStaysOnTopHint, topmost);
    flags.setFlag(Qt::WindowTransparentForInput, clickThrough);
    if (flags != window->flags())
        window->setFlags(flags);
}

class GlassWinBackend : public GlassBackend
{
public:
    GlassWinBackend() : m_api(glassApiCreate()) {}
    ~GlassWinBackend() override { glassApiDestroy(m_api); }

    GlassWinBackend(const GlassWinBackend &) = delete;
    GlassWinBackend &operator=(const GlassWinBackend &) = delete;

    bool isCompositionEnabled() override { return glassIsCompositionEnabled(m_api); }

    void setGlass(WId window, GLASS_MODE mode) override { glassSetGlass(m_api, toHwnd(window), mode); }

    void setTopmost(WId id, bool topmost) override
    {
        glassSetTopmost(toHwnd(id), topmost);
        if (QWindow *window = findWindow(id))
            tellQt(window, topmost, window->flags().testFlag(Qt::WindowTransparentForInput));
    }

    void setTransparent(WId id, bool topmost, bool transparent) override
    {
        glassSetTransparent(m_api, toHwnd(id), topmost, transparent);
        if (QWindow *window = findWindow(id)) {
            tellQt(window, transparent || topmost, transparent);
            // The layered alpha is 255 now. Qt learns it too, or it would
            // take a later opacity equal to the one it last set for one
            // already in force and ignore it.
            window->setOpacity(1.0);
        }
    }

    // box is ignored: it is always (5,5)-(width,height) here, and the native
    // side draws into exactly that box.
    bool drawGlowText(QImage &image, const QRect &box, const QString &text,
                      const QFont &font) override
    {
        Q_UNUSED(box);
        // The native side takes tightly packed premultiplied rows, which a
        // 32-bit QImage always has.
        if (image.isNull() || image.format() != QImage::Format_ARGB32_Premultiplied)
            return false;
        HFONT hfont = createFont(font);
        if (!hfont)
            return false;
        const bool drawn = glassDrawGlowText(m_api, hfont,
                                             reinterpret_cast<const wchar_t *>(text.utf16()),
                                             image.width(), image.height(),
                                             reinterpret_cast<unsigned int *>(image.bits()));
        DeleteObject(hfont);
        return drawn;
    }

private:
    GlassApi *m_api;
};

} // namespace

GlassBackend *createGlassWinBackend()
{
    return new GlassWinBackend;
}
