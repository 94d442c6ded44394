#include "alarms.h"

#include "schedule.h"
#include "tables.h"

#include <QDateTime>
#include <QVarLengthArray>

#include <algorithm>
#include <optional>

namespace {

// A tick that comes a few seconds late, on a busy machine, still announces
// an event that fell due in it.
constexpr qint64 LateTick = 5;

// An announcement further ahead than this means the clock was set back by
// more than a day, to put it right: what lies before it is new to the user.
constexpr qint64 SetBackForgotten = 86400;

// Game days start again at each local midnight. A local day lasts 24 hours
// save for a change of daylight-saving time (22 hours at the shortest), so
// no midnight can come before this much of a day has gone by.
constexpr qint64 ShortestDay = 20 * 3600;

constexpr int HoursCount = int(secondMerchantHours.size());

// Game minute m begins at cycle second ⌈3m / 2⌉.
constexpr int cycleOfGameMinute(int minute)
{
    return (3 * minute + 1) / 2;
}

// The local days around one tick, each one's start worked out only when
// an instant comes near it.
class LocalDays
{
public:
    explicit LocalDays(const QDateTime &now) : now(now) { }

    // The first instant at or after `from` (within a day of the tick) at
    // which the cycle second is `cycle`.
    qint64 firstAt(qint64 from, int cycle)
    {
        const int day = from < start(0) ? -1
                : (from - start(0) < ShortestDay || from < start(1)) ? 0 : 1;
        const qint64 begin = start(day);
        const qint64 at = from + floorMod(cycle - (from - begin), GameDaySeconds);
        if (at - begin < ShortestDay)
            return at;
        // The day may end first, and the game days start again with it.
        const qint64 end = start(day + 1);
        return at < end ? at : end + cycle;
    }

private:
    qint64 start(int day)
    {
        std::optional<qint64> &known = starts[day + 1];
        if (!known)
            known = epochSeconds(startOfDay(now, day));
        return *known;
    }

    const QDateTime &now;
    std::optional<qint64> starts[4]; // days -1 to 2 after the tick's own
};

struct Candidate
{
    qint64 at;
    int lead;
    int hours; // which of the second merchant's hours
};
using Candidates = QVarLengthArray<Candidate, 4>;

// Every occurrence of the event at a second in (after, until].
void collect(AlarmEvent event, int shop, qint64 after, qint64 until, int lead, LocalDays &days,
             Candidates *found)
{
    if (event == AlarmEvent::MerchantMoves) {
        for (qint64 at = (floorDiv(after, GameDaySeconds) + 1) * GameDaySeconds; at <= until;
             at += GameDaySeconds)
            found->append({ at, lead, 0 });
        return;
    }

    int cycles[HoursCount];
    int count = 1;
    switch (event) {
    case AlarmEvent::GateOpens:
        cycles[0] = GateOpens;
        break;
    case AlarmEvent::GateCloses:
        cycles[0] = GateCloses - 1;
        break;
    case AlarmEvent::JobStarts:
        cycles[0] = int(partTimeJobs[shop].start);
        break;
    default:
        count = HoursCount;
        for (int i = 0; i < HoursCount; ++i)
            cycles[i] = cycleOfGameMinute(secondMerchantHours[i].from);
        break;
    }
    for (int i = 0; i < count; ++i) {
        for (qint64 at = days.firstAt(after + 1, cycles[i]); at <= until;
             at = days.firstAt(at + 1, cycles[i]))
            found->append({ at, lead, i });
    }
}

bool alreadyAnnounced(const AlarmState::Announced &last, const Candidate &c, qint64 now)
{
    if (!last.any || last.at - now > SetBackForgotten)
        return false;
    return c.at < last.at || (c.at == last.at && c.lead >= last.lead);
}

QString timeLeft(qint64 seconds)
{
    if (seconds <= 0)
        return QStringLiteral("지금");
    const qint64 minutes = seconds / 60;
    const qint64 rest = seconds % 60;
    if (minutes == 0)
        return QStringLiteral("%1초 후").arg(rest);
    if (rest == 0)
        return QStringLiteral("%1분 후").arg(minutes);
    return QStringLiteral("%1분 %2초 후").arg(minutes).arg(rest);
}

// An empty choice of places stands for every place.
bool chosen(const QStringList &places, const QString &place)
{
    return places.isEmpty() || places.contains(place);
}

// The notice for an occurrence, or none where the user's choice of places
// leaves it out.
std::optional<AlarmNotice> noticeFor(AlarmEvent event, const Candidate &c, qint64 now, int shop,
                                     const AlarmSettings &settings)
{
    const QString left = timeLeft(c.at - now);
    AlarmNotice notice { event, c.lead, c.at, {}, {} };
    switch (event) {
    case AlarmEvent::GateOpens: {
        // The destination the open gate leads to, from its first open second.
        const QString &destination = moongateDestinations[moongateRow(c.at + 1)];
        if (!chosen(settings.gateDestinations, destination))
            return std::nullopt;
        notice.title = QStringLiteral("문게이트: ") + destination;
        notice.text = left + QStringLiteral(" 열림");
        break;
    }
    case AlarmEvent::GateCloses:
        notice.title = QStringLiteral("문게이트: ") + moongateDestinations[moongateRow(c.at)];
        notice.text = left + QStringLiteral(" 닫힘");
        break;
    case AlarmEvent::JobStarts:
        notice.title = QStringLiteral("아르바이트: ") + partTimeJobs[shop].shopName;
        notice.text = left + QStringLiteral(" 시작");
        break;
    case AlarmEvent::MerchantMoves: {
        const QString &stop = merchantLocations[merchantRow(c.at)];
        if (!chosen(settings.merchantStops, stop))
            return std::nullopt;
        notice.title = QStringLiteral("프라이스: → ") + stop;
        notice.text = left + QStringLiteral(" 이동");
        break;
    }
    case AlarmEvent::SecondMerchant:
        notice.title = QStringLiteral("플레타: ") + QStringLiteral("에린시각 ") + hoursText(secondMerchantHours[c.hours]);
        notice.text = left + QStringLiteral(" 등장\n") + placeNotice();
        break;
    }
    return notice;
}

} // namespace

