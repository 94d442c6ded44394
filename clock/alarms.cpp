#include "alarms.h"

#include "schedule.h"
#include "tables.h"
#include "timetable.h"

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

struct Candidate
{
    qint64 at;
    int lead;
    int row; // the timetable entry's row: destination, stop, shop or hours
};
using Candidates = QVarLengthArray<Candidate, 4>;

bool endsAt(const QList<TimetableEntry> &entries, EntryKind kind, qint64 t)
{
    return std::any_of(entries.begin(), entries.end(),
                       [&](const TimetableEntry &e) { return e.kind == kind && e.end == t; });
}

bool startsAt(const QList<TimetableEntry> &entries, EntryKind kind, qint64 t)
{
    return std::any_of(entries.begin(), entries.end(),
                       [&](const TimetableEntry &e) { return e.kind == kind && e.start == t; });
}

// The event's occurrences in the timetable. Where a countdown runs to the
// event, it happens at the second that reads 00:00, the last one before the
// change; the merchant's move and the second merchant's hours happen at
// the first second of the new state. The gate opens only where it was
// closed, not where an open gate turns to a new destination, and closes
// likewise.
Candidates occurrences(AlarmEvent event, const QList<TimetableEntry> &entries)
{
    Candidates found;
    const EntryKind kind = alarmKind(event);
    for (const TimetableEntry &e : entries) {
        if (e.kind != kind)
            continue;
        switch (event) {
        case AlarmEvent::GateOpens:
            if (!endsAt(entries, kind, e.start))
                found.append({ e.start - 1, 0, e.row });
            break;
        case AlarmEvent::GateCloses:
            if (!startsAt(entries, kind, e.end))
                found.append({ e.end - 1, 0, e.row });
            break;
        case AlarmEvent::JobStarts:
            found.append({ e.start - 1, 0, e.row });
            break;
        case AlarmEvent::MerchantMoves:
        case AlarmEvent::SecondMerchant:
            found.append({ e.start, 0, e.row });
            break;
        }
    }
    return found;
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

QString verb(AlarmEvent event)
{
    switch (event) {
    case AlarmEvent::GateOpens:
        return QStringLiteral("열림");
    case AlarmEvent::GateCloses:
        return QStringLiteral("닫힘");
    case AlarmEvent::JobStarts:
        return QStringLiteral("시작");
    case AlarmEvent::MerchantMoves:
        return QStringLiteral("이동");
    case AlarmEvent::SecondMerchant:
        break;
    }
    return QStringLiteral("등장");
}

QString noticeText(AlarmEvent event, qint64 secondsLeft)
{
    QString text = timeLeft(secondsLeft) + QLatin1Char(' ') + verb(event);
    if (event == AlarmEvent::SecondMerchant)
        text += QLatin1Char('\n') + placeNotice();
    return text;
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
    AlarmNotice notice { event, alarmKind(event), c.lead, c.at, {}, noticeText(event, c.at - now) };
    switch (event) {
    case AlarmEvent::GateOpens:
    case AlarmEvent::GateCloses: {
        // The destination the open gate leads to, from its first open second.
        const QString &destination = moongateDestinations[c.row];
        if (event == AlarmEvent::GateOpens && !chosen(settings.gateDestinations, destination))
            return std::nullopt;
        notice.title = QStringLiteral("문게이트: ") + destination;
        break;
    }
    case AlarmEvent::JobStarts:
        notice.title = QStringLiteral("아르바이트: ") + partTimeJobs[shop].shopName;
        break;
    case AlarmEvent::MerchantMoves: {
        const QString &stop = merchantLocations[c.row];
        if (!chosen(settings.merchantStops, stop))
            return std::nullopt;
        notice.title = QStringLiteral("프라이스: → ") + stop;
        break;
    }
    case AlarmEvent::SecondMerchant:
        notice.title = QStringLiteral("플레타: ") + QStringLiteral("에린시각 ") + hoursText(secondMerchantHours[c.row]);
        break;
    }
    return notice;
}

// The entries that every warning due in (p, n] can be for.
QList<TimetableEntry> entriesFor(qint64 from, qint64 n, const QDateTime &now, int shop,
                                 const AlarmSettings &settings)
{
    TimetableFilter wanted;
    wanted.kinds.fill(false);
    for (int e = 0; e < AlarmEventCount; ++e) {
        if (settings.leads[e])
            wanted.kinds[int(alarmKind(AlarmEvent(e)))] = true;
    }
    return timetable(from, n + 60 * MaxLeadMinutes + 2, now, shop, wanted);
}

bool jobWithoutShop(AlarmEvent event, int shop)
{
    return event == AlarmEvent::JobStarts && (shop < 0 || shop >= ShopCount);
}

} // namespace

