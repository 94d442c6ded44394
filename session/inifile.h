#ifndef INIFILE_H
#define INIFILE_H

#include <QString>

#include <functional>

class QDateTime;
class QSettings;
class QVariant;

// The player's INI files, read and written the same careful way: only a
// regular file (or a link to one) is opened, the toolkit parses and writes
// in a scratch copy so that nothing blocks on or replaces what stands at the
// file's place, and a save puts the new contents there whole.
namespace IniFile {

// Reads the file and hands it, parsed, to readValues, which returns the
// first value it cannot take, or nothing. False, and "<file>: why" in
// *problem, when the file cannot be read, parsed or taken; *kept then tells
// whether it held bytes of the player's that a save would lose. A missing
// file reads as one without keys: readValues is not called.
bool load(const QString &fileName, const std::function<QString(const QSettings &)> &readValues,
          QString *problem, bool *kept);

// Replaces the file's contents with what writeValues sets; false, and why
// in *problem, when it cannot.
bool save(const QString &fileName, const std::function<void(QSettings &)> &writeValues,
          QString *problem);

// save(), for a file that load() may have found holding the player's
// bytes: while *keepFirst, they are first copied beside it (keepCopy(), its
// name in *copy) and nothing is written if they cannot be. Temporary
// copies older than `started` go first.
bool saveKeeping(const QString &fileName, const std::function<void(QSettings &)> &writeValues,
                 bool *keepFirst, const QDateTime &started, QString *copy, QString *problem);

// Copies the file beside itself, as "<name>.broken-YYYYMMDD-HHMMSS", never
// over an earlier copy; the copy's name, or empty and why in *problem.
QString keepCopy(const QString &fileName, QString *problem);

// Removes the temporary copies that saves cut off by a kill left behind,
// those last written before the given time.
void removeLeftovers(const QString &fileName, const QDateTime &before);

// What a message quotes of the file: enough to find it, never a huge line.
QString shortened(const QString &text);
QString quoted(const QVariant &value);

// A list as the file has it: "a, b" unquoted reads as a list, quoted as one
// text; either way the items are what the commas separate. False for a
// value that holds no text.
bool readList(const QVariant &value, QStringList *items);

// A list of one item or more is written unquoted, "a, b", so that
// readList() takes it back; none as empty.
void writeList(QSettings &file, const QString &key, const QStringList &items);

// true or false, as the file spells them; false when it is neither.
bool readBool(const QVariant &value, bool *on);

} // namespace IniFile

#endif
