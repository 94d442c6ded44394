#ifndef TIMETABLE_H
#define TIMETABLE_H

#include <QList>
#include <QString>
#include <QStringList>
#include <QTimeZone>

#include <array>
#include <optional>

class QDateTime;

// What the timetable lists: the states of the window's panels that a
// player plans for.
enum class EntryKind {
    Moongate,       // the gate open towards one destination
    Merchant,       // the merchant at one stop
    Job,            // the chosen shop's part-time job running
    SecondMerchant, // one of the second merchant's hours
};
constexpr int EntryKindCount = 4;

// The kind's name on the command line, in JSON and in calendar UIDs.
QString entryKindKey(EntryKind kind);
std::optional<EntryKind> entryKindFromKey(const QString &key);
// The kind as the window's caption names it: "문게이트", "프라이스", ...
QString entryKindTitle(EntryKind kind);
// Every place an entry of the kind can have, each once, in table order.
QStringList entryPlaces(EntryKind kind, int shop);

// A maximal interval in which one panel shows one state.
struct TimetableEntry
{
    EntryKind kind;
    QString place;
    int row;      // the table row of the place; the second merchant's hours
    qint64 start; // the first second shown, in seconds since 1970
    qint64 end;   // the first second no longer shown

    bool operator==(const TimetableEntry &other) const;
};

// The entry as one line of Korean: "문게이트: 탈틴 열림", "프라이스: 케오섬".
QString entrySummary(const TimetableEntry &entry);

// The timetable's order: by start, then by kind.
bool earlier(const TimetableEntry &a, const TimetableEntry &b);

// Which entries to list. An empty place list stands for every place.
struct TimetableFilter
{
    std::array<bool, EntryKindCount> kinds { { true, true, true, true } };
    QStringList places;

    bool wants(EntryKind kind) const { return kinds[int(kind)]; }
};

// Every entry that is shown at some second in [from, until), ordered by
// start and then by kind. An entry under way at `from` keeps its true start
// and one under way at `until` its true end. The game's zone (from's own
// when none is given) decides where game days start, exactly as the
// window's panels count them.
QList<TimetableEntry> timetable(const QDateTime &from, const QDateTime &until,
                                const QTimeZone &gameZone, int shop,
                                const TimetableFilter &filter = {});
// The same between two instants in seconds since 1970, for a caller that
// holds them so; `inZone` is an instant in the game's zone near them. Local
// time is costly to convert, and the alarms ask at every tick.
QList<TimetableEntry> timetable(qint64 from, qint64 until, const QDateTime &inZone, int shop,
                                const TimetableFilter &filter = {});

#endif
