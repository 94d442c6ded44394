#include "schedule.h"

#include "tables.h"

#include <QDateTime>
#include <QTimeZone>

namespace {

QDateTime startOfDate(QDate day, const QDateTime &zoneOf)
{
    switch (zoneOf.timeSpec()) {
    case Qt::TimeZone:
        return day.startOfDay(zoneOf.timeZone());
    case Qt::OffsetFromUTC:
        return day.startOfDay(Qt::OffsetFromUTC, zoneOf.offsetFromUtc());
    default:
        return day.startOfDay(zoneOf.timeSpec());
    }
}

// Countdown to a cycle second that may lie in the next game day.
int secondsUntil(int target, int cycle)
{
    return floorMod(qint64(target) - cycle, GameDaySeconds);
}

QString moongateText(qint64 t, int cycle, QString *route)
{
    const int i = moongateRow(t);
    const int next1 = (i + 1) % MoongateRotation;
    const int next2 = (next1 + 1) % MoongateRotation;
    *route = QStringLiteral(" → ") + moongateDestinations[next1] + QStringLiteral(" → ")
            + moongateDestinations[next2];

    if (!gateOpen(cycle))
        return moongateDestinations[i] + QStringLiteral(" - 대기 (")
                + formatMinSec(GateOpens - cycle) + QStringLiteral(" 후 열림)");
    return moongateDestinations[i] + QStringLiteral(" - 열림 (")
            + formatMinSec(secondsUntil(GateCloses - 1, cycle)) + QStringLiteral(" 후 닫힘)");
}

QString jobText(int shop, int cycle)
{
    if (shop < 0 || shop >= ShopCount)
        return QStringLiteral("out of range");
    const PartTimeJob &job = partTimeJobs[shop];
    if (jobRunning(shop, cycle))
        return QStringLiteral("진행 중 (") + formatMinSec(job.end - quint32(cycle))
                + QStringLiteral(" 후 종료)");
    return QStringLiteral("대기 중 (") + formatMinSec(secondsUntil(int(job.start), cycle))
            + QStringLiteral(" 후 시작)");
}

} // namespace

bool gateOpen(int cycle)
{
    return cycle < GateCloses || cycle > GateOpens;
}

bool jobRunning(int shop, int cycle)
{
    if (shop < 0 || shop >= ShopCount)
        return false;
    const quint32 c = quint32(cycle);
    return c > partTimeJobs[shop].start && c <= partTimeJobs[shop].end;
}

int gameMinute(int cycle)
{
    return 2 * cycle / 3;
}

int secondMerchantHoursAt(int cycle)
{
    const int minute = gameMinute(cycle);
    for (std::size_t i = 0; i < secondMerchantHours.size(); ++i) {
        if (minute >= secondMerchantHours[i].from && minute < secondMerchantHours[i].to)
            return int(i);
    }
    return -1;
}

qint64 floorDiv(qint64 a, qint64 b)
{
    const qint64 q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

int floorMod(qint64 a, int b)
{
    const qint64 r = a % b;
    return int(r < 0 ? r + b : r);
}

int moongateRow(qint64 t)
{
    return floorMod(floorDiv(t - MoongateOffset, GameDaySeconds), MoongateRotation);
}

int merchantRow(qint64 t)
{
    return floorMod(floorDiv(t, GameDaySeconds), MerchantRoute);
}

QDateTime startOfDay(const QDateTime &instant, int daysLater)
{
    const QDate day = instant.date().addDays(daysLater);
    const QDateTime start = startOfDate(day, instant);
    // A zone skips at most one date at a time; the next one stands for it.
    if (start.isValid() || daysLater == 0)
        return start;
    return startOfDate(day.addDays(daysLater < 0 ? -1 : 1), instant);
}

QString formatMinSec(unsigned n)
{
    // "%02u:%02u", without a printf for every countdown every second.
    const unsigned high = n / 60;
    const unsigned low = n % 60;
    QString text = QString::number(high);
    if (high < 10)
        text.prepend(u'0');
    text += u':';
    text += QChar(u'0' + low / 10);
    text += QChar(u'0' + low % 10);
    return text;
}

qint64 epochSeconds(const QDateTime &instant)
{
    return floorDiv(instant.toMSecsSinceEpoch(), 1000);
}

int cycleSecond(const QDateTime &instant)
{
    return floorMod(epochSeconds(instant) - epochSeconds(startOfDay(instant)), GameDaySeconds);
}

QDateTime inGameZone(const QDateTime &instant, const QTimeZone &gameZone)
{
    return gameZone.isValid() ? instant.toTimeZone(gameZone) : instant;
}

ScheduleTexts scheduleTexts(const QDateTime &local, int shop, const QTimeZone &gameZone)
{
    ScheduleTexts texts;
    const QTime clock = local.time();
    texts.realTime = formatMinSec(unsigned(clock.hour() * 60 + clock.minute()));

    const QDateTime instant = inGameZone(local, gameZone);
    const qint64 t = epochSeconds(instant);
    const int cycle = cycleSecond(instant);
    texts.cycleSecond = cycle;

    texts.gameTime = formatMinSec(unsigned(gameMinute(cycle)));

    texts.moongate = moongateText(t, cycle, &texts.moongateRoute);
    texts.job = jobText(shop, cycle);

    const int weekday = instant.date().dayOfWeek() % WeekDays;
    texts.dayName = dayNames[weekday];
    texts.dayEffect = dayEffects[weekday];
    texts.dayItem = dayItems[weekday];

    const int j = merchantRow(t);
    texts.merchant = merchantLocations[j] + QStringLiteral(" - ")
            + formatMinSec(unsigned(GameDaySeconds - cycle)) + QStringLiteral(" 후 이동");
    texts.merchantNext = QStringLiteral("→ ") + merchantLocations[(j + 1) % MerchantRoute];
    texts.merchantAfter = QStringLiteral("→ ") + merchantLocations[(j + 2) % MerchantRoute];
    return texts;
}
