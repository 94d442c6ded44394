#include "timetable.h"

#include "schedule.h"
#include "tables.h"

#include <QDateTime>
#include <QVarLengthArray>

#include <algorithm>
#include <vector>

namespace {

// No panel keeps one state for longer than a game day, even where a change
// of daylight-saving time starts the game days again early, so looking
// this far to each side finds the true start and end of what is under way
// at the ends of the asked interval.
constexpr qint64 Reach = GameDaySeconds;

const QString &placeOf(EntryKind kind, int row)
{
    switch (kind) {
    case EntryKind::Moongate:
        return moongateDestinations[row];
    case EntryKind::Merchant:
        return merchantLocations[row];
    case EntryKind::Job:
        return partTimeJobs[row].shopName;
    case EntryKind::SecondMerchant:
        break;
    }
    static const QString place = secondMerchantPlace();
    return place;
}

// The row each panel shows at an instant, or -1 where it shows nothing
// that the timetable lists.
int rowAt(EntryKind kind, qint64 t, int cycle, int shop)
{
    switch (kind) {
    case EntryKind::Moongate:
        return gateOpen(cycle) ? moongateRow(t) : -1;
    case EntryKind::Merchant:
        return merchantRow(t);
    case EntryKind::Job:
        return jobRunning(shop, cycle) ? shop : -1;
    case EntryKind::SecondMerchant:
        return secondMerchantHoursAt(cycle);
    }
    return -1;
}

// The cycle seconds at which some panel may change, within a game day.
QVarLengthArray<int, 12> cycleSteps(int shop)
{
    QVarLengthArray<int, 12> steps { 0, GateCloses, GateOpens + 1 };
    if (shop >= 0 && shop < ShopCount) {
        steps.append(int(partTimeJobs[shop].start) + 1);
        steps.append(int(partTimeJobs[shop].end) + 1);
    }
    // Game minute m begins at cycle second ⌈3m / 2⌉.
    for (const GameHours &hours : secondMerchantHours) {
        steps.append((3 * hours.from + 1) / 2);
        steps.append((3 * hours.to + 1) / 2);
    }
    return steps;
}

// A local day lasts 24 hours save for a change of daylight-saving time
// (22 hours at the shortest), so no midnight comes sooner than this after
// the last.
constexpr qint64 ShortestDay = 20 * 3600;

// The first second of each local day of the game's zone from the one that
// holds `begin`, and after them one second past the last that starts before
// `end`; `inZone` lies in between. Local time is costly to convert, so the
// days that cannot start within the span are not asked for.
std::vector<qint64> dayStarts(const QDateTime &inZone, qint64 begin, qint64 end)
{
    std::vector<qint64> starts;
    auto add = [&starts](const QDateTime &start) {
        const qint64 s = epochSeconds(start);
        if (start.isValid() && (starts.empty() || s > starts.back()))
            starts.push_back(s);
    };
    const QDateTime today = startOfDay(inZone);
    const qint64 todayStarts = epochSeconds(today);
    if (todayStarts > begin)
        add(startOfDay(inZone, -1));
    if (starts.empty() || todayStarts > starts.back())
        starts.push_back(todayStarts);
    for (int day = 1; day < 1000 && starts.back() <= end; ++day) {
        if (end < starts.back() + ShortestDay) {
            starts.push_back(end + 1);
            break;
        }
        add(startOfDay(inZone, day));
    }
    return starts;
}

// Every second at which a panel may change: where the cycle passes one of
// its steps, and where the rotations move on.
std::vector<qint64> changes(const std::vector<qint64> &days, qint64 begin, qint64 end, int shop)
{
    const QVarLengthArray<int, 12> steps = cycleSteps(shop);
    std::vector<qint64> at;
    at.reserve(std::size_t((end - begin) / GameDaySeconds + 2) * (steps.size() + 2));
    for (std::size_t i = 0; i + 1 < days.size(); ++i) {
        const qint64 dayEnd = std::min(days[i + 1], end + 1);
        if (dayEnd <= begin)
            continue;
        qint64 gameDay = days[i] + std::max<qint64>(0, floorDiv(begin - days[i], GameDaySeconds))
                * GameDaySeconds;
        for (; gameDay < dayEnd; gameDay += GameDaySeconds) {
            for (int step : steps) {
                const qint64 t = gameDay + step;
                if (t >= begin && t < dayEnd)
                    at.push_back(t);
            }
        }
    }
    for (qint64 t = floorDiv(begin, GameDaySeconds) * GameDaySeconds; t <= end; t += GameDaySeconds) {
        for (qint64 step : { t, t + MoongateOffset }) {
            if (step >= begin && step <= end)
                at.push_back(step);
        }
    }
    at.push_back(begin);
    std::sort(at.begin(), at.end());
    at.erase(std::unique(at.begin(), at.end()), at.end());
    return at;
}

} // namespace

