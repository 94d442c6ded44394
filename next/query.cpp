#include "query.h"

#include "calendar.h"
#include "setup.h"
#include "tables.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const char CountOption[] = "count";
const char DaysOption[] = "days";
const char FromOption[] = "from";
const char IcsOption[] = "ics";
const char JsonOption[] = "json";
const char ShopOption[] = "shop";
const char ZoneOption[] = "zone";
const char AllKinds[] = "all";

// Far enough for a thousand openings of the moongate towards its rarest
// destination; a filter that nothing passes ends the search here.
constexpr int MaxSearchDays = 4096;

QString quotedList(const QStringList &items)
{
    return items.join(QStringLiteral(", "));
}

QStringList kindKeys()
{
    QStringList keys;
    for (int k = 0; k < EntryKindCount; ++k)
        keys << entryKindKey(EntryKind(k));
    return keys << QLatin1String(AllKinds);
}

bool readNumber(const QString &text, int low, int high, int *number)
{
    bool ok = false;
    const int read = text.toInt(&ok);
    if (!ok || read < low || read > high)
        return false;
    *number = read;
    return true;
}

QString readFrom(const QString &text, QDateTime *from)
{
    for (const QString &format : { QStringLiteral("yyyy-MM-dd HH:mm:ss"),
                                   QStringLiteral("yyyy-MM-dd HH:mm") }) {
        const QDateTime read = QDateTime::fromString(text, format);
        if (read.isValid()) {
            *from = read;
            return {};
        }
    }
    return QStringLiteral("--from \"%1\" is not a local time: YYYY-MM-DD HH:MM or "
                          "YYYY-MM-DD HH:MM:SS, e.g. \"2026-12-09 21:00\"").arg(text);
}

QString readShop(const QString &name, int *shop)
{
    QStringList names;
    for (const PartTimeJob &job : partTimeJobs)
        names << job.shopName;
    const int found = int(names.indexOf(name));
    if (found < 0)
        return QStringLiteral("--shop \"%1\" is not a shop: a shop as the clock's chooser lists "
                              "it: %2").arg(name, quotedList(names));
    *shop = found;
    return {};
}

QString readPlaces(const QStringList &places, const QString &kind, NextQuery *query)
{
    QStringList allowed;
    for (int k = 0; k < EntryKindCount; ++k) {
        if (query->filter.wants(EntryKind(k))) {
            for (const QString &place : entryPlaces(EntryKind(k), query->shop))
                if (!allowed.contains(place))
                    allowed << place;
        }
    }
    for (const QString &place : places) {
        if (!allowed.contains(place))
            return QStringLiteral("\"%1\" is not a place of %2: one of %3")
                    .arg(place, kind, quotedList(allowed));
    }
    query->filter.places = places;
    return {};
}

QString localText(qint64 seconds, const QString &format)
{
    return QDateTime::fromSecsSinceEpoch(seconds).toString(format);
}

// Local time with its offset from UTC, "2026-12-09T21:14:30+09:00".
QString isoText(qint64 seconds)
{
    const QDateTime local = QDateTime::fromSecsSinceEpoch(seconds);
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODate);
}

} // namespace

void describeOptions(QCommandLineParser *parser)
{
    parser->setApplicationDescription(
            QStringLiteral("Lists the clock's next moongate openings, merchant stops, part-time "
                           "jobs and second merchant hours, as text, JSON or an iCalendar file."));
    parser->addOptions({
            { QLatin1String(JsonOption), QStringLiteral("Writes a JSON array.") },
            { QLatin1String(CountOption),
              QStringLiteral("Lists the next N entries (1 to %1; default %2).")
                      .arg(MaxCount).arg(DefaultCount), QStringLiteral("N") },
            { QLatin1String(FromOption),
              QStringLiteral("Starts at this local time instead of now."),
              QStringLiteral("YYYY-MM-DD HH:MM[:SS]") },
            { QLatin1String(ZoneOption),
              QStringLiteral("The game clock's time zone, an IANA id (default: the clock's "
                             "setting, else the PC's zone)."), QStringLiteral("ZONE") },
            { QLatin1String(ShopOption),
              QStringLiteral("The shop whose part-time job is listed (default: the clock's "
                             "choice)."), QStringLiteral("NAME") },
            { QLatin1String(IcsOption),
              QStringLiteral("Writes an iCalendar file with the clock's alarms.") },
            { QLatin1String(DaysOption),
              QStringLiteral("The days the iCalendar file covers (1 to %1; default %2).")
                      .arg(MaxCalendarDays).arg(CalendarDays), QStringLiteral("N") },
    });
    parser->addHelpOption();
    parser->addVersionOption();
    parser->addPositionalArgument(QStringLiteral("KIND"), quotedList(kindKeys()));
    parser->addPositionalArgument(QStringLiteral("PLACE"),
                                  QStringLiteral("Only entries at these places."),
                                  QStringLiteral("[PLACE...]"));
}

