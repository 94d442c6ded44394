#ifndef USERFILES_H
#define USERFILES_H

#include <QString>

// The folder of the clock's files in the user's configuration folder:
// $XDG_CONFIG_HOME/tarvenel-timer (~/.config when it is unset) on Linux,
// %APPDATA%\tarvenel-timer on Windows. Asking reads and creates nothing,
// so that a file's type can be checked before anything opens it.
QString userFilesFolder();

#endif
