#include "widget.h"

#include "alarmcontroller.h"
#include "alarmnotifier.h"
#include "glass.h"
#include "icons.h"
#include "qglasscheckbox.h"
#include "qglasshighlight.h"
#include "qglasslabel.h"
#include "report.h"
#include "schedule.h"
#include "tables.h"
#include "timetablewindow.h"
#include "version.h"

#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QMenu>
#include <QSlider>
#include <QTimerEvent>
#include <QVBoxLayout>

namespace {

constexpr int RefreshInterval = 500;

// The rows of the panels that have alarms.
const std::pair<Widget::Row, AlarmPanel> alarmRows[] = {
    { Widget::MoongateRow, AlarmPanel::Moongate },
    { Widget::JobRow, AlarmPanel::Job },
    { Widget::MerchantRow, AlarmPanel::Merchant },
    { Widget::NoticeRow, AlarmPanel::SecondMerchant },
};

} // namespace

const std::array<Widget::DataLabel, 11> Widget::dataLabels = { {
    { &Widget::gameTimeLabel, &ScheduleTexts::gameTime, "gameTimeLabel" },
    { &Widget::realTimeLabel, &ScheduleTexts::realTime, "realTimeLabel" },
    { &Widget::moongateLabel, &ScheduleTexts::moongate, "moongateLabel" },
    { &Widget::moongateRouteLabel, &ScheduleTexts::moongateRoute, "moongateRouteLabel" },
    { &Widget::jobLabel, &ScheduleTexts::job, "jobLabel" },
    { &Widget::dayNameLabel, &ScheduleTexts::dayName, "dayNameLabel" },
    { &Widget::dayEffectLabel, &ScheduleTexts::dayEffect, "dayEffectLabel" },
    { &Widget::dayItemLabel, &ScheduleTexts::dayItem, "dayItemLabel" },
    { &Widget::merchantLabel, &ScheduleTexts::merchant, "merchantLabel" },
    { &Widget::merchantNextLabel, &ScheduleTexts::merchantNext, "merchantNextLabel" },
    { &Widget::merchantAfterLabel, &ScheduleTexts::merchantAfter, "merchantAfterLabel" },
} };

Widget::Widget()
    : glass(new Glass), setupFile(std::make_unique<SetupFile>())
{
    Glass::SetBkColor(palette().color(QPalette::Window));
    const bool composited = glass->IsCompositionEnabled();
    compositedAtLastTick = composited;
    // Only a window created with an alpha channel can turn to glass later:
    // the attribute has no effect once the native window exists.
    if (composited)
        setAttribute(Qt::WA_TranslucentBackground);

    createDataLabels();
    createJobCombo();
    createPanels();
    createControls(composited);
    createGrid();
    createTray();
    explainUnsupportedModes();
    createAlarms();

    setLayout(mainLayout);
    // The window is exactly as large as its texts need, and the user cannot
    // resize it; refresh() keeps it so as the texts change.
    mainLayout->setSizeConstraint(QLayout::SetFixedSize);
    // On Windows a frame that cannot be dragged, rather than a sizing border
    // that refuses every drag; other platforms ignore the hint.
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);

    setWindowIcon(loadIcon(QStringLiteral(":/icon.ico")));
    setWindowTitle(tr("Tarvenel Timer v" TIMER_VERSION));

    restoreSetup();
    refreshTimer.start(RefreshInterval, this);
}

Widget::~Widget()
{
    ProblemReport::session().setChannel({});
    delete timetable;
    delete glass;
}

void Widget::createDataLabels()
{
    for (const DataLabel &data : dataLabels) {
        auto *label = new QGlassLabel(QStringLiteral("loading..."));
        label->setObjectName(QLatin1String(data.name));
        this->*data.label = label;
    }
}

void Widget::createJobCombo()
{
    jobCombo = new QComboBox;
    jobCombo->setObjectName(QStringLiteral("jobCombo"));
    for (const PartTimeJob &job : partTimeJobs)
        jobCombo->addItem(job.shopName);
}