QString readQuery(const QCommandLineParser &parser, const Setup &setup, NextQuery *query)
{
    const bool calendar = parser.isSet(QLatin1String(IcsOption));
    if (calendar && (parser.isSet(QLatin1String(JsonOption))
                     || parser.isSet(QLatin1String(CountOption))))
        return QStringLiteral("--ics writes a calendar file and goes with neither --json nor "
                              "--count; --days sets its span");
    if (!calendar && parser.isSet(QLatin1String(DaysOption)))
        return QStringLiteral("--days is the span of the calendar file and goes with --ics only");
    query->output = calendar ? NextQuery::Output::Calendar
            : parser.isSet(QLatin1String(JsonOption)) ? NextQuery::Output::Json
                                                      : NextQuery::Output::Text;

    const QStringList arguments = parser.positionalArguments();
    if (arguments.isEmpty())
        return QStringLiteral("no KIND given: one of %1").arg(quotedList(kindKeys()));
    const QString kind = arguments.first();
    if (kind != QLatin1String(AllKinds)) {
        const std::optional<EntryKind> one = entryKindFromKey(kind);
        if (!one)
            return QStringLiteral("\"%1\" is not a kind: one of %2")
                    .arg(kind, quotedList(kindKeys()));
        query->filter.kinds.fill(false);
        query->filter.kinds[int(*one)] = true;
    }

    if (parser.isSet(QLatin1String(CountOption))
        && !readNumber(parser.value(QLatin1String(CountOption)), 1, MaxCount, &query->count))
        return QStringLiteral("--count \"%1\" is not a whole number from 1 to %2")
                .arg(parser.value(QLatin1String(CountOption))).arg(MaxCount);
    query->days = CalendarDays;
    if (parser.isSet(QLatin1String(DaysOption))
        && !readNumber(parser.value(QLatin1String(DaysOption)), 1, MaxCalendarDays, &query->days))
        return QStringLiteral("--days \"%1\" is not a whole number of days from 1 to %2")
                .arg(parser.value(QLatin1String(DaysOption))).arg(MaxCalendarDays);

    query->from = QDateTime::currentDateTime();
    if (parser.isSet(QLatin1String(FromOption))) {
        if (const QString why = readFrom(parser.value(QLatin1String(FromOption)), &query->from);
            !why.isEmpty())
            return why;
    }

    const QString zone = parser.isSet(QLatin1String(ZoneOption))
            ? parser.value(QLatin1String(ZoneOption)) : setup.zone;
    if (!zone.isEmpty()) {
        query->zone = QTimeZone(zone.toUtf8());
        // A zone the file names but this system lacks leaves the PC's, as in the clock.
        if (!query->zone.isValid() && parser.isSet(QLatin1String(ZoneOption)))
            return QStringLiteral("--zone \"%1\" is not a time zone: an IANA zone id such as "
                                  "Asia/Seoul or America/New_York").arg(zone);
    }

    query->shop = setup.shop;
    if (parser.isSet(QLatin1String(ShopOption))) {
        if (const QString why = readShop(parser.value(QLatin1String(ShopOption)), &query->shop);
            !why.isEmpty())
            return why;
    }
    return readPlaces(arguments.mid(1), kind, query);
}

QList<TimetableEntry> nextEntries(const NextQuery &query)
{
    // Each try doubles the span, so the last one costs about as much as
    // all before it.
    QList<TimetableEntry> entries;
    for (int days = 1;; days *= 2) {
        entries = timetable(query.from, query.from.addDays(days), query.zone, query.shop,
                            query.filter);
        if (entries.size() >= query.count || days >= MaxSearchDays)
            break;
    }
    if (entries.size() > query.count)
        entries.resize(query.count);
    return entries;
}

QList<TimetableEntry> calendarEntries(const NextQuery &query)
{
    return timetable(query.from, query.from.addDays(query.days), query.zone, query.shop,
                     query.filter);
}

QString entryLines(const QList<TimetableEntry> &entries)
{
    const QString day = QStringLiteral("yyyy-MM-dd");
    const QString time = QStringLiteral("HH:mm:ss");
    const QString both = day + QLatin1Char(' ') + time;
    QString lines;
    for (const TimetableEntry &entry : entries) {
        const bool sameDay = localText(entry.start, day) == localText(entry.end, day);
        lines += QStringLiteral("%1 ~ %2  %3  %4\n")
                         .arg(localText(entry.start, both),
                              localText(entry.end, sameDay ? time : both),
                              entryKindTitle(entry.kind), entry.place);
    }
    return lines;
}

QByteArray entryJson(const QList<TimetableEntry> &entries)
{
    QJsonArray array;
    for (const TimetableEntry &entry : entries) {
        array.append(QJsonObject {
                { QStringLiteral("event"), entryKindKey(entry.kind) },
                { QStringLiteral("place"), entry.place },
                { QStringLiteral("start"), isoText(entry.start) },
                { QStringLiteral("end"), isoText(entry.end) },
        });
    }
    return QJsonDocument(array).toJson(QJsonDocument::Indented);
}
