#include "alarmstore.h"

#include "tables.h"
#include "userfiles.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSettings>
#include <QTemporaryDir>

#include <algorithm>

namespace {

// The key of each event's lead times, in the order of AlarmEvent.
const char *const LeadKeys[AlarmEventCount] = {
    "moongate/opens", "moongate/closes", "job/starts", "merchant/moves", "second-merchant/appears",
};
const char MutedKey[] = "muted";
const char DestinationsKey[] = "moongate/destinations";
const char StopsKey[] = "merchant/stops";

// The toolkit parses and writes INI text only in files. Both are done in a
// file of this name in a folder of the call's own, so that nothing reads or
// replaces what stands at the user's file's place (a FIFO there would
// block), and so that the toolkit may write it anew under its name, which
// Windows allows only for a file that no one holds open.
const QString ScratchName = QStringLiteral("alarms.ini");

// A list as the file has it: "a, b" unquoted reads as a list, quoted as one
// text; either way the items are what the commas separate.
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

// What a message quotes of the file: enough to find it, never a huge line.
QString shortened(const QString &text)
{
    constexpr int MaxQuoted = 200;
    return text.size() <= MaxQuoted ? text : text.left(MaxQuoted) + QStringLiteral("…");
}

QString quoted(const QVariant &value)
{
    return QLatin1Char('"') + shortened(value.toStringList().join(QStringLiteral(", "))) + QLatin1Char('"');
}

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

template<std::size_t N>
bool knownPlace(const std::array<QString, N> &table, const QString &name)
{
    return std::find(table.begin(), table.end(), name) != table.end();
}

// The value of `key` read into settings, or why it cannot be.
QString readKey(const QSettings &file, const QString &key, AlarmSettings *settings)
{
    const QVariant value = file.value(key);
    if (key == QLatin1String(MutedKey)) {
        const QString text = value.toString();
        if (value.metaType().id() != QMetaType::QString
            || (text != QLatin1String("true") && text != QLatin1String("false")))
            return QStringLiteral("%1 must be true or false, not %2").arg(key, quoted(value));
        settings->muted = text == QLatin1String("true");
        return {};
    }

    QStringList items;
    if (!readList(value, &items))
        return QStringLiteral("%1 holds no text").arg(key);
    if (key == QLatin1String(DestinationsKey) || key == QLatin1String(StopsKey)) {
        const bool gate = key == QLatin1String(DestinationsKey);
        for (const QString &item : items) {
            if (gate ? !knownPlace(moongateDestinations, item) : !knownPlace(merchantLocations, item))
                return QStringLiteral("%1: \"%2\" is not a %3").arg(key, shortened(item),
                        gate ? QStringLiteral("destination of the moongate")
                             : QStringLiteral("stop of the merchant"));
            QStringList &list = gate ? settings->gateDestinations : settings->merchantStops;
            if (!list.contains(item))
                list.append(item);
        }
        return {};
    }

    const auto lead = std::find_if(std::begin(LeadKeys), std::end(LeadKeys),
                                   [&](const char *k) { return key == QLatin1String(k); });
    if (lead == std::end(LeadKeys))
        return QStringLiteral("%1 is not a setting").arg(shortened(key));
    const AlarmEvent event = AlarmEvent(lead - std::begin(LeadKeys));
    for (const QString &item : items) {
        bool ok = false;
        const int minutes = item.toInt(&ok);
        if (!ok || minutes < 0 || minutes > MaxLeadMinutes)
            return QStringLiteral("%1: \"%2\" is not a number of minutes from 0 to %3")
                    .arg(key, shortened(item)).arg(MaxLeadMinutes);
        settings->setLead(event, minutes, true);
    }
    return {};
}

void writeList(QSettings &file, const char *key, const QStringList &items)
{
    // A list of one item or more is written unquoted, "a, b"; none as empty.
    if (items.isEmpty())
        file.setValue(QLatin1String(key), QString());
    else
        file.setValue(QLatin1String(key), items);
}

} // namespace