bool AlarmSettings::hasLead(AlarmEvent event, int minutes) const
{
    return leads[int(event)] & (1u << minutes);
}

void AlarmSettings::setLead(AlarmEvent event, int minutes, bool on)
{
    if (on)
        leads[int(event)] |= 1u << minutes;
    else
        leads[int(event)] &= ~(1u << minutes);
}

bool AlarmSettings::anySet() const
{
    return std::any_of(leads.begin(), leads.end(), [](quint32 bits) { return bits != 0; });
}

int AlarmSettings::count() const
{
    int n = 0;
    for (quint32 bits : leads)
        n += qPopulationCount(bits);
    return n;
}

bool AlarmSettings::operator==(const AlarmSettings &other) const
{
    return muted == other.muted && leads == other.leads
            && gateDestinations == other.gateDestinations && merchantStops == other.merchantStops;
}

QList<AlarmNotice> dueAlarms(const QDateTime &previous, const QDateTime &now, int shop,
                             const AlarmSettings &settings, AlarmState *state)
{
    QList<AlarmNotice> notices;
    if (settings.muted || !settings.anySet())
        return notices;
    const qint64 p = epochSeconds(previous);
    const qint64 n = epochSeconds(now);
    if (n <= p)
        return notices;

    LocalDays days(now);
    for (int e = 0; e < AlarmEventCount; ++e) {
        const AlarmEvent event = AlarmEvent(e);
        const quint32 leads = settings.leads[e];
        if (!leads || (event == AlarmEvent::JobStarts && (shop < 0 || shop >= ShopCount)))
            continue;

        Candidates found;
        for (int lead = 0; lead <= MaxLeadMinutes; ++lead) {
            if (!(leads & (1u << lead)))
                continue;
            // Warned at most once per tick interval, and only of what has
            // not yet happened.
            const qint64 after = std::max(p + 60 * lead, n - LateTick - 1);
            collect(event, shop, after, n + 60 * lead, lead, days, &found);
        }
        std::sort(found.begin(), found.end(), [](const Candidate &a, const Candidate &b) {
            return a.at != b.at ? a.at < b.at : a.lead < b.lead;
        });

        // Sorted so, the state leaves out the longer warnings of an
        // occurrence once its shortest is given.
        AlarmState::Announced &last = state->last[e];
        for (const Candidate &c : found) {
            if (alreadyAnnounced(last, c, n))
                continue;
            if (const std::optional<AlarmNotice> notice = noticeFor(event, c, n, shop, settings)) {
                notices.append(*notice);
                last = { true, c.at, c.lead };
            }
        }
    }
    std::stable_sort(notices.begin(), notices.end(),
                     [](const AlarmNotice &a, const AlarmNotice &b) { return a.at < b.at; });
    return notices;
}
