#ifndef TIMETABLEWINDOW_H
#define TIMETABLEWINDOW_H

#include <QWidget>

class AlarmController;
class QComboBox;
class QDateTime;
class QLineEdit;
class QTableView;
class QTimeZone;
class TimetableFilterModel;
class TimetableModel;

// The coming day's entries of every panel, filtered by kind and searched by
// place. The clock's window feeds it the time at each of its ticks, so it
// costs nothing of its own and is gone once closed.
class TimetableWindow : public QWidget
{
    Q_OBJECT

public:
    explicit TimetableWindow(AlarmController *alarms);

    void update(const QDateTime &now, int shop, const QTimeZone &gameZone);

private:
    void createFilters();
    void createView();
    void showRowMenu(const QPoint &pos);
    void copyRow(int row);
    void exportCalendar();

    AlarmController *alarms;
    TimetableModel *model;
    TimetableFilterModel *shown;
    QComboBox *kindCombo;
    QLineEdit *searchEdit;
    QTableView *view;
};

#endif
