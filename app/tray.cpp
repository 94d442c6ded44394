// The notification-area icon, its menu, and closing the window to it.
#include "widget.h"

#include "autostart.h"
#include "desktop.h"
#include "icons.h"
#include "report.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QMenu>
#include <QMessageBox>

namespace {

constexpr int TrayGraceTime = 10000;
// The balloons' and the problem boxes' title.
const char ProgramTitle[] = "타르베넬 타이머";
// A problem's balloon stays long enough to read a path in it.
constexpr int ProblemMessageTime = 15000;

} // namespace

void Widget::createTray()
{
    showAction = new QAction(QStringLiteral("타이머 보이기(&S)"), this);
    transparentAction = new QAction(QStringLiteral("투명 윈도우(&T)"), this);
    transparentAction->setObjectName(QStringLiteral("transparentAction"));
    timetableAction = new QAction(QStringLiteral("시간표"), this);
    timetableAction->setObjectName(QStringLiteral("timetableAction"));
    resetPlaceAction = new QAction(QStringLiteral("위치 초기화"), this);
    resetPlaceAction->setObjectName(QStringLiteral("resetPlaceAction"));
    startHiddenAction = new QAction(QStringLiteral("시작 시 트레이로 숨기기"), this);
    startHiddenAction->setObjectName(QStringLiteral("startHiddenAction"));
    startHiddenAction->setCheckable(true);
    startHiddenAction->setChecked(setupFile->setup().startHidden);
    startHiddenAction->setToolTip(QStringLiteral("데스크톱과 함께 시작할 때 창을 띄우지 않고 트레이 아이콘으로 시작합니다."));
    autostartAction = new QAction(QStringLiteral("시작 시 실행"), this);
    autostartAction->setCheckable(true);
    quitAction = new QAction(QStringLiteral("종료(&X)"), this);

    QFont bold = showAction->font();
    bold.setWeight(QFont::Bold);
    showAction->setFont(bold);
    transparentAction->setCheckable(true);

    connect(showAction, &QAction::triggered, this, &Widget::showWindow);
    connect(transparentAction, &QAction::triggered, this, &Widget::toggleTransparent);
    connect(timetableAction, &QAction::triggered, this, &Widget::showTimetable);
    connect(resetPlaceAction, &QAction::triggered, this, &Widget::resetPlace);
    connect(startHiddenAction, &QAction::toggled, this, [this](bool hidden) {
        setupFile->change([hidden](Setup &s) { s.startHidden = hidden; });
    });
    connect(autostartAction, &QAction::triggered, this, &Widget::toggleAutostart);
    connect(quitAction, &QAction::triggered, this, &Widget::quit);

    trayMenu = new QMenu(this);
    trayMenu->setToolTipsVisible(true);
    trayMenu->addAction(showAction);
    trayMenu->addAction(timetableAction);
    trayMenu->addAction(transparentAction);
    trayMenu->addAction(resetPlaceAction);
    trayMenu->addSeparator();
    trayMenu->addAction(autostartAction);
    trayMenu->addAction(startHiddenAction);
    trayMenu->addSeparator();
    trayMenu->addAction(quitAction);
    // The user may change the entry behind the clock's back, in the
    // desktop's settings or by hand.
    connect(trayMenu, &QMenu::aboutToShow, this,
            [this] { autostartAction->setChecked(Autostart::isEnabled()); });

    trayIcon = new QSystemTrayIcon(this);
    trayIcon->setContextMenu(trayMenu);
    // The 16-pixel face, and larger ones for panels that draw more pixels
    // to the point, instead of the small one scaled up.
    QIcon icon = loadIcon(QStringLiteral(":/icon2.ico"));
    for (int size : { 32, 48, 64 })
        icon.addFile(QStringLiteral(":/tray-%1.png").arg(size));
    trayIcon->setIcon(icon);
    trayIcon->show();
    connect(trayIcon, &QSystemTrayIcon::activated, this, &Widget::trayActivated);
    trayDoubleClicks = Desktop::trayReportsDoubleClicks();
}

