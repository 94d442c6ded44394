#ifndef DESKTOPENTRY_H
#define DESKTOPENTRY_H

#include <QStringList>

// The value of a desktop entry's Exec key that runs command (the program,
// then its arguments) as it is: arguments with reserved characters quoted,
// and the quoting's backslashes escaped once more for the file's string
// rules, as a launcher reads them.
QString desktopEntryExec(const QStringList &command);

#endif
