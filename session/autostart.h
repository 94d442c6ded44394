#ifndef AUTOSTART_H
#define AUTOSTART_H

#include <QString>

// Starting the clock with the user's desktop session: an entry in the XDG
// autostart folder on Linux, a value under the user's Run key on Windows
// (autostart_<platform>.cpp). The entry starts the binary that is running
// now, wherever it is, with argument().
namespace Autostart {

// What the desktop's start passes, so that the clock can tell it from the
// user's own starts.
inline QString argument()
{
    return QStringLiteral("--autostart");
}

bool isEnabled();

// Adds or removes the entry. On failure returns false and sets *problem
// to one English sentence naming the path it could not change.
bool setEnabled(bool enabled, QString *problem);

} // namespace Autostart

#endif