EntryKind alarmKind(AlarmEvent event)
{
    switch (event) {
    case AlarmEvent::GateOpens:
    case AlarmEvent::GateCloses:
        return EntryKind::Moongate;
    case AlarmEvent::JobStarts:
        return EntryKind::Job;
    case AlarmEvent::MerchantMoves:
        return EntryKind::Merchant;
    case AlarmEvent::SecondMerchant:
        break;
    }
    return EntryKind::SecondMerchant;
}

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

AlarmEvent startingEvent(EntryKind kind)
{
    switch (kind) {
    case EntryKind::Moongate:
        return AlarmEvent::GateOpens;
    case EntryKind::Merchant:
        return AlarmEvent::MerchantMoves;
    case EntryKind::Job:
        return AlarmEvent::JobStarts;
    case EntryKind::SecondMerchant:
        break;
    }
    return AlarmEvent::SecondMerchant;
}

QStringList AlarmSettings::*chosenPlaces(EntryKind kind)
{
    switch (kind) {
    case EntryKind::Moongate:
        return &AlarmSettings::gateDestinations;
    case EntryKind::Merchant:
        return &AlarmSettings::merchantStops;
    case EntryKind::Job:
    case EntryKind::SecondMerchant:
        break;
    }
    return nullptr;
}

QList<int> AlarmSettings::leadsFor(const TimetableEntry &entry) const
{
    const QStringList AlarmSettings::*places = chosenPlaces(entry.kind);
    if (places && !chosen(this->*places, entry.place))
        return {};
    QList<int> minutes;
    for (int m = 0; m <= MaxLeadMinutes; ++m) {
        if (hasLead(startingEvent(entry.kind), m))
            minutes << m;
    }
    return minutes;
}

int AlarmSettings::count() const
{
    int n = 0;
    for (quint32 bits : leads)
        n += qPopulationCount(bits);
    return n;
}

bool AlarmSettings::holds(EntryKind kind, qint64 at, qint64 due) const
{
    return (snoozedUntil[int(kind)] && due < snoozedUntil[int(kind)])
            || (skipped[int(kind)] && at == skipped[int(kind)]);
}

bool AlarmSettings::endHolds(qint64 now)
{
    bool ended = false;
    for (int k = 0; k < EntryKindCount; ++k) {
        if (snoozedUntil[k] && now >= snoozedUntil[k]) {
            snoozedUntil[k] = 0;
            ended = true;
        }
        if (skipped[k] && now > skipped[k]) {
            skipped[k] = 0;
            ended = true;
        }
    }
    return ended;
}

bool AlarmSettings::operator==(const AlarmSettings &other) const
{
    return muted == other.muted && leads == other.leads
            && gateDestinations == other.gateDestinations && merchantStops == other.merchantStops
            && sounds == other.sounds && volume == other.volume
            && snoozedUntil == other.snoozedUntil && skipped == other.skipped;
}

