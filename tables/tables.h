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

extern const std::array<QString, MoongateRotation> moongateDestinations;
extern const std::array<PartTimeJob, ShopCount> partTimeJobs;
extern const std::array<QString, WeekDays> dayNames;
extern const std::array<QString, WeekDays> dayEffects;
extern const std::array<QString, WeekDays> dayItems;
extern const std::array<QString, MerchantRoute> merchantLocations;

// Texts that never change while the program runs.
QString hoursNotice();
QString placeNotice();
QString creditLine();

#endif