// The boxes that the grid's rows hold beside their captions.
void Widget::createPanels()
{
    auto *realTimeCaption = new QGlassLabel(QStringLiteral("현실시간:"));
    clockLayout = new QHBoxLayout;
    clockLayout->setSpacing(15);
    clockLayout->addWidget(gameTimeLabel, 0, Qt::AlignTop);
    clockLayout->addWidget(realTimeCaption, 0, Qt::AlignTop);
    clockLayout->addWidget(realTimeLabel, 0, Qt::AlignTop);
    clockLayout->addStretch();

    moongateLayout = new QVBoxLayout;
    moongateLayout->setSpacing(10);
    moongateLayout->addWidget(moongateLabel);
    moongateLayout->addWidget(moongateRouteLabel);

    jobLayout = new QHBoxLayout;
    jobLayout->setSpacing(15);
    jobLayout->addWidget(jobCombo, 0, Qt::AlignVCenter);
    jobLayout->addWidget(jobLabel, 0, Qt::AlignVCenter);

    dayLayout = new QVBoxLayout;
    dayLayout->setSpacing(10);
    dayLayout->addWidget(dayNameLabel);
    dayLayout->addWidget(dayEffectLabel);

    merchantLayout = new QVBoxLayout;
    merchantLayout->setSpacing(10);
    merchantLayout->addWidget(merchantLabel);
    merchantLayout->addWidget(merchantNextLabel);
    merchantLayout->addWidget(merchantAfterLabel);

    auto *hours = new QGlassLabel(hoursNotice());
    auto *place = new QGlassLabel(placeNotice());
    noticeLayout = new QVBoxLayout;
    noticeLayout->setSpacing(10);
    noticeLayout->addWidget(hours);
    noticeLayout->addWidget(place);
    noticeLayout->addStretch();

    panelWidgets[int(Panel::Times)] = { gameTimeLabel, realTimeCaption, realTimeLabel };
    panelWidgets[int(Panel::Moongate)] = { moongateLabel, moongateRouteLabel };
    panelWidgets[int(Panel::Job)] = { jobCombo, jobLabel };
    panelWidgets[int(Panel::Day)] = { dayNameLabel, dayEffectLabel };
    panelWidgets[int(Panel::Items)] = { dayItemLabel };
    panelWidgets[int(Panel::Merchant)] = { merchantLabel, merchantNextLabel, merchantAfterLabel };
    panelWidgets[int(Panel::Notice)] = { hours, place };
}

void Widget::createGrid()
{
    // Each caption belongs to its row's panel, and is hidden with it.
    auto caption = [this](const char *text, Panel panel) {
        auto *label = new QGlassLabel(QString::fromUtf8(text));
        panelWidgets[int(panel)].append(label);
        return label;
    };
    auto *credit = new QGlassLabel(creditLine());
    credit->setWordWrap(true);
    panelWidgets[int(Panel::Credit)] = { credit };

    mainLayout = new QGridLayout;
    mainLayout->setVerticalSpacing(10);
    mainLayout->addWidget(caption("에린시간:", Panel::Times), ClockRow, 0, Qt::AlignTop);
    mainLayout->addLayout(clockLayout, ClockRow, 1, Qt::AlignTop);
    mainLayout->addWidget(caption("문게이트:", Panel::Moongate), MoongateRow, 0, Qt::AlignTop);
    mainLayout->addLayout(moongateLayout, MoongateRow, 1, Qt::AlignTop);
    mainLayout->addWidget(caption("아르바이트:", Panel::Job), JobRow, 0, Qt::AlignVCenter);
    mainLayout->addLayout(jobLayout, JobRow, 1, Qt::AlignVCenter);
    mainLayout->addWidget(caption("요일효과:", Panel::Day), DayRow, 0, Qt::AlignTop);
    mainLayout->addLayout(dayLayout, DayRow, 1, Qt::AlignTop);
    mainLayout->addWidget(caption("어드밴스트 아이템:", Panel::Items), ItemCaptionRow, 0, 1, -1, Qt::AlignTop);
    mainLayout->addWidget(dayItemLabel, ItemRow, 1, Qt::AlignTop);
    mainLayout->addWidget(caption("프라이스:", Panel::Merchant), MerchantRow, 0, Qt::AlignTop);
    mainLayout->addLayout(merchantLayout, MerchantRow, 1, Qt::AlignTop);
    mainLayout->addWidget(caption("플레타:", Panel::Notice), NoticeRow, 0, Qt::AlignTop);
    mainLayout->addLayout(noticeLayout, NoticeRow, 1, Qt::AlignTop);
    mainLayout->addWidget(credit, CreditRow, 0, 1, -1, Qt::AlignTop);
    mainLayout->addLayout(controlLayout, ControlRow, 0, 1, -1, Qt::AlignTop);
}

