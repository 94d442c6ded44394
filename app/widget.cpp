#include "widget.h"

#include "alarmcontroller.h"
#include "alarmnotifier.h"
#include "glass.h"
#include "icons.h"
#include "qglasscheckbox.h"
#include "qglasslabel.h"
#include "schedule.h"
#include "tables.h"

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

// Named after the member that holds it, so tests can find it.
QGlassLabel *newDataLabel(const char *name)
{
    auto *label = new QGlassLabel(QStringLiteral("loading..."));
    label->setObjectName(QLatin1String(name));
    return label;
}

} // namespace

Widget::Widget()
    : glass(new Glass)
{
    Glass::SetBkColor(palette().color(QPalette::Window));
    const bool composited = glass->IsCompositionEnabled();
    compositedAtLastTick = composited;
    // Only a window created with an alpha channel can turn to glass later:
    // the attribute has no effect once the native window exists.
    if (composited)
        setAttribute(Qt::WA_TranslucentBackground);

    gameTimeLabel = newDataLabel("gameTimeLabel");
    realTimeLabel = newDataLabel("realTimeLabel");
    moongateLabel = newDataLabel("moongateLabel");
    moongateRouteLabel = newDataLabel("moongateRouteLabel");
    jobLabel = newDataLabel("jobLabel");
    dayNameLabel = newDataLabel("dayNameLabel");
    dayEffectLabel = newDataLabel("dayEffectLabel");
    dayItemLabel = newDataLabel("dayItemLabel");
    merchantLabel = newDataLabel("merchantLabel");
    merchantNextLabel = newDataLabel("merchantNextLabel");
    merchantAfterLabel = newDataLabel("merchantAfterLabel");

    jobCombo = new QComboBox;
    jobCombo->setObjectName(QStringLiteral("jobCombo"));
    for (const PartTimeJob &job : partTimeJobs)
        jobCombo->addItem(job.shopName);

    clockLayout = new QHBoxLayout;
    clockLayout->setSpacing(15);
    clockLayout->addWidget(gameTimeLabel, 0, Qt::AlignTop);
    clockLayout->addWidget(new QGlassLabel(QStringLiteral("현실시간:")), 0, Qt::AlignTop);
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

    noticeLayout = new QVBoxLayout;
    noticeLayout->setSpacing(10);
    noticeLayout->addWidget(new QGlassLabel(hoursNotice()));
    noticeLayout->addWidget(new QGlassLabel(placeNotice()));
    noticeLayout->addStretch();

    auto *credit = new QGlassLabel(creditLine());
    credit->setWordWrap(true);

    createControls(composited);

    mainLayout = new QGridLayout;
    mainLayout->setVerticalSpacing(10);
    mainLayout->addWidget(new QGlassLabel(QStringLiteral("에린시간:")), 0, 0, Qt::AlignTop);
    mainLayout->addLayout(clockLayout, 0, 1, Qt::AlignTop);
    mainLayout->addWidget(new QGlassLabel(QStringLiteral("문게이트:")), 1, 0, Qt::AlignTop);
    mainLayout->addLayout(moongateLayout, 1, 1, Qt::AlignTop);
    mainLayout->addWidget(new QGlassLabel(QStringLiteral("아르바이트:")), 2, 0, Qt::AlignVCenter);
    mainLayout->addLayout(jobLayout, 2, 1, Qt::AlignVCenter);
    mainLayout->addWidget(new QGlassLabel(QStringLiteral("요일효과:")), 3, 0, Qt::AlignTop);
    mainLayout->addLayout(dayLayout, 3, 1, Qt::AlignTop);
    mainLayout->addWidget(new QGlassLabel(QStringLiteral("어드밴스트 아이템:")), 4, 0, 1, -1, Qt::AlignTop);
    mainLayout->addWidget(dayItemLabel, 5, 1, Qt::AlignTop);
    mainLayout->addWidget(new QGlassLabel(QStringLiteral("프라이스:")), 6, 0, Qt::AlignTop);
    mainLayout->addLayout(merchantLayout, 6, 1, Qt::AlignTop);
    mainLayout->addWidget(new QGlassLabel(QStringLiteral("플레타:")), 7, 0, Qt::AlignTop);
    mainLayout->addLayout(noticeLayout, 7, 1, Qt::AlignTop);
    mainLayout->addWidget(credit, 8, 0, 1, -1, Qt::AlignTop);
    mainLayout->addLayout(controlLayout, 9, 0, 1, -1, Qt::AlignTop);

    createTray();
    explainUnsupportedModes();
    alarms = new AlarmController(AlarmNotifier::create(trayIcon), this);

    setLayout(mainLayout);
    // The window is exactly as large as its texts need, and the user cannot
    // resize it; refresh() keeps it so as the texts change.
    mainLayout->setSizeConstraint(QLayout::SetFixedSize);
    // On Windows a frame that cannot be dragged, rather than a sizing border
    // that refuses every drag; other platforms ignore the hint.
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);

    setWindowIcon(loadIcon(QStringLiteral(":/icon.ico")));
    setWindowTitle(tr("Tarvenel Timer v0.3.1"));

    refreshTimer.start(RefreshInterval, this);
}

Widget::~Widget()
{
    delete glass;
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

void Widget::timerEvent(QTimerEvent *)
{
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
        showTexts(scheduleTexts(currentTime, shop));
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

    alarms->tick(currentTime, shop);
}

void Widget::showTexts(const ScheduleTexts &texts)
{
    // QLabel ignores a text equal to the one it shows, so only the labels
    // whose text changed are repainted.
    gameTimeLabel->setText(texts.gameTime);
    realTimeLabel->setText(texts.realTime);
    moongateLabel->setText(texts.moongate);
    moongateRouteLabel->setText(texts.moongateRoute);
    jobLabel->setText(texts.job);
    dayNameLabel->setText(texts.dayName);
    dayEffectLabel->setText(texts.dayEffect);
    dayItemLabel->setText(texts.dayItem);
    merchantLabel->setText(texts.merchant);
    merchantNextLabel->setText(texts.merchantNext);
    merchantAfterLabel->setText(texts.merchantAfter);
}

// A right click on a panel with alarms offers them, anywhere in its row.
void Widget::contextMenuEvent(QContextMenuEvent *event)
{
    static const std::pair<int, AlarmPanel> panelRows[] = {
        { 1, AlarmPanel::Moongate },
        { 2, AlarmPanel::Job },
        { 6, AlarmPanel::Merchant },
        { 7, AlarmPanel::SecondMerchant },
    };
    for (const auto &[row, panel] : panelRows) {
        const QRect cells = mainLayout->cellRect(row, 0).united(mainLayout->cellRect(row, 1));
        if (event->pos().y() >= cells.top() && event->pos().y() <= cells.bottom()) {
            QMenu *menu = alarms->createMenu(panel, this);
            menu->setAttribute(Qt::WA_DeleteOnClose);
            menu->popup(event->globalPos());
            return;
        }
    }
    event->ignore();
}
