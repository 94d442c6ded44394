// What the window shows: the panels the player keeps, the compact view, and
// the zone the game's clock counts in.
#include "widget.h"

#include "qglasslabel.h"
#include "schedule.h"
#include "setup.h"
#include "timetablewindow.h"

#include <QActionGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QInputDialog>
#include <QMenu>

namespace {

const char *const PanelTitles[PanelCount] = {
    "에린시간·현실시간", "문게이트", "아르바이트", "요일효과", "어드밴스트 아이템",
    "프라이스", "플레타", "제작 정보",
};

// The zone the game keeps, offered first.
const QByteArray GameHomeZone = QByteArrayLiteral("Asia/Seoul");

// The compact view: the times, the moongate and the merchant, a line each.
bool inCompactView(Panel panel)
{
    return panel == Panel::Times || panel == Panel::Moongate || panel == Panel::Merchant;
}

} // namespace

bool Widget::isCompact() const
{
    return setupFile->setup().compact || compactToFit;
}

void Widget::applyView()
{
    const Setup &setup = setupFile->setup();
    const bool compact = isCompact();
    for (int p = 0; p < PanelCount; ++p) {
        const bool shown = !setup.hidden[p] && (!compact || inCompactView(Panel(p)));
        for (QWidget *widget : std::as_const(panelWidgets[p]))
            widget->setVisible(shown);
    }
    // Hidden widgets take no room: the grid closes up around them, and the
    // window keeps following its texts' size.
    if (compact) {
        moongateRouteLabel->hide();
        merchantNextLabel->hide();
        merchantAfterLabel->hide();
    }
    mainLayout->activate();
}

// The entries that every right-click menu of the window ends with.
void Widget::addViewActions(QMenu *menu)
{
    const Setup &setup = setupFile->setup();
    menu->addAction(timetableAction);
    menu->addSeparator();
    QMenu *panels = menu->addMenu(QStringLiteral("표시할 항목"));
    for (int p = 0; p < PanelCount; ++p) {
        QAction *action = panels->addAction(QString::fromUtf8(PanelTitles[p]));
        action->setCheckable(true);
        action->setChecked(!setup.hidden[p]);
        connect(action, &QAction::toggled, this, [this, p](bool shown) { setPanelShown(Panel(p), shown); });
    }

    QAction *compact = menu->addAction(QStringLiteral("간단히 보기"));
    compact->setCheckable(true);
    compact->setChecked(isCompact());
    connect(compact, &QAction::toggled, this, &Widget::setCompact);

    QMenu *zones = menu->addMenu(QStringLiteral("게임 시간대"));
    auto *group = new QActionGroup(zones);
    auto addZone = [&](const QString &title, const QByteArray &id) {
        QAction *action = zones->addAction(title);
        action->setCheckable(true);
        action->setChecked(gameZone.isValid() ? gameZone.id() == id : id.isEmpty());
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, id] { setGameZone(id); });
    };
    addZone(QStringLiteral("PC 시간대 (%1)").arg(QString::fromUtf8(QTimeZone::systemTimeZoneId())),
            QByteArray());
    addZone(QStringLiteral("%1 (게임 서버)").arg(QString::fromUtf8(GameHomeZone)), GameHomeZone);
    if (gameZone.isValid() && gameZone.id() != GameHomeZone)
        addZone(QString::fromUtf8(gameZone.id()), gameZone.id());
    zones->addSeparator();
    connect(zones->addAction(QStringLiteral("다른 시간대...")), &QAction::triggered, this,
            &Widget::chooseGameZone);
}

void Widget::setPanelShown(Panel panel, bool shown)
{
    setupFile->change([panel, shown](Setup &s) { s.hidden[int(panel)] = !shown; });
    compactToFit = false;
    applyView();
    fitOnScreen(false);
    placeOnScreen();
}

void Widget::setCompact(bool compact)
{
    setupFile->change([compact](Setup &s) { s.compact = compact; });
    compactToFit = false;
    applyView();
    fitOnScreen(false);
    placeOnScreen();
}

void Widget::chooseGameZone()
{
    QStringList ids;
    const QList<QByteArray> available = QTimeZone::availableTimeZoneIds();
    for (const QByteArray &id : available)
        ids << QString::fromUtf8(id);
    const QString current = QString::fromUtf8(gameZone.isValid() ? gameZone.id() : GameHomeZone);
    bool ok = false;
    const QString id = QInputDialog::getItem(this, QStringLiteral("게임 시간대"),
                                             QStringLiteral("게임 시계가 자정을 세는 시간대:"), ids,
                                             qMax(0, ids.indexOf(current)), false, &ok);
    if (ok && !id.isEmpty())
        setGameZone(id.toUtf8());
}

void Widget::showTimetable()
{
    if (!timetable) {
        timetable = new TimetableWindow(alarms);
        timetable->update(QDateTime::currentDateTime(), jobCombo->currentIndex(), gameZone);
    }
    timetable->show();
    timetable->raise();
    timetable->activateWindow();
}

// The game's day, weekday and everything built on them count from the
// zone's midnight; the real time stays the PC's.
void Widget::setGameZone(const QByteArray &id)
{
    gameZone = QTimeZone(id);
    const QString zone = gameZone.isValid() ? QString::fromUtf8(id) : QString();
    setupFile->change([zone](Setup &s) { s.zone = zone; });
    shownShop = -1;
    refresh();
}
