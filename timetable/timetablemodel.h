#ifndef TIMETABLEMODEL_H
#define TIMETABLEMODEL_H

#include "timetable.h"

#include <QAbstractTableModel>
#include <QTimeZone>

// The coming entries as rows: kind, place, real start and end in local
// time, the game time at the start, and the time left until it. Rows that
// end leave and new ones join without the others being touched, so that
// the view keeps its selection and scroll position as the list moves on.
class TimetableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { KindColumn, PlaceColumn, StartColumn, EndColumn, GameTimeColumn, LeftColumn,
                  ColumnCount };

    explicit TimetableModel(QObject *parent = nullptr);

    // Lists the entries of the day from `now`, when the second, the shop or
    // the zone is new; the time left changes every second.
    void update(const QDateTime &now, int shop, const QTimeZone &gameZone);

    const TimetableEntry &entry(int row) const { return entries.at(row); }
    int shop() const { return shownShop; }
    const QTimeZone &gameZone() const { return zone; }
    // One row as a line of text, as it is copied.
    QString rowText(int row) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    void setEntries(const QList<TimetableEntry> &next);
    QString text(int row, int column) const;
    bool underWay(int row) const;

    QList<TimetableEntry> entries;
    QStringList gameTimes; // per row: the game's clock at its start
    qint64 second = 0;
    qint64 nextChange = 0;
    int shownShop = -1;
    QTimeZone zone;
};

#endif