QList<AlarmNotice> dueAlarms(const QDateTime &previous, const QDateTime &now, int shop,
                             const AlarmSettings &settings, AlarmState *state, MissedAlarms *missed)
{
    QList<AlarmNotice> notices;
    if (settings.muted || !settings.anySet())
        return notices;
    const qint64 p = epochSeconds(previous);
    const qint64 n = epochSeconds(now);
    if (n <= p)
        return notices;

    // Only a jump forward can leave warnings behind whose events are over:
    // then the entries from the interval's start are looked at as well.
    const bool jumped = missed && n - p > LateTick;
    const QList<TimetableEntry> entries =
            entriesFor(jumped ? std::max(p, n - MissedSpan) - 2 : n - LateTick - 2, n, now, shop,
                       settings);
    // The occurrences counted as missed, each once: its second and event.
    QVarLengthArray<std::pair<qint64, int>, 16> over;

    for (int e = 0; e < AlarmEventCount; ++e) {
        const AlarmEvent event = AlarmEvent(e);
        const quint32 leads = settings.leads[e];
        if (!leads || jobWithoutShop(event, shop))
            continue;

        const Candidates all = occurrences(event, entries);
        Candidates found;
        for (int lead = 0; lead <= MaxLeadMinutes; ++lead) {
            if (!(leads & (1u << lead)))
                continue;
            // Warned at most once per tick interval, and only of what has
            // not yet happened.
            const qint64 after = std::max(p + 60 * lead, n - LateTick - 1);
            for (const Candidate &c : all) {
                if (settings.holds(alarmKind(event), c.at, c.at - 60 * lead))
                    continue;
                if (c.at > after && c.at <= n + 60 * lead)
                    found.append({ c.at, lead, c.row });
                else if (jumped && c.at > p + 60 * lead && c.at <= n - LateTick - 1
                         && !alreadyAnnounced(state->last[e], { c.at, lead, c.row }, n)
                         && noticeFor(event, c, n, shop, settings)) {
                    if (over.contains(std::pair(c.at, e)))
                        continue;
                    over.append({ c.at, e });
                    if (missed->count == 0 || c.at < missed->first.at)
                        missed->first = *noticeFor(event, c, n, shop, settings);
                    ++missed->count;
                }
            }
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

AlarmNotice missedNotice(const MissedAlarms &missed)
{
    const AlarmNotice &first = missed.first;
    const QString when = QDateTime::fromSecsSinceEpoch(first.at).toString(QStringLiteral("HH:mm"));
    return { first.event, first.kind, 0, first.at,
             QStringLiteral("놓친 알림 %1개").arg(missed.count),
             QStringLiteral("처음: %1 (%2 %3)").arg(first.title, when, verb(first.event)) };
}

std::optional<AlarmNotice> remindedNotice(const AlarmNotice &notice, qint64 now)
{
    if (notice.at < now)
        return std::nullopt;
    AlarmNotice again = notice;
    again.text = noticeText(notice.event, notice.at - now);
    return again;
}

std::optional<AlarmOccurrence> nextAlarm(const QDateTime &now, int shop,
                                         const AlarmSettings &settings, EntryKind kind)
{
    const qint64 n = epochSeconds(now);
    const QList<TimetableEntry> entries = entriesFor(n - 2, n + 86400, now, shop, settings);
    std::optional<AlarmOccurrence> next;
    for (int e = 0; e < AlarmEventCount; ++e) {
        const AlarmEvent event = AlarmEvent(e);
        const quint32 leads = settings.leads[e];
        if (!leads || alarmKind(event) != kind || jobWithoutShop(event, shop))
            continue;
        for (const Candidate &c : occurrences(event, entries)) {
            if (c.at <= n || (next && c.at >= next->at))
                continue;
            // The shortest lead warns last.
            if (c.at - 60 * qCountTrailingZeroBits(leads) <= n)
                continue;
            if (const std::optional<AlarmNotice> notice = noticeFor(event, c, n, shop, settings))
                next = AlarmOccurrence { event, c.at, notice->title };
        }
    }
    return next;
}