// A window hidden to a notification area that has gone (the panel crashed,
// or restarts slowly) could never be brought back, so it goes to the task
// bar, as when there is no notification area at all. Asked only while the
// window is hidden: the question costs a round trip to the window system.
void Widget::checkTray()
{
    if (isHidden() && !trayGrace.isActive() && !QSystemTrayIcon::isSystemTrayAvailable())
        showMinimized();
}

void Widget::showAtStart(bool withDesktop)
{
    fitOnScreen(true);
    placeOnScreen();
    if (withDesktop && setupFile->setup().startHidden) {
        // The desktop's panel may come up after its programs: the tray has
        // this long to appear before the window goes to the task bar.
        trayGrace.start(TrayGraceTime, this);
        return;
    }
    show();
    activateWindow();
    listenForProblems();
}

// What went wrong before the window could say it, and what goes wrong from
// now on, reaches the player here, each cause once a run.
void Widget::listenForProblems()
{
    ProblemReport::session().setChannel([this](const QString &text) { tellPlayer(text); });
}

void Widget::tellPlayer(const QString &text)
{
    if (QSystemTrayIcon::isSystemTrayAvailable() && trayIcon->isVisible()) {
        showBalloon(text, QSystemTrayIcon::Warning, ProblemMessageTime);
        return;
    }
    auto *box = new QMessageBox(QMessageBox::Warning, QString::fromUtf8(ProgramTitle), text,
                                QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    // Closing it while the window is in the task bar must not end the clock.
    box->setAttribute(Qt::WA_QuitOnClose, false);
    box->setWindowModality(Qt::NonModal);
    box->show();
}

void Widget::showBalloon(const QString &text, QSystemTrayIcon::MessageIcon icon, int milliseconds)
{
    trayIcon->showMessage(QString::fromUtf8(ProgramTitle), text, icon, milliseconds);
}

void Widget::bringToFront(const QByteArray &startupId, const QByteArray &activationToken)
{
    Desktop::prepareActivation(this, startupId, activationToken);
    showWindow();
    Desktop::activate(this, startupId);
}

void Widget::quit()
{
    QCoreApplication::exit(0);
}

void Widget::toggleAutostart(bool enabled)
{
    QString problem;
    if (!Autostart::setEnabled(enabled, &problem)) {
        writeStandardError(problem);
        showBalloon(problem, QSystemTrayIcon::Warning, 5000);
    }
    autostartAction->setChecked(Autostart::isEnabled());
}

void Widget::showWindow()
{
    // A window minimized for want of a tray comes back as it was.
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
}

void Widget::trayActivated(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::DoubleClick:
        showWindow();
        activateWindow();
        break;
    case QSystemTrayIcon::Trigger:
        // A tray that never reports a double click would leave the balloon's
        // advice impossible to follow: there a click shows the window.
        if (!trayDoubleClicks && (isHidden() || isMinimized()))
            showWindow();
        activateWindow();
        break;
    default:
        break;
    }
}

void Widget::closeEvent(QCloseEvent *event)
{
    // Only the player closes the window through the window manager. A close
    // from the program itself is the application ending (the session
    // manager's logout, Windows' shutdown): a question then would hold up
    // the whole session.
    if (!event->spontaneous()) {
        event->accept();
        return;
    }
    const QMessageBox::StandardButton answer = QMessageBox::question(
            this, QStringLiteral("확인"),
            QStringLiteral("프로그램을 종료 하시겠습니까?\n"
                           "아니오를 하시면 트레이 아이콘으로 최소화 됩니다."),
            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Cancel);

    if (answer == QMessageBox::Yes) {
        event->accept();
        return;
    }
    event->ignore();
    if (answer != QMessageBox::No)
        return;

    // Without a notification area a hidden window could never come back, so
    // it is minimized to the task bar instead.
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        showMinimized();
        return;
    }
    hide();
    showBalloon(QStringLiteral("트레이 아이콘으로 실행 중입니다.\n"
                               "아이콘을 더블클릭 하여 창을 다시 보일 수 있습니다.\n"
                               "우클릭 하시면 메뉴 항목이 불러집니다."),
                QSystemTrayIcon::Information, 3000);
}
