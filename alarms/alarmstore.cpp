#include "alarmstore.h"

#include "inifile.h"
#include "tables.h"
#include "userfiles.h"

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
        if (!IniFile::readBool(value, &settings->muted))
            return QStringLiteral("%1 must be true or false, not %2").arg(key, IniFile::quoted(value));
        return {};
    }

    QStringList items;
    if (!IniFile::readList(value, &items))
        return QStringLiteral("%1 holds no text").arg(key);
    if (key == QLatin1String(DestinationsKey) || key == QLatin1String(StopsKey)) {
        const bool gate = key == QLatin1String(DestinationsKey);
        for (const QString &item : items) {
            if (gate ? !knownPlace(moongateDestinations, item) : !knownPlace(merchantLocations, item))
                return QStringLiteral("%1: \"%2\" is not a %3").arg(key, IniFile::shortened(item),
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
        return QStringLiteral("%1 is not a setting").arg(IniFile::shortened(key));
    const AlarmEvent event = AlarmEvent(lead - std::begin(LeadKeys));
    for (const QString &item : items) {
        bool ok = false;
        const int minutes = item.toInt(&ok);
        if (!ok || minutes < 0 || minutes > MaxLeadMinutes)
            return QStringLiteral("%1: \"%2\" is not a number of minutes from 0 to %3")
                    .arg(key, IniFile::shortened(item)).arg(MaxLeadMinutes);
        settings->setLead(event, minutes, true);
    }
    return {};
}

void writeSettings(QSettings &file, const AlarmSettings &settings)
{
    file.setValue(QLatin1String(MutedKey), settings.muted ? QStringLiteral("true") : QStringLiteral("false"));
    for (int e = 0; e < AlarmEventCount; ++e) {
        QStringList minutes;
        for (int m = 0; m <= MaxLeadMinutes; ++m) {
            if (settings.hasLead(AlarmEvent(e), m))
                minutes << QString::number(m);
        }
        IniFile::writeList(file, QLatin1String(LeadKeys[e]), minutes);
    }
    IniFile::writeList(file, QLatin1String(DestinationsKey), settings.gateDestinations);
    IniFile::writeList(file, QLatin1String(StopsKey), settings.merchantStops);
}

} // namespace

namespace AlarmStore {

QString fileName()
{
    return userFilesFolder() + QStringLiteral("/alarms.ini");
}

AlarmSettings load(QString *problem, bool *kept)
{
    bool ignored;
    AlarmSettings settings;
    const bool read = IniFile::load(fileName(), [&](const QSettings &file) {
        const QStringList keys = file.allKeys();
        for (const QString &key : keys) {
            if (QString why = readKey(file, key, &settings); !why.isEmpty())
                return why;
        }
        return QString();
    }, problem, kept ? kept : &ignored);
    return read ? settings : AlarmSettings();
}

bool save(const AlarmSettings &settings, QString *problem)
{
    return IniFile::save(fileName(), [&](QSettings &file) { writeSettings(file, settings); }, problem);
}

bool saveKeeping(const AlarmSettings &settings, bool *keepFirst, const QDateTime &started,
                 QString *copy, QString *problem)
{
    return IniFile::saveKeeping(fileName(), [&](QSettings &file) { writeSettings(file, settings); },
                                keepFirst, started, copy, problem);
}

} // namespace AlarmStore
