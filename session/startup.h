#ifndef STARTUP_H
#define STARTUP_H

#include <QByteArray>

// What happens before the application object exists: choosing the window
// system, and turning the toolkit's abort when none can be reached into a
// sentence that says what to do.
class StartupGuard
{
public:
    // Where the desktop offers an X server beside Wayland (XWayland), the
    // clock runs on X, where every window mode works, unless the user named
    // a platform with -platform or QT_QPA_PLATFORM.
    StartupGuard(int argc, char **argv);
    ~StartupGuard();

    StartupGuard(const StartupGuard &) = delete;
    StartupGuard &operator=(const StartupGuard &) = delete;

    // Call once the application object is built: the toolkit's messages held
    // back meanwhile go out as they would have.
    void started();

private:
    // The platforms to try, in order, where the user named none
    // (startup_<platform>.cpp); empty leaves the choice to the toolkit.
    static QByteArray offeredPlatforms();
};

#endif
