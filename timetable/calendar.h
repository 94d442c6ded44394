#ifndef CALENDAR_H
#define CALENDAR_H

#include <QByteArray>
#include <QList>

class QDateTime;
struct AlarmSettings;
struct TimetableEntry;

// How many days ahead a calendar file covers unless the player asks for
// another span, and the longest span offered.
constexpr int CalendarDays = 7;
constexpr int MaxCalendarDays = 31;

// An iCalendar file (RFC 5545) of the entries: one VEVENT each, with a UID
// that stays the same for the same entry in every export, UTC times, the
// entry's Korean summary, and a VALARM for each lead the alarms would warn
// at (none when they are muted). `stamp` is the moment of the export.
QByteArray calendarFile(const QList<TimetableEntry> &entries, const AlarmSettings &alarms,
                        const QDateTime &stamp);

#endif
