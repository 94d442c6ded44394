#include "glassbackend_p.h"
#include "glowtext_p.h"

#include <QGuiApplication>
#include <QWindow>

#if defined(GLASS_HAVE_XCB)
GlassBackend *createXcbBackend();
#endif
GlassBackend *createWaylandBackend();
#if defined(Q_OS_WIN)
GlassBackend *createGlassWinBackend();
#endif

GlassBackend *createGlassBackend()
{
    const QString platform = QGuiApplication::platformName();
#if defined(GLASS_HAVE_XCB)
    if (platform == QLatin1String("xcb"))
        return createXcbBackend();
#endif
    if (platform.startsWith(QLatin1String("wayland")))
        return createWaylandBackend();
#if defined(Q_OS_WIN)
    if (platform == QLatin1String("windows"))
        return createGlassWinBackend();
#endif
    return createNullBackend();
}

bool GlassBackend::drawGlowText(QImage &image, const QRect &box, const QString &text,
                                const QFont &font)
{
    ::drawGlowText(image, box, text, font);
    return true;
}

QWindow *GlassBackend::findWindow(WId id)
{
    const QWindowList windows = QGuiApplication::allWindows();
    for (QWindow *window : windows) {
        if (window->handle() && window->winId() == id)
            return window;
    }
    return nullptr;
}
