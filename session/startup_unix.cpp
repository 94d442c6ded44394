#include "startup.h"

#include <QByteArrayList>
#include <QtGlobal>

// X first where the session offers it, so that every window mode works.
QByteArray StartupGuard::offeredPlatforms()
{
    QByteArrayList offered;
    if (!qEnvironmentVariableIsEmpty("DISPLAY"))
        offered.append("xcb");
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        offered.append("wayland");
    return offered.join(';');
}
