#include "timetablewindow.h"

#include "alarmcontroller.h"
#include "calendar.h"
#include "report.h"
#include "timetablemodel.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QSortFilterProxyModel>
#include <QStandardPaths>
#include <QTableView>
#include <QVBoxLayout>

// The rows of the chosen kind whose place holds the searched text.
class TimetableFilterModel : public QSortFilterProxyModel
{
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    void setKind(int kind) // -1 for every kind
    {
        wantedKind = kind;
        invalidateRowsFilter();
    }
    void setSearch(const QString &text)
    {
        search = text.trimmed();
        invalidateRowsFilter();
    }
    bool wants(EntryKind kind, const QString &place) const
    {
        return (wantedKind < 0 || int(kind) == wantedKind)
                && place.contains(search, Qt::CaseInsensitive);
    }

protected:
    bool filterAcceptsRow(int row, const QModelIndex &) const override
    {
        const TimetableEntry &e = static_cast<TimetableModel *>(sourceModel())->entry(row);
        return wants(e.kind, e.place);
    }

private:
    int wantedKind = -1;
    QString search;
};

TimetableWindow::TimetableWindow(AlarmController *alarms)
    : alarms(alarms), model(new TimetableModel(this)), shown(new TimetableFilterModel(this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    // Closing the timetable is no reason for the clock to end.
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle(QStringLiteral("시간표"));
    shown->setSourceModel(model);

    createFilters();
    createView();

    auto *filters = new QHBoxLayout;
    filters->addWidget(kindCombo);
    filters->addWidget(searchEdit, 1);
    auto *exportButton = new QPushButton(QStringLiteral("캘린더로 내보내기..."));
    connect(exportButton, &QPushButton::clicked, this, &TimetableWindow::exportCalendar);
    filters->addWidget(exportButton);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(view);
    resize(820, 480);
}

void TimetableWindow::createFilters()
{
    kindCombo = new QComboBox;
    kindCombo->setObjectName(QStringLiteral("kindCombo"));
    kindCombo->addItem(QStringLiteral("전체"), -1);
    for (int k = 0; k < EntryKindCount; ++k)
        kindCombo->addItem(entryKindTitle(EntryKind(k)), k);
    connect(kindCombo, &QComboBox::currentIndexChanged, this,
            [this] { shown->setKind(kindCombo->currentData().toInt()); });

    searchEdit = new QLineEdit;
    searchEdit->setObjectName(QStringLiteral("searchEdit"));
    searchEdit->setPlaceholderText(QStringLiteral("장소 검색"));
    searchEdit->setAccessibleName(QStringLiteral("장소 검색"));
    searchEdit->setClearButtonEnabled(true);
    connect(searchEdit, &QLineEdit::textChanged, this, [this](const QString &text) { shown->setSearch(text); });
}

void TimetableWindow::createView()
{
    view = new QTableView;
    view->setObjectName(QStringLiteral("timetableView"));
    view->setModel(shown);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setShowGrid(false);
    view->setWordWrap(false);
    view->setAlternatingRowColors(true);
    view->verticalHeader()->hide();
    // The place takes what the times leave: the merchant's stops are long.
    view->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    view->horizontalHeader()->setSectionResizeMode(TimetableModel::PlaceColumn, QHeaderView::Stretch);
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view, &QWidget::customContextMenuRequested, this, &TimetableWindow::showRowMenu);
}

void TimetableWindow::update(const QDateTime &now, int shop, const QTimeZone &gameZone)
{
    model->update(now, shop, gameZone);
}

void TimetableWindow::showRowMenu(const QPoint &pos)
{
    const QModelIndex index = shown->mapToSource(view->indexAt(pos));
    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    if (index.isValid()) {
        const int row = index.row();
        alarms->addEntryAlarm(menu, model->entry(row));
        connect(menu->addAction(QStringLiteral("복사")), &QAction::triggered, this,
                [this, row] { copyRow(row); });
        menu->addSeparator();
    }
    connect(menu->addAction(QStringLiteral("캘린더로 내보내기...")), &QAction::triggered, this,
            &TimetableWindow::exportCalendar);
    menu->popup(view->viewport()->mapToGlobal(pos));
}

void TimetableWindow::copyRow(int row)
{
    if (row < model->rowCount())
        QApplication::clipboard()->setText(model->rowText(row));
}

// The entries the window shows, by kind and searched place, for the days
// ahead.
void TimetableWindow::exportCalendar()
{
    const QString name = QFileDialog::getSaveFileName(
            this, QStringLiteral("캘린더로 내보내기"),
            QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
                    .filePath(QStringLiteral("타르베넬 시간표.ics")),
            QStringLiteral("iCalendar (*.ics)"));
    if (name.isEmpty())
        return;

    const QDateTime now = QDateTime::currentDateTime();
    QList<TimetableEntry> entries;
    for (const TimetableEntry &e : timetable(now, now.addDays(CalendarDays), model->gameZone(), model->shop())) {
        if (shown->wants(e.kind, e.place))
            entries << e;
    }
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly) || file.write(calendarFile(entries, alarms->settings(), now)) < 0
        || !file.commit()) {
        QMessageBox::warning(this, QStringLiteral("캘린더로 내보내기"),
                             QStringLiteral("%1 에 쓰지 못했습니다.\n%2")
                                     .arg(shownPath(name), file.errorString()));
    }
}
