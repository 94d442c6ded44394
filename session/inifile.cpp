#include "inifile.h"
#include "report.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSettings>
#include <QTemporaryDir>

namespace {

// Editors may put a byte-order mark first, and people write "#" comments as
// often as ";" ones; the toolkit's parser takes neither, so it gets the file
// without the mark and with every "#" comment made a ";" one.
QByteArray asTheParserTakesIt(QByteArray bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    QList<QByteArray> lines = bytes.split('\n');
    for (QByteArray &line : lines) {
        qsizetype at = 0;
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t'))
            ++at;
        if (at < line.size() && line[at] == '#')
            line[at] = ';';
    }
    return lines.join('\n');
}

// QSettings passes over the lines it cannot make sense of, where a hand's
// slip would then go unseen; here they make the file one it cannot parse.
bool wellFormed(const QByteArray &bytes)
{
    for (const QByteArray &line : bytes.split('\n')) {
        const QByteArray text = line.trimmed();
        if (!text.isEmpty() && !text.startsWith(';') && !text.contains('=')
            && !(text.startsWith('[') && text.endsWith(']')))
            return false;
    }
    return true;
}

// The toolkit parses and writes INI text only in files. Both are done in a
// file of the same name in a folder of the call's own, so that nothing
// reads or replaces what stands at the user's file's place (a FIFO there
// would block), and so that the toolkit may write it anew under its name,
// which Windows allows only for a file that no one holds open.
QString scratchName(const QTemporaryDir &folder, const QString &fileName)
{
    return folder.filePath(QFileInfo(fileName).fileName());
}

} // namespace

namespace IniFile {

bool load(const QString &fileName, const std::function<QString(const QSettings &)> &readValues,
          QString *problem, bool *kept)
{
    problem->clear();
    *kept = false;
    // Asking for the name creates nothing: a run that changes nothing leaves
    // no trace.
    const QFileInfo info(fileName);
    if (!info.exists() && !info.isSymLink())
        return true;

    // Only a regular file is opened: a FIFO would block the start for good,
    // a device would never end.
    QFile raw(info.filePath());
    if (!info.isFile() || !raw.open(QIODevice::ReadOnly)) {
        *problem = QStringLiteral("%1: it cannot be read").arg(shownPath(info.filePath()));
        return false;
    }
    const QByteArray bytes = asTheParserTakesIt(raw.readAll());
    const QTemporaryDir folder;
    QFile scratch(scratchName(folder, fileName));
    QString why;
    if (!folder.isValid() || !scratch.open(QIODevice::WriteOnly) || scratch.write(bytes) != bytes.size()
        || !scratch.flush()) {
        why = QStringLiteral("it cannot be read");
    } else {
        const QSettings file(scratch.fileName(), QSettings::IniFormat);
        // QSettings tells of a file it could not parse only once it has read it.
        file.allKeys();
        if (file.status() == QSettings::AccessError)
            why = QStringLiteral("it cannot be read");
        else if (file.status() == QSettings::FormatError || !wellFormed(bytes))
            why = QStringLiteral("it cannot be parsed");
        else
            why = readValues(file);
    }
    if (why.isEmpty())
        return true;
    // The bytes were the player's, and a save would lose them.
    *kept = true;
    *problem = QStringLiteral("%1: %2").arg(shownPath(info.filePath()), why);
    return false;
}

bool save(const QString &fileName, const std::function<void(QSettings &)> &writeValues,
          QString *problem)
{
    problem->clear();
    // Made in the scratch file, then put in the file's place whole.
    const QTemporaryDir folder;
    const QString made = scratchName(folder, fileName);
    if (folder.isValid()) {
        QSettings file(made, QSettings::IniFormat);
        writeValues(file);
    }
    QFile written(made);
    const QByteArray bytes = written.open(QIODevice::ReadOnly) ? written.readAll() : QByteArray();
    QDir().mkpath(QFileInfo(fileName).path());
    QSaveFile target(fileName);
    if (!bytes.isEmpty() && target.open(QIODevice::WriteOnly) && target.write(bytes) == bytes.size()
        && target.commit())
        return true;
    *problem = QStringLiteral("%1: it cannot be written").arg(shownPath(fileName));
    return false;
}

bool saveKeeping(const QString &fileName, const std::function<void(QSettings &)> &writeValues,
                 bool *keepFirst, const QDateTime &started, QString *copy, QString *problem)
{
    copy->clear();
    if (*keepFirst) {
        *copy = keepCopy(fileName, problem);
        if (copy->isEmpty())
            return false;
        *keepFirst = false;
    }
    removeLeftovers(fileName, started);
    return save(fileName, writeValues, problem);
}

QString keepCopy(const QString &fileName, QString *problem)
{
    problem->clear();
    const QString stem = fileName + QStringLiteral(".broken-")
            + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString copy = stem;
    for (int n = 2; QFileInfo::exists(copy) || QFileInfo(copy).isSymLink(); ++n)
        copy = stem + QLatin1Char('-') + QString::number(n);
    if (QFile::copy(fileName, copy))
        return copy;
    *problem = QStringLiteral("%1: its contents cannot be kept in %2, so it is not replaced")
                       .arg(shownPath(fileName), shownPath(copy));
    return {};
}

void removeLeftovers(const QString &fileName, const QDateTime &before)
{
    const QFileInfo file(fileName);
    // The temporary copies a save writes first: the file's name and six
    // random letters or digits.
    const QRegularExpression leftover(
            QLatin1Char('^') + QRegularExpression::escape(file.fileName()) + QStringLiteral("\\.[A-Za-z0-9]{6}$"));
    const QFileInfoList entries = file.dir().entryInfoList(QDir::Files | QDir::Hidden);
    for (const QFileInfo &entry : entries) {
        if (leftover.match(entry.fileName()).hasMatch() && entry.lastModified() < before)
            QFile::remove(entry.filePath());
    }
}

QString shortened(const QString &text)
{
    constexpr int MaxQuoted = 200;
    return text.size() <= MaxQuoted ? text : text.left(MaxQuoted) + QStringLiteral("…");
}

QString quoted(const QVariant &value)
{
    return QLatin1Char('"') + shortened(value.toStringList().join(QStringLiteral(", "))) + QLatin1Char('"');
}

bool readList(const QVariant &value, QStringList *items)
{
    const int type = value.metaType().id();
    if (type != QMetaType::QString && type != QMetaType::QStringList)
        return false;
    items->clear();
    for (const QString &part : value.toStringList().join(QLatin1Char(',')).split(QLatin1Char(','))) {
        const QString item = part.trimmed();
        if (!item.isEmpty())
            items->append(item);
    }
    return true;
}

void writeList(QSettings &file, const QString &key, const QStringList &items)
{
    if (items.isEmpty())
        file.setValue(key, QString());
    else
        file.setValue(key, items);
}

bool readBool(const QVariant &value, bool *on)
{
    const QString text = value.toString();
    if (value.metaType().id() != QMetaType::QString
        || (text != QLatin1String("true") && text != QLatin1String("false")))
        return false;
    *on = text == QLatin1String("true");
    return true;
}

} // namespace IniFile
