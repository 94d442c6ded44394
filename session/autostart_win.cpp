#include "autostart.h"

#include "version.h"

#include <QCoreApplication>
#include <QDir>
#include <QSettings>

namespace {

const QString RunKey =
        QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");
const QString ValueName = QStringLiteral(TIMER_RUN_VALUE);

// The installer writes the same command for its copy.
QString command()
{
    return QStringLiteral("\"%1\" %2")
            .arg(QDir::toNativeSeparators(QCoreApplication::applicationFilePath()),
                 Autostart::argument());
}

} // namespace

bool Autostart::isEnabled()
{
    return QSettings(RunKey, QSettings::NativeFormat).contains(ValueName);
}

bool Autostart::setEnabled(bool enabled, QString *problem)
{
    QSettings run(RunKey, QSettings::NativeFormat);
    if (enabled)
        run.setValue(ValueName, command());
    else
        run.remove(ValueName);
    run.sync();
    if (run.status() == QSettings::NoError)
        return true;
    *problem = QStringLiteral("the registry value %1\\%2 could not be %3")
                       .arg(RunKey, ValueName,
                            enabled ? QStringLiteral("written") : QStringLiteral("removed"));
    return false;
}
