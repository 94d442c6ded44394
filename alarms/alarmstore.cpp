#include "alarmstore.h"

#include "tables.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <algorithm>

namespace {

// The key of each event's lead times, in the order of AlarmEvent.
const char *const LeadKeys[AlarmEventCount] = {
    "moongate/opens", "moongate/closes", "job/starts", "merchant/moves", "second-merchant/appears",
};
const char MutedKey[] = "muted";
const char DestinationsKey[] = "moongate/destinations";
const char StopsKey[] = "merchant/stops";

// The user's own file, and no system-wide one read beside it.
class UserFile : public QSettings
{
public:
    UserFile()
        : QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("tarvenel-timer"),
                    QStringLiteral("alarms"))
    {
        setFallbacksEnabled(false);
    }
};

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

QString quoted(const QVariant &value)
{
    return QLatin1Char('"') + value.toStringList().join(QStringLiteral(", ")) + QLatin1Char('"');
}

// QSettings passes over the lines it cannot make sense of, where a hand's
// slip would then go unseen; here they make the file one it cannot parse.
bool wellFormed(const QByteArray &bytes)
{
    for (const QByteArray &line : bytes.split('\n')) {
        const QByteArray text = line.trimmed();
        if (!text.isEmpty() && !text.startsWith(';') && !text.startsWith('#') && !text.contains('=')
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
                return QStringLiteral("%1: \"%2\" is not a %3").arg(key, item,
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
        return QStringLiteral("%1 is not a setting").arg(key);
    const AlarmEvent event = AlarmEvent(lead - std::begin(LeadKeys));
    for (const QString &item : items) {
        bool ok = false;
        const int minutes = item.toInt(&ok);
        if (!ok || minutes < 0 || minutes > MaxLeadMinutes)
            return QStringLiteral("%1: \"%2\" is not a number of minutes from 0 to %3")
                    .arg(key, item).arg(MaxLeadMinutes);
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
    return UserFile().fileName();
}

AlarmSettings load(QString *problem)
{
    problem->clear();
    // Asking for the name creates nothing: a run without alarms leaves no trace.
    const QFileInfo info(fileName());
    if (!info.exists())
        return {};

    AlarmSettings settings;
    QString why;
    UserFile file;
    QFile raw(info.filePath());
    // QSettings tells of a file it could not parse only once it has read it.
    const QStringList keys = file.allKeys();
    if (!info.isFile() || file.status() == QSettings::AccessError || !raw.open(QIODevice::ReadOnly))
        why = QStringLiteral("it cannot be read");
    else if (file.status() == QSettings::FormatError || !wellFormed(raw.readAll()))
        why = QStringLiteral("it cannot be parsed");
    for (auto key = keys.begin(); why.isEmpty() && key != keys.end(); ++key)
        why = readKey(file, *key, &settings);
    if (why.isEmpty())
        return settings;
    *problem = QStringLiteral("%1: %2").arg(info.filePath(), why);
    return {};
}

bool save(const AlarmSettings &settings, QString *problem)
{
    problem->clear();
    UserFile file;
    file.clear();
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
    file.sync();
    if (file.status() == QSettings::NoError)
        return true;
    *problem = QStringLiteral("%1: it cannot be written").arg(file.fileName());
    return false;
}

} // namespace AlarmStore
