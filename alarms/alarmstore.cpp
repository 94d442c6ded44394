#include "alarmstore.h"

#include "inifile.h"
#include "sounds.h"
#include "tables.h"
#include "userfiles.h"

#include <QDateTime>
#include <QSettings>
#include <QTimeZone>

#include <algorithm>

namespace {

// The key of each event's lead times, in the order of AlarmEvent.
const char *const LeadKeys[AlarmEventCount] = {
    "moongate/opens", "moongate/closes", "job/starts", "merchant/moves", "second-merchant/appears",
};
const char MutedKey[] = "muted";
const char DestinationsKey[] = "moongate/destinations";
const char StopsKey[] = "merchant/stops";
const char VolumeKey[] = "volume";
// Per kind, under the kind's own group ("moongate/sound", ...).
const char SoundKey[] = "sound";
const char SnoozeKey[] = "snoozed-until";
const char SkipKey[] = "skip";

QString kindKey(int kind, const char *key)
{
    return entryKindKey(EntryKind(kind)) + QLatin1Char('/') + QLatin1String(key);
}

// A value written by hand with a comma reads as a list: it is one text here.
bool readText(const QVariant &value, QString *text)
{
    const int type = value.metaType().id();
    if (type != QMetaType::QString && type != QMetaType::QStringList)
        return false;
    *text = value.toStringList().join(QLatin1Char(',')).trimmed();
    return true;
}

// The instant as the file writes it: ISO 8601 in UTC, "2026-12-09T18:05:00Z".
bool readInstant(const QVariant &value, qint64 *seconds)
{
    QString text;
    if (!readText(value, &text))
        return false;
    const QDateTime at = QDateTime::fromString(text, Qt::ISODate);
    if (!at.isValid() || at.timeSpec() == Qt::LocalTime)
        return false;
    *seconds = at.toSecsSinceEpoch();
    return true;
}

QString instantText(qint64 seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds, QTimeZone::utc()).toString(Qt::ISODate);
}

// The per-kind keys: a sound, a snooze and a skip. False for another key.
bool readKindKey(const QSettings &file, const QString &key, AlarmSettings *settings, QString *why)
{
    for (int k = 0; k < EntryKindCount; ++k) {
        const QVariant value = file.value(key);
        if (key == kindKey(k, SoundKey)) {
            QString choice;
            if (!readText(value, &choice) || !(choice.isEmpty() || Sounds::isValidChoice(choice)))
                *why = QStringLiteral("%1 must be one of %2, none, or a WAV file's full path, not %3")
                               .arg(key, Sounds::toneKeys().join(QStringLiteral(", ")),
                                    IniFile::quoted(value));
            settings->sounds[k] = choice;
            return true;
        }
        const bool snooze = key == kindKey(k, SnoozeKey);
        if (snooze || key == kindKey(k, SkipKey)) {
            qint64 at = 0;
            if (!readInstant(value, &at)) {
                *why = QStringLiteral("%1 must be a time such as 2026-12-09T18:05:00Z, not %2")
                               .arg(key, IniFile::quoted(value));
                return true;
            }
            // A snooze never lasts longer than it was set for, also after
            // the clock has been set back.
            const qint64 now = QDateTime::currentSecsSinceEpoch();
            if (snooze)
                settings->snoozedUntil[k] = std::min(at, now + SnoozeSeconds);
            else
                settings->skipped[k] = at;
            return true;
        }
    }
    return false;
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
    if (QString why; readKindKey(file, key, settings, &why))
        return why;
    if (key == QLatin1String(VolumeKey)) {
        QString text;
        bool ok = false;
        const int volume = readText(value, &text) ? text.toInt(&ok) : -1;
        if (!ok || volume < 0 || volume > 100)
            return QStringLiteral("%1 must be a number from 0 to 100, not %2").arg(key, IniFile::quoted(value));
        settings->volume = volume;
        return {};
    }
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
    // What the player never chose, and holds that are over, stay out of the file.
    if (settings.volume != DefaultAlarmVolume)
        file.setValue(QLatin1String(VolumeKey), QString::number(settings.volume));
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    for (int k = 0; k < EntryKindCount; ++k) {
        if (!settings.sounds[k].isEmpty())
            file.setValue(kindKey(k, SoundKey), settings.sounds[k]);
        if (settings.snoozedUntil[k] > now)
            file.setValue(kindKey(k, SnoozeKey), instantText(settings.snoozedUntil[k]));
        if (settings.skipped[k] >= now)
            file.setValue(kindKey(k, SkipKey), instantText(settings.skipped[k]));
    }
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
    if (!read)
        return AlarmSettings();
    // A snooze or a skip that ended while the clock was not running is
    // simply gone; the next save leaves it out.
    settings.endHolds(QDateTime::currentSecsSinceEpoch());
    return settings;
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
