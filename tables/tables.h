#ifndef TABLES_H
#define TABLES_H

#include <QString>
#include <array>

// The game's fixed calendar. Readers index these by row, and the row order is
// part of the data: the rotations below are in the order the game steps
// through them, the weekday tables start on Sunday.

constexpr int MoongateRotation = 25;
constexpr int MerchantRoute = 14;
constexpr int ShopCount = 15;
constexpr int WeekDays = 7;

// A shop's part-time job runs at the cycle seconds c with start < c <= end.
struct PartTimeJob
{
    QString shopName;
    quint32 start;
    quint32 end;
};

// Hours of the game day, in game minutes since its start: from `from`
// until `to`.
struct GameHours
{
    int from;
    int to;
};

// When the second merchant of the fixed notice is there.
constexpr std::array<GameHours, 3> secondMerchantHours = { {
    { 9 * 60, 11 * 60 }, { 15 * 60, 17 * 60 }, { 19 * 60, 21 * 60 },
} };

extern const std::array<QString, MoongateRotation> moongateDestinations;
extern const std::array<PartTimeJob, ShopCount> partTimeJobs;
extern const std::array<QString, WeekDays> dayNames;
extern const std::array<QString, WeekDays> dayEffects;
extern const std::array<QString, WeekDays> dayItems;
extern const std::array<QString, MerchantRoute> merchantLocations;

// Texts that never change while the program runs. The hours notice reads
// "에린시각 09:00 ~ 11:00, ..." from secondMerchantHours.
QString hoursNotice();
// One of the second merchant's hours as the notice writes it, "09:00 ~ 11:00".
QString hoursText(const GameHours &hours);
// Where the second merchant stands, and the notice's line that says so.
QString secondMerchantPlace();
QString placeNotice();
QString creditLine();

#endif
