#include "autostart.h"

#include "desktopentry.h"
#include "version.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTextStream>

namespace {

QString entryFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
            + QStringLiteral("/autostart");
}

// Named after the application id, so that only the clock's own entry is
// ever read, written or removed.
QString entryPath()
{
    return entryFolder() + QStringLiteral("/" TIMER_APP_ID ".desktop");
}

QByteArray entry()
{
    const QStringList command { QCoreApplication::applicationFilePath(), Autostart::argument() };
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Tarvenel Timer\n"
                          "Name[ko]=타르베넬 타이머\n"
                          "Exec=%1\n"
                          "Icon=" TIMER_APP_ID "\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n")
            .arg(desktopEntryExec(command))
            .toUtf8();
}

// A user who turned the entry off in the desktop's settings may have left
// it in place, marked hidden.
bool isHidden(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    QTextStream lines(&file);
    bool inEntry = false;
    QString line;
    while (lines.readLineInto(&line)) {
        line = line.trimmed();
        if (line.startsWith(u'['))
            inEntry = line == QLatin1String("[Desktop Entry]");
        else if (inEntry && line.section(u'=', 0, 0).trimmed() == QLatin1String("Hidden"))
            return line.section(u'=', 1).trimmed() == QLatin1String("true");
    }
    return false;
}

bool writeEntry(QString *problem)
{
    const QString path = entryPath();
    if (!QDir().mkpath(entryFolder())) {
        *problem = QStringLiteral("the autostart folder %1 could not be made").arg(entryFolder());
        return false;
    }
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(entry()) >= 0 && file.commit())
        return true;
    *problem = QStringLiteral("the autostart entry %1 could not be written: %2")
                       .arg(path, file.errorString());
    return false;
}

bool removeEntry(QString *problem)
{
    QFile file(entryPath());
    if (!QFileInfo::exists(file.fileName()) || file.remove())
        return true;
    *problem = QStringLiteral("the autostart entry %1 could not be removed: %2")
                       .arg(file.fileName(), file.errorString());
    return false;
}

} // namespace

bool Autostart::isEnabled()
{
    const QString path = entryPath();
    return QFileInfo(path).isFile() && !isHidden(path);
}

bool Autostart::setEnabled(bool enabled, QString *problem)
{
    return enabled ? writeEntry(problem) : removeEntry(problem);
}