namespace AlarmStore {

QString fileName()
{
    return userFilesFolder() + QStringLiteral("/alarms.ini");
}

AlarmSettings load(QString *problem, bool *kept)
{
    problem->clear();
    bool ignored;
    if (!kept)
        kept = &ignored;
    *kept = false;
    // Asking for the name creates nothing: a run without alarms leaves no trace.
    const QFileInfo info(fileName());
    if (!info.exists() && !info.isSymLink())
        return {};

    // Only a regular file is opened: a FIFO would block the start for good,
    // a device would never end.
    QFile raw(info.filePath());
    if (!info.isFile() || !raw.open(QIODevice::ReadOnly)) {
        *problem = QStringLiteral("%1: it cannot be read").arg(info.filePath());
        return {};
    }
    const QByteArray bytes = asTheParserTakesIt(raw.readAll());
    const QTemporaryDir folder;
    QFile scratch(folder.filePath(ScratchName));
    QString why;
    AlarmSettings settings;
    if (!folder.isValid() || !scratch.open(QIODevice::WriteOnly) || scratch.write(bytes) != bytes.size()
        || !scratch.flush()) {
        why = QStringLiteral("it cannot be read");
    } else {
        const QSettings file(scratch.fileName(), QSettings::IniFormat);
        // QSettings tells of a file it could not parse only once it has read it.
        const QStringList keys = file.allKeys();
        if (file.status() == QSettings::AccessError)
            why = QStringLiteral("it cannot be read");
        else if (file.status() == QSettings::FormatError || !wellFormed(bytes))
            why = QStringLiteral("it cannot be parsed");
        for (auto key = keys.begin(); why.isEmpty() && key != keys.end(); ++key)
            why = readKey(file, *key, &settings);
    }
    if (why.isEmpty())
        return settings;
    // The bytes were the player's, and a save would lose them.
    *kept = true;
    *problem = QStringLiteral("%1: %2").arg(info.filePath(), why);
    return {};
}

QString keepCopy(QString *problem)
{
    problem->clear();
    const QString name = fileName();
    const QString stem = name + QStringLiteral(".broken-")
            + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString copy = stem;
    for (int n = 2; QFileInfo::exists(copy) || QFileInfo(copy).isSymLink(); ++n)
        copy = stem + QLatin1Char('-') + QString::number(n);
    if (QFile::copy(name, copy))
        return copy;
    *problem = QStringLiteral("%1: its contents cannot be kept in %2, so it is not replaced")
                       .arg(name, copy);
    return {};
}

void removeLeftovers(const QDateTime &before)
{
    const QFileInfo file(fileName());
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

bool save(const AlarmSettings &settings, QString *problem)
{
    problem->clear();
    // Made in the scratch file, then put in the file's place whole.
    const QTemporaryDir folder;
    const QString made = folder.filePath(ScratchName);
    if (folder.isValid()) {
        QSettings file(made, QSettings::IniFormat);
        file.setValue(QLatin1String(MutedKey), settings.muted ? QStringLiteral("true") : QStringLiteral("false"));
        for (int e = 0; e < AlarmEventCount; ++e) {
            QStringList minutes;
            for (int m = 0; m <= MaxLeadMinutes; ++m) {
                if (settings.hasLead(AlarmEvent(e), m))
                    minutes << QString::number(m);
            }
            writeList(file, LeadKeys[e], minutes);
        }
        writeList(file, DestinationsKey, settings.gateDestinations);
        writeList(file, StopsKey, settings.merchantStops);
    }
    QFile written(made);
    const QByteArray bytes = written.open(QIODevice::ReadOnly) ? written.readAll() : QByteArray();
    const QString name = fileName();
    QDir().mkpath(QFileInfo(name).path());
    QSaveFile target(name);
    if (!bytes.isEmpty() && target.open(QIODevice::WriteOnly) && target.write(bytes) == bytes.size()
        && target.commit())
        return true;
    *problem = QStringLiteral("%1: it cannot be written").arg(name);
    return false;
}

} // namespace AlarmStore
