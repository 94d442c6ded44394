#ifndef ICONS_H
#define ICONS_H

#include <QIcon>

// The icon in an .ico file, every image of it keeping its transparency.
QIcon loadIcon(const QString &path);

#endif
