#include "userfiles.h"

#include <QDir>

// The roaming application data, where the toolkit's settings go too.
QString userFilesFolder()
{
    return QDir::fromNativeSeparators(qEnvironmentVariable("APPDATA"))
            + QStringLiteral("/tarvenel-timer");
}
