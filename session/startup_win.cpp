#include "startup.h"

// Windows has one window system.
QByteArray StartupGuard::offeredPlatforms()
{
    return {};
}