void Widget::createControls(bool composited)
{
    topmostCheck = new QGlassCheckBox(QStringLiteral("항상 위"));
    topmostCheck->setObjectName(QStringLiteral("topmostCheck"));
    // Glass can only be offered when the desktop composited at start: the
    // window's alpha channel is chosen once, when it is created.
    if (composited) {
        glassCheck = new QGlassCheckBox(QStringLiteral("Vista GlassFrame"));
        glassCheck->setObjectName(QStringLiteral("glassCheck"));
        glassCheck->setTristate(true);
    }
    opacitySlider = new QSlider(Qt::Horizontal);
    opacitySlider->setObjectName(QStringLiteral("opacitySlider"));
    opacitySlider->setRange(20, 100);
    opacitySlider->setValue(100);

    // On every change of state, not only on clicks: a click-through window
    // takes no clicks, but assistive tools can still toggle its boxes.
    connect(topmostCheck, &QCheckBox::toggled, this, &Widget::toggleTopmost);
    if (glassCheck)
        connect(glassCheck, &QCheckBox::stateChanged, this, &Widget::toggleAeroGlass);
    connect(opacitySlider, &QSlider::valueChanged, this, &Widget::changeOpacity);

    controlLayout = new QHBoxLayout;
    controlLayout->setSpacing(15);
    controlLayout->addWidget(topmostCheck);
    if (glassCheck)
        controlLayout->addWidget(glassCheck);
    controlLayout->addWidget(opacitySlider, 2);
    controlLayout->addStretch();
}

void Widget::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == placeTimer.timerId()) {
        placeTimer.stop();
        rememberPlace();
        return;
    }
    if (event->timerId() == trayGrace.timerId()) {
        trayGrace.stop();
        checkTray();
        listenForProblems();
        return;
    }
    refresh();
    checkTray();
}

void Widget::refresh()
{
    currentTime = QDateTime::currentDateTime();
    const int shop = jobCombo->currentIndex();
    // Every text is a function of the local second and the shop, so the tick
    // that comes in the same second as the last has nothing new to show.
    const qint64 second = currentTime.date().toJulianDay() * 86400
            + currentTime.time().msecsSinceStartOfDay() / 1000;
    if (second != shownSecond || shop != shownShop) {
        shownSecond = second;
        shownShop = shop;
        showTexts(scheduleTexts(currentTime, shop, gameZone));
    }

    // The layout's fixed-size constraint sizes the window to its texts (with
    // the wrapped credit line's height for the width). Laying out now rather
    // than at the next event-loop turn resizes it on the same tick.
    mainLayout->activate();

    const bool composited = glass->IsCompositionEnabled();
    if (composited != compositedAtLastTick) {
        compositedAtLastTick = composited;
        compositionChanged();
    }

    alarms->tick(inGameZone(currentTime, gameZone), shop);
    if (alarmHighlight->isVisible())
        alarmHighlight->follow(rowArea(highlightedRow));
    if (timetable)
        timetable->update(currentTime, shop, gameZone);
}

void Widget::showTexts(const ScheduleTexts &texts)
{
    // QLabel ignores a text equal to the one it shows, so only the labels
    // whose text changed are repainted.
    for (const DataLabel &data : dataLabels)
        (this->*data.label)->setText(texts.*data.text);
}

void Widget::createAlarms()
{
    alarms = new AlarmController(AlarmNotifier::create(trayIcon), this);
    alarmHighlight = new QGlassHighlight(this);
    connect(alarms, &AlarmController::alarmGiven, this, &Widget::askForAttention);
}

QRect Widget::rowArea(Row row) const
{
    return mainLayout->cellRect(row, 0).united(mainLayout->cellRect(row, 1));
}

// The alarm's row lights up, and the window asks the desktop for the
// player's attention (a flashing task-bar button, the urgency hint), but it
// never comes to the front nor takes the keyboard from the game.
void Widget::askForAttention(EntryKind kind)
{
    for (const auto &[row, panel] : alarmRows) {
        if (AlarmController::panelKind(panel) == kind)
            highlightedRow = row;
    }
    alarmHighlight->highlight(rowArea(highlightedRow), AlarmController::AttentionMilliseconds);
    QApplication::alert(this, AlarmController::AttentionMilliseconds);
}

// A right click on a panel with alarms offers them, anywhere in its row;
// every right click offers what the window shows.
void Widget::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu *menu = nullptr;
    for (const auto &[row, panel] : alarmRows) {
        const QRect cells = rowArea(row);
        if (event->pos().y() >= cells.top() && event->pos().y() <= cells.bottom()) {
            menu = alarms->createMenu(panel, this);
            menu->addSeparator();
            break;
        }
    }
    if (!menu)
        menu = new QMenu(this);
    addViewActions(menu);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}
