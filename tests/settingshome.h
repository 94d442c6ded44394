#ifndef SETTINGSHOME_H
#define SETTINGSHOME_H

#include <QDir>
#include <QFile>
#include <QString>

#ifdef Q_OS_WIN
#include <cstdlib>
#endif

// Makes folder the user's configuration folder, on Linux and on Windows.
// On Windows the variable is set in UTF-16, as the program reads it:
// qputenv goes through the C runtime's code page, which turns a Korean
// user's name in the path into question marks.
inline void useSettingsHome(const QString &folder)
{
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder));
#ifdef Q_OS_WIN
    _wputenv_s(L"APPDATA", QDir::toNativeSeparators(folder).toStdWString().c_str());
#endif
}

#endif
