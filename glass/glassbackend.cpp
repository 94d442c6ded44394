#include "glassbackend_p.h"

#include <QGuiApplication>

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
