#include "userfiles.h"

#include <QStandardPaths>

QString userFilesFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
            + QStringLiteral("/tarvenel-timer");
}
