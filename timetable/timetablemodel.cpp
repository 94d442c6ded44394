#include "timetablemodel.h"

#include "schedule.h"

#include <QDateTime>
#include <QFont>

namespace {

// How far ahead the window looks.
constexpr int Hours = 24;

QDateTime localAt(qint64 t)
{
    return QDateTime::fromSecsSinceEpoch(t);
}

QString clockText(const QDateTime &t, bool withDay)
{
    const QString time = t.toString(QStringLiteral("HH:mm"));
    return withDay ? t.toString(QStringLiteral("M월 d일 ")) + time : time;
}

QString durationText(qint64 seconds)
{
    if (seconds < 3600)
        return formatMinSec(unsigned(seconds));
    return QStringLiteral("%1시간 %2분").arg(seconds / 3600).arg(seconds % 3600 / 60, 2, 10, QLatin1Char('0'));
}

} // namespace

TimetableModel::TimetableModel(QObject *parent) : QAbstractTableModel(parent) { }

void TimetableModel::update(const QDateTime &now, int shop, const QTimeZone &gameZone)
{
    const qint64 t = epochSeconds(now);
    if (t == second && shop == shownShop && gameZone == zone)
        return;
    if (shop != shownShop || gameZone != zone) {
        // Other rules altogether: no row would stay.
        beginResetModel();
        entries.clear();
        gameTimes.clear();
        shownShop = shop;
        zone = gameZone;
        endResetModel();
    }
    second = t;
    setEntries(timetable(now, now.addSecs(Hours * 3600), zone, shop));
    if (!entries.isEmpty())
        emit dataChanged(index(0, 0), index(int(entries.size()) - 1, ColumnCount - 1));
}

// Both lists are in the timetable's order, so one pass finds the rows that
// left and the ones that joined.
void TimetableModel::setEntries(const QList<TimetableEntry> &next)
{
    int i = 0;
    for (const TimetableEntry &e : next) {
        while (i < entries.size() && earlier(entries[i], e)) {
            beginRemoveRows({}, i, i);
            entries.removeAt(i);
            gameTimes.removeAt(i);
            endRemoveRows();
        }
        if (i < entries.size() && entries[i].start == e.start && entries[i].kind == e.kind) {
            entries[i] = e;
            ++i;
            continue;
        }
        beginInsertRows({}, i, i);
        entries.insert(i, e);
        const int cycle = cycleSecond(inGameZone(localAt(e.start), zone));
        gameTimes.insert(i, formatMinSec(unsigned(gameMinute(cycle))));
        endInsertRows();
        ++i;
    }
    if (i < entries.size()) {
        beginRemoveRows({}, i, int(entries.size()) - 1);
        entries.erase(entries.begin() + i, entries.end());
        gameTimes.erase(gameTimes.begin() + i, gameTimes.end());
        endRemoveRows();
    }
}

bool TimetableModel::underWay(int row) const
{
    return entries[row].start <= second;
}

QString TimetableModel::text(int row, int column) const
{
    const TimetableEntry &e = entries[row];
    switch (column) {
    case KindColumn:
        return entryKindTitle(e.kind);
    case PlaceColumn:
        return e.place;
    case StartColumn: {
        // The day is written where it changes, down the list.
        const QDateTime start = localAt(e.start);
        const QDate above = row > 0 ? localAt(entries[row - 1].start).date() : localAt(second).date();
        return clockText(start, start.date() != above);
    }
    case EndColumn: {
        const QDateTime end = localAt(e.end);
        return clockText(end, end.date() != localAt(e.start).date());
    }
    case GameTimeColumn:
        return gameTimes[row];
    case LeftColumn:
        if (underWay(row))
            return QStringLiteral("진행 중 (%1 남음)").arg(durationText(e.end - second));
        return durationText(e.start - second) + QStringLiteral(" 후");
    }
    return {};
}

QString TimetableModel::rowText(int row) const
{
    const TimetableEntry &e = entries[row];
    return QStringLiteral("%1, %2 ~ %3 (에린시각 %4)")
            .arg(entrySummary(e), localAt(e.start).toString(QStringLiteral("M월 d일 HH:mm")),
                 clockText(localAt(e.end), localAt(e.end).date() != localAt(e.start).date()),
                 gameTimes[row]);
}

int TimetableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(entries.size());
}

int TimetableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TimetableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= entries.size())
        return {};
    if (role == Qt::DisplayRole)
        return text(index.row(), index.column());
    if (role == Qt::FontRole && underWay(index.row())) {
        QFont bold;
        bold.setBold(true);
        return bold;
    }
    return {};
}

QVariant TimetableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char *const titles[ColumnCount] = { "종류", "장소", "시작", "끝", "에린시각", "남은 시간" };
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < ColumnCount)
        return QString::fromUtf8(titles[section]);
    return {};
}
