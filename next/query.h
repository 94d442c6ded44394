#ifndef QUERY_H
#define QUERY_H

#include "timetable.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QTimeZone>

class QCommandLineParser;
struct Setup;

constexpr int DefaultCount = 10;
constexpr int MaxCount = 1000;

// What the command line asks timer-next for.
struct NextQuery
{
    enum class Output { Text, Json, Calendar };
    Output output = Output::Text;
    TimetableFilter filter;
    QDateTime from;  // in the PC's local time
    QTimeZone zone;  // the game's clock; invalid for the PC's own zone
    int shop = 0;
    int count = DefaultCount;
    int days = 0;    // the calendar's span
};

// The command's options and arguments, for the parser to know and to list
// under --help.
void describeOptions(QCommandLineParser *parser);

// The query of the parsed command line, with the player's setup giving what
// it leaves open; or, when it cannot be run, one line saying what is wrong
// and what is allowed.
QString readQuery(const QCommandLineParser &parser, const Setup &setup, NextQuery *query);

// The next `count` entries that have not ended at `from`, the one under way
// first.
QList<TimetableEntry> nextEntries(const NextQuery &query);
// Every entry shown during the calendar's days from `from`.
QList<TimetableEntry> calendarEntries(const NextQuery &query);

// One line per entry, "2026-12-09 21:14:30 ~ 21:32:30  문게이트  탈틴", in
// the PC's local time; the end has its date too when it falls on another day.
QString entryLines(const QList<TimetableEntry> &entries);
// A JSON array of {"event", "place", "start", "end"}, times in ISO 8601 with
// their offset from UTC.
QByteArray entryJson(const QList<TimetableEntry> &entries);

#endif