QString entryKindKey(EntryKind kind)
{
    static const char *const keys[EntryKindCount] = { "moongate", "merchant", "job",
                                                      "second-merchant" };
    return QString::fromLatin1(keys[int(kind)]);
}

std::optional<EntryKind> entryKindFromKey(const QString &key)
{
    for (int k = 0; k < EntryKindCount; ++k) {
        if (entryKindKey(EntryKind(k)) == key)
            return EntryKind(k);
    }
    return std::nullopt;
}

QString entryKindTitle(EntryKind kind)
{
    static const char *const titles[EntryKindCount] = { "문게이트", "프라이스", "아르바이트",
                                                        "플레타" };
    return QString::fromUtf8(titles[int(kind)]);
}

QStringList entryPlaces(EntryKind kind, int shop)
{
    QStringList places;
    auto add = [&places](const QString &place) {
        if (!places.contains(place))
            places << place;
    };
    switch (kind) {
    case EntryKind::Moongate:
        std::for_each(moongateDestinations.begin(), moongateDestinations.end(), add);
        break;
    case EntryKind::Merchant:
        std::for_each(merchantLocations.begin(), merchantLocations.end(), add);
        break;
    case EntryKind::Job:
        if (shop >= 0 && shop < ShopCount)
            add(partTimeJobs[shop].shopName);
        break;
    case EntryKind::SecondMerchant:
        add(secondMerchantPlace());
        break;
    }
    return places;
}

QString entrySummary(const TimetableEntry &entry)
{
    const QString text = entryKindTitle(entry.kind) + QStringLiteral(": ") + entry.place;
    switch (entry.kind) {
    case EntryKind::Moongate:
        return text + QStringLiteral(" 열림");
    case EntryKind::Job:
        return text + QStringLiteral(" 진행 중");
    case EntryKind::Merchant:
    case EntryKind::SecondMerchant:
        break;
    }
    return text;
}

bool earlier(const TimetableEntry &a, const TimetableEntry &b)
{
    return a.start != b.start ? a.start < b.start : a.kind < b.kind;
}

bool TimetableEntry::operator==(const TimetableEntry &other) const
{
    return kind == other.kind && place == other.place && row == other.row && start == other.start
            && end == other.end;
}

QList<TimetableEntry> timetable(const QDateTime &from, const QDateTime &until,
                                const QTimeZone &gameZone, int shop, const TimetableFilter &filter)
{
    return timetable(epochSeconds(from), epochSeconds(until), inGameZone(from, gameZone), shop,
                     filter);
}

QList<TimetableEntry> timetable(qint64 first, qint64 last, const QDateTime &inZone, int shop,
                                const TimetableFilter &filter)
{
    QList<TimetableEntry> entries;
    if (last <= first)
        return entries;
    const qint64 begin = first - Reach;
    const qint64 end = last + Reach;

    const std::vector<qint64> days = dayStarts(inZone, begin, end);
    const std::vector<qint64> at = changes(days, begin, end, shop);

    struct Shown
    {
        int row = -1;
        qint64 since = 0;
    };
    std::array<Shown, EntryKindCount> shown;
    auto close = [&](EntryKind kind, qint64 t) {
        Shown &s = shown[int(kind)];
        if (s.row < 0)
            return;
        const QString &place = placeOf(kind, s.row);
        if (s.since < last && t > first
            && (filter.places.isEmpty() || filter.places.contains(place)))
            entries.append({ kind, place, s.row, s.since, t });
        s.row = -1;
    };

    std::size_t day = 0;
    for (qint64 t : at) {
        while (day + 1 < days.size() && days[day + 1] <= t)
            ++day;
        const int cycle = floorMod(t - days[day], GameDaySeconds);
        for (int k = 0; k < EntryKindCount; ++k) {
            const EntryKind kind = EntryKind(k);
            if (!filter.wants(kind))
                continue;
            const int row = rowAt(kind, t, cycle, shop);
            Shown &s = shown[k];
            // Two rows of one name next to each other are one place shown.
            if (s.row >= 0 && row >= 0 && placeOf(kind, s.row) == placeOf(kind, row))
                continue;
            close(kind, t);
            if (row >= 0 && t < last)
                s = { row, t };
        }
    }
    // Whatever is still shown at the far end of the reach.
    for (int k = 0; k < EntryKindCount; ++k)
        close(EntryKind(k), end);

    std::sort(entries.begin(), entries.end(), earlier);
    return entries;
}
