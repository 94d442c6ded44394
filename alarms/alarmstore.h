#ifndef ALARMSTORE_H
#define ALARMSTORE_H

#include "alarms.h"

// The alarms between runs: an INI file in the user's configuration folder
// (README.md lists its keys), read once at start and written only when the
// user changes an alarm.
namespace AlarmStore {

QString fileName();

// The alarms of the file, or none when there is no file. A file that cannot
// be read, or that holds anything but the known keys with valid values,
// leaves every alarm off and says why in *problem; it is not touched.
AlarmSettings load(QString *problem);

// Replaces the file's contents; false, and why in *problem, when it cannot.
bool save(const AlarmSettings &settings, QString *problem);

} // namespace AlarmStore

#endif
