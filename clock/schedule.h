#ifndef SCHEDULE_H
#define SCHEDULE_H

#include <QString>
#include <QTimeZone>

class QDateTime;

// The game's clock: a game day lasts 2160 real seconds and game days are
// counted from local midnight, forty to a real day.
constexpr int GameDaySeconds = 2160;

// Everything the window shows that depends on the time.
struct ScheduleTexts
{
    int cycleSecond = 0; // real seconds into the current game day, 0..2159

    QString gameTime;
    QString realTime;
    QString moongate;
    QString moongateRoute;
    QString job;
    QString dayName;
    QString dayEffect;
    QString dayItem;
    QString merchant;
    QString merchantNext;
    QString merchantAfter;
};

// "%02d:%02d" of n / 60 and n % 60: hours and minutes of a clock, or minutes
// and seconds of a countdown.
QString formatMinSec(unsigned n);

// The instant's whole seconds since 1970-01-01 00:00 UTC, rounded down, so
// that the last second before a step reads as that second on both sides of
// 1970 (QDateTime::toSecsSinceEpoch() rounds toward zero).
qint64 epochSeconds(const QDateTime &instant);

// The seconds of the game day that the instant falls in, counted from the
// first valid instant of its local day.
int cycleSecond(const QDateTime &instant);

// The instant as the game counts it: in the game's zone, or in its own
// (usually the PC's local time) when no valid zone is given. The game day
// counts from that zone's midnight while the rotations count from absolute
// time, so the two agree only in the zone the game itself keeps.
QDateTime inGameZone(const QDateTime &instant, const QTimeZone &gameZone);

// The texts for one instant and one shop of the chooser. The game's zone
// (the instant's own when none is given) decides the day boundaries and
// the weekday; the real time is the instant's own. A shop index outside the
// table shows "out of range".
ScheduleTexts scheduleTexts(const QDateTime &instant, int shop,
                            const QTimeZone &gameZone = QTimeZone());

// The parts of the panels' arithmetic that others build on, so that what
// they compute always agrees with what the window shows.

// The gate waits (is closed) from cycle second GateCloses to GateOpens, both
// included, and is open for the rest of the game day.
constexpr int GateCloses = 547;
constexpr int GateOpens = 1626;

bool gateOpen(int cycle);

// The part-time job of a shop of the chooser runs at this cycle second.
bool jobRunning(int shop, int cycle);

// The game's clock reads whole game minutes: a game minute lasts 1.5 real
// seconds.
int gameMinute(int cycle);

// Which of the second merchant's hours the game time lies in, or -1.
int secondMerchantHoursAt(int cycle);

// Floor division and a non-negative remainder, so that the rotations keep
// stepping evenly on both sides of 1970 and far past 2106.
qint64 floorDiv(qint64 a, qint64 b);
int floorMod(qint64 a, int b);

// The moongate's rotation steps this long after a game-day boundary of UTC
// time, the merchant's on it.
constexpr qint64 MoongateOffset = 600;

// The rows of the moongate's and the merchant's rotations at the absolute
// time t (seconds since 1970, as epochSeconds() gives).
int moongateRow(qint64 t);
int merchantRow(qint64 t);

// The first valid instant of the local day that lies the given number of
// days after the instant's own, in the instant's time zone. A date that the
// zone skips altogether (a change of date line) counts as no day.
QDateTime startOfDay(const QDateTime &instant, int daysLater = 0);

#endif
