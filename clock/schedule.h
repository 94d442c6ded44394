#ifndef SCHEDULE_H
#define SCHEDULE_H

#include <QString>

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

// The texts for one instant and one shop of the chooser. The instant's own
// time zone (usually local time) decides the day boundaries; a shop index
// outside the table shows "out of range".
ScheduleTexts scheduleTexts(const QDateTime &instant, int shop);

#endif
