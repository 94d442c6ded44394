#ifndef ALARMS_H
#define ALARMS_H

#include <QList>
#include <QString>
#include <QStringList>

#include "timetable.h"

#include <array>
#include <optional>

class QDateTime;

// The events a user can be warned of ahead of time.
enum class AlarmEvent {
    GateOpens,
    GateCloses,
    JobStarts,      // the chosen shop's part-time job
    MerchantMoves,
    SecondMerchant, // she appears at the start of each of her hours
};
constexpr int AlarmEventCount = 5;
constexpr int MaxLeadMinutes = 30;
constexpr int DefaultAlarmVolume = 60;
constexpr qint64 SnoozeSeconds = 3600;

// The panel that shows what the event begins or ends.
EntryKind alarmKind(AlarmEvent event);

// What the user asked to be told. An alarm is an event with a lead time:
// each event can have several, or none.
struct AlarmSettings
{
    bool muted = false;
    // Per event, bit m set: a warning m real minutes before (m = 0..30).
    std::array<quint32, AlarmEventCount> leads {};
    // The gate's opening is announced only for these destinations and the
    // merchant's move only to these stops; empty lists stand for any.
    QStringList gateDestinations;
    QStringList merchantStops;
    // Per kind: the sound, a tone's key, "none" or a WAV file's path; empty
    // for the default tone. One volume, 0 to 100, for every sound.
    std::array<QString, EntryKindCount> sounds;
    int volume = DefaultAlarmVolume;
    // Per kind, what the player holds back for a while: the warnings due
    // before snoozedUntil, and every warning of the occurrence at skipped
    // (its event's second). Zero holds nothing.
    std::array<qint64, EntryKindCount> snoozedUntil {};
    std::array<qint64, EntryKindCount> skipped {};

    bool hasLead(AlarmEvent event, int minutes) const;
    void setLead(AlarmEvent event, int minutes, bool on);
    bool anySet() const;
    // The lead minutes at which the alarms, unmuted, warn of the entry's
    // start (the gate's opening, the job's start, the merchant's arrival,
    // the second merchant's hour), shortest first.
    QList<int> leadsFor(const TimetableEntry &entry) const;
    int count() const;
    // Whether a warning of the occurrence at `at`, due at `due`, is held back.
    bool holds(EntryKind kind, qint64 at, qint64 due) const;
    // Clears the holds that are over at `now`: a snooze at its end, a skip
    // once its occurrence has passed. True when one was cleared.
    bool endHolds(qint64 now);
    bool operator==(const AlarmSettings &other) const;
};

// The event that begins an entry of the kind, and the list of places the
// settings announce it for (none where the kind has no choice of places).
AlarmEvent startingEvent(EntryKind kind);
QStringList AlarmSettings::*chosenPlaces(EntryKind kind);

// What has been announced, kept by the caller from one tick to the next:
// per event, the latest occurrence announced and its lead. Nothing at or
// before it is announced again, also when the clock is set back.
struct AlarmState
{
    struct Announced
    {
        bool any = false; // nothing announced yet: at and lead mean nothing
        qint64 at = 0;
        int lead = 0;
    };
    std::array<Announced, AlarmEventCount> last;
};

// One notification, ready to show.
struct AlarmNotice
{
    AlarmEvent event;
    EntryKind kind;
    int lead;     // minutes
    qint64 at;    // the event's second, in seconds since 1970
    QString title; // the event and its place, e.g. "문게이트: 케오섬"
    QString text;  // the time left, e.g. "1분 후 열림"
};

// The notifications whose warning time falls after the previous tick and
// at or before the current one, in the order of their events; the events
// are the beginnings and ends of the timetable's entries. An event's
// second is the one at which the panel's countdown reads 00:00, or the
// first second of the new state where the panel has no countdown to zero
// (the merchant's move, the second merchant's hours), so that at a
// warning n minutes ahead the panel reads n:00.
//
// Only occurrences still ahead are announced (a tick a few seconds late
// still announces what fell due in it): after the clock jumps forward,
// an occurrence whose warning was skipped is announced if it has not yet
// happened, and never one that has. Of the warnings of one occurrence
// that fall in the same interval, only the shortest is given. The state
// is updated with what was announced.
//
// Warnings held back (AlarmSettings::holds()) are neither given nor missed.
// Where *missed is given, it counts the occurrences whose warnings fell in
// the interval but which were over by its end (after a sleep, or a jump
// forward of the clock), within the last MissedSpan seconds.
struct MissedAlarms
{
    int count = 0;
    AlarmNotice first {};
};
constexpr qint64 MissedSpan = 7 * 86400;
QList<AlarmNotice> dueAlarms(const QDateTime &previous, const QDateTime &now, int shop,
                             const AlarmSettings &settings, AlarmState *state,
                             MissedAlarms *missed = nullptr);

// The quiet notification of missed alarms: how many, and the first with
// its local time, e.g. "놓친 알림 3개" / "처음: 문게이트: 케오섬 (18:05 열림)".
AlarmNotice missedNotice(const MissedAlarms &missed);

// The notice given again at `now` ("5분 뒤 다시"), with the time left then;
// none once its event has passed.
std::optional<AlarmNotice> remindedNotice(const AlarmNotice &notice, qint64 now);

// The next occurrence of the kind that one of its alarms will warn of: the
// first whose event lies after `now` with a warning still to come, in the
// chosen places, over the coming day. Holds do not count.
struct AlarmOccurrence
{
    AlarmEvent event;
    qint64 at;
    QString title; // as its notice names it, e.g. "문게이트: 케오섬"
};
std::optional<AlarmOccurrence> nextAlarm(const QDateTime &now, int shop,
                                         const AlarmSettings &settings, EntryKind kind);

#endif
