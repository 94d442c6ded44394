// The player's setup between runs, and the window's place on the screens.
#include "widget.h"

#include "glass.h"
#include "placement.h"
#include "qglasscheckbox.h"
#include "report.h"
#include "setup.h"

#include <QAction>
#include <QComboBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QMoveEvent>
#include <QScreen>
#include <QSlider>
#include <QTimer>

namespace {

// A move is the player's once the window has stood still this long: a drag
// is saved once, not at every step.
constexpr int PlaceSaveDelay = 700;
// The window system may still move a new window while it maps it; moves
// before then are its, not the player's.
constexpr int PlaceSettleTime = 1500;

QList<QRect> availableAreas()
{
    QList<QRect> areas;
    const QList<QScreen *> screens = QGuiApplication::screens();
    for (const QScreen *screen : screens)
        areas << screen->availableGeometry();
    return areas;
}

QRect primaryArea()
{
    const QScreen *primary = QGuiApplication::primaryScreen();
    return primary ? primary->availableGeometry() : QRect();
}

} // namespace

void Widget::restoreSetup()
{
    const Setup &setup = setupFile->setup();
    if (!setupFile->problem().isEmpty())
        ProblemReport::session().report(
                ProblemReport::UnusableSetup,
                QStringLiteral("%1; the defaults stand for these, and the file stays as it is "
                               "until a setting is changed").arg(setupFile->problem()),
                QStringLiteral("설정 파일의 값 가운데 쓸 수 없는 것은 기본값으로 시작했습니다.\n%1\n"
                               "설정을 바꾸기 전까지 파일은 그대로 둡니다.")
                        .arg(shownPath(SetupFile::fileName())));

    jobCombo->setCurrentIndex(setup.shop);
    opacitySlider->setValue(setup.opacity);
    topmostCheck->setChecked(setup.topmost);
    gameZone = QTimeZone(setup.zone.toUtf8());
    applyView();

    connect(jobCombo, &QComboBox::currentIndexChanged, this, [this](int shop) {
        setupFile->change([shop](Setup &s) { s.shop = shop; });
    });
    connect(opacitySlider, &QSlider::valueChanged, this, &Widget::rememberOpacity);
    connect(opacitySlider, &QSlider::sliderReleased, this, &Widget::rememberOpacity);

    // The client area's place, as saved: the frame's size is the window
    // manager's and may differ from one run to the next.
    if (setup.hasPlace)
        setGeometry(QRect(setup.place, mainLayout->totalSizeHint()));

    for (QScreen *screen : QGuiApplication::screens())
        watchScreen(screen);
    connect(qApp, &QGuiApplication::screenAdded, this, &Widget::watchScreen);
    // The screen is still listed while it is being removed.
    connect(qApp, &QGuiApplication::screenRemoved, this, [this] {
        QTimer::singleShot(0, this, &Widget::placeOnScreen);
    });
}

// Glass and click-through act on the shown window, so they come back when
// it is first shown.
void Widget::restoreModes()
{
    const Setup &setup = setupFile->setup();
    if (glassCheck)
        glassCheck->setCheckState(setup.glass == GlassStep::Sheet ? Qt::Checked
                                          : setup.glass == GlassStep::Blur ? Qt::PartiallyChecked
                                                                           : Qt::Unchecked);
    if (!setup.clickThrough || !transparentAction->isEnabled())
        return;
    // Without a tray icon there would be no way out of a window that
    // takes no clicks.
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        writeStandardError(QStringLiteral("click-through is not restored: there is no "
                                          "notification area to turn it off from"));
        return;
    }
    showTransparentNotice = false;
    transparentAction->setChecked(true);
    glass->SetTransparent(winId(), topmostCheck->isChecked(), true);
    changeOpacity(opacitySlider->value());
    showBalloon(QStringLiteral("마우스 동작을 무시하는 투명 윈도우 모드로 시작했습니다.\n"
                               "트레이 메뉴에서 '투명 윈도우' 항목을 다시 선택 하시면 해제됩니다."),
                QSystemTrayIcon::Information, 5000);
}

void Widget::rememberOpacity()
{
    // A drag is saved when it ends, a key press at once.
    if (opacitySlider->isSliderDown())
        return;
    const int opacity = opacitySlider->value();
    setupFile->change([opacity](Setup &s) { s.opacity = opacity; });
}

void Widget::watchScreen(QScreen *screen)
{
    connect(screen, &QScreen::availableGeometryChanged, this, &Widget::placeOnScreen);
}

QRect Widget::frameOnScreen() const
{
    // Before the window is mapped its frame is not known: the size its
    // texts ask for stands for it.
    if (!testAttribute(Qt::WA_WState_Created) || !isVisible())
        return QRect(pos(), mainLayout->totalSizeHint());
    return frameGeometry();
}

// The whole window, also after a screen went away or shrank.
void Widget::placeOnScreen()
{
    const QRect frame = frameOnScreen();
    const QPoint place = placeOnScreens(frame, availableAreas(), primaryArea());
    if (place != frame.topLeft()) {
        move(place);
        placeBaseline = geometry().topLeft();
    }
}

// A full window larger than its screen starts compact, with the reason.
void Widget::fitOnScreen(bool atStart)
{
    if (setupFile->setup().compact || compactToFit)
        return;
    const QScreen *at = QGuiApplication::screenAt(frameOnScreen().center());
    const QRect area = at ? at->availableGeometry() : primaryArea();
    const QSize full = mainLayout->totalSizeHint();
    if (area.isEmpty() || (full.width() <= area.width() && full.height() <= area.height()))
        return;
    compactToFit = true;
    applyView();
    const QString why = QStringLiteral("화면에 창 전체가 들어가지 않아 간단히 보기로 %1.\n"
                                       "표시할 항목을 줄이면 전체 보기로 돌아갈 수 있습니다.")
                                .arg(atStart ? QStringLiteral("시작합니다") : QStringLiteral("보여 줍니다"));
    writeStandardError(QStringLiteral("the full window (%1 x %2) is larger than the screen's free "
                                      "area (%3 x %4), so it is shown compact")
                               .arg(full.width()).arg(full.height())
                               .arg(area.width()).arg(area.height()));
    showBalloon(why, QSystemTrayIcon::Information, 5000);
}

void Widget::resetPlace()
{
    const QRect area = primaryArea();
    QRect frame = frameOnScreen();
    frame.moveCenter(area.center());
    move(placeOnScreens(frame, { area }, area));
    placeBaseline = geometry().topLeft();
    setupFile->change([](Setup &s) {
        s.hasPlace = false;
        s.place = QPoint();
    });
}

void Widget::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    if (placeSettled)
        placeTimer.start(PlaceSaveDelay, this);
}

void Widget::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (shownOnce)
        return;
    shownOnce = true;
    restoreModes();
    // By then the texts are the schedule's, not the first "loading...".
    QTimer::singleShot(PlaceSettleTime, this, [this] {
        fitOnScreen(true);
        placeOnScreen();
        placeBaseline = geometry().topLeft();
        placeSettled = true;
    });
}

void Widget::rememberPlace()
{
    const QPoint place = geometry().topLeft();
    if (place == placeBaseline || isMinimized() || !isVisible())
        return;
    placeBaseline = place;
    setupFile->change([place](Setup &s) {
        s.hasPlace = true;
        s.place = place;
    });
}
