#ifndef ALARMSTORE_H
#define ALARMSTORE_H

#include "alarms.h"

class QDateTime;

// The alarms between runs: an INI file in the user's configuration folder
// (README.md lists its keys), read once at start and written only when the
// user changes an alarm.
namespace AlarmStore {

QString fileName();

// The alarms of the file, or none when there is no file. A file that cannot
// be read, or that holds anything but the known keys with valid values,
// leaves every alarm off and says why in *problem; it is not touched. Only
// a regular file (or a link to one) is opened. *kept tells whether the file
// held bytes that a save would lose: the player's, in a file that could be
// read but not taken as alarms.
AlarmSettings load(QString *problem, bool *kept = nullptr);

// Replaces the file's contents; false, and why in *problem, when it cannot.
bool save(const AlarmSettings &settings, QString *problem);

// save(), after keeping the player's bytes of a file load() could not take
// beside it, once (IniFile::saveKeeping()).
bool saveKeeping(const AlarmSettings &settings, bool *keepFirst, const QDateTime &started,
                 QString *copy, QString *problem);

} // namespace AlarmStore

#endif
