#ifndef WIDGET_H
#define WIDGET_H

#include "setup.h"
#include "timetable.h"

#include <QBasicTimer>
#include <QDateTime>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimeZone>
#include <QWidget>

#include <array>
#include <memory>

class AlarmController;
class Glass;
struct ScheduleTexts;
class QAction;
class QComboBox;
class QGlassCheckBox;
class QGlassHighlight;
class QGlassLabel;
class QGridLayout;
class QHBoxLayout;
class QMenu;
class QScreen;
class QSlider;
class QVBoxLayout;
class TimetableWindow;

// The clock's one window. Its data labels are rewritten from the schedule
// core every half second and the window follows the size of its texts; the
// bottom row and the tray icon change how it sits on the desktop.
class Widget : public QWidget
{
    Q_OBJECT

public:
    Widget();
    ~Widget() override;

    // The rows of the window's grid, top to bottom.
    enum Row {
        ClockRow,
        MoongateRow,
        JobRow,
        DayRow,
        ItemCaptionRow,
        ItemRow,
        MerchantRow,
        NoticeRow,
        CreditRow,
        ControlRow
    };

    // The labels the schedule writes, in the window's order, each with the
    // text it shows; a label's object name is its member's name.
    struct DataLabel
    {
        QGlassLabel *Widget::*label;
        QString ScheduleTexts::*text;
        const char *name;
    };
    static const std::array<DataLabel, 11> dataLabels;

    // Another start of the program asked for the window (tray.cpp).
    void bringToFront(const QByteArray &startupId, const QByteArray &activationToken);
    // Shows the window, unless it was started with the desktop and the
    // player chose to start it in the tray (tray.cpp).
    void showAtStart(bool withDesktop);
    // Ends the program without the close question: chosen in the tray, or
    // asked for by the installer (tray.cpp).
    void quit();

protected:
    void timerEvent(QTimerEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void showEvent(QShowEvent *event) override;

private slots:
    void toggleTransparent();
    void toggleAutostart(bool enabled);
    void toggleTopmost();
    void toggleAeroGlass();
    void changeOpacity(int opacity);
    void trayActivated(QSystemTrayIcon::ActivationReason reason);
    void resetPlace();
    void placeOnScreen();
    void watchScreen(QScreen *screen);
    void rememberOpacity();
    void setCompact(bool compact);
    void chooseGameZone();
    void showTimetable();
    void askForAttention(EntryKind kind);

private:
    void createDataLabels();
    void createJobCombo();
    void createPanels();
    void createControls(bool composited);
    void createGrid();
    void createTray();
    void createAlarms();
    QRect rowArea(Row row) const;
    void checkTray();
    void listenForProblems();
    void tellPlayer(const QString &text);
    void showBalloon(const QString &text, QSystemTrayIcon::MessageIcon icon, int milliseconds);
    void explainUnsupportedModes();
    void refresh();
    void showTexts(const ScheduleTexts &texts);
    void showWindow();
    void compositionChanged();
    QColor glassColor() const;
    void setBackground(const QColor &color);
    void restoreSetup();
    void restoreModes();
    void rememberPlace();
    QRect frameOnScreen() const;
    void fitOnScreen(bool atStart);
    bool isCompact() const;
    void applyView();
    void addViewActions(QMenu *menu);
    void setPanelShown(Panel panel, bool shown);
    void setGameZone(const QByteArray &id);

    QGlassLabel *gameTimeLabel;
    QGlassLabel *realTimeLabel;
    QGlassLabel *moongateLabel;
    QGlassLabel *moongateRouteLabel;
    QGlassLabel *jobLabel;
    QGlassLabel *dayNameLabel;
    QGlassLabel *dayEffectLabel;
    QGlassLabel *dayItemLabel;
    QGlassLabel *merchantLabel;
    QGlassLabel *merchantNextLabel;
    QGlassLabel *merchantAfterLabel;
    QComboBox *jobCombo;
    QGlassCheckBox *topmostCheck;
    QGlassCheckBox *glassCheck = nullptr;
    QSlider *opacitySlider;

    QHBoxLayout *clockLayout;
    QVBoxLayout *moongateLayout;
    QHBoxLayout *jobLayout;
    QVBoxLayout *dayLayout;
    QVBoxLayout *merchantLayout;
    QVBoxLayout *noticeLayout;
    QHBoxLayout *controlLayout;

    QMenu *trayMenu;
    QAction *showAction;
    QAction *transparentAction;
    QAction *resetPlaceAction;
    QAction *timetableAction;
    QAction *startHiddenAction;
    QAction *autostartAction;
    QAction *quitAction;
    QSystemTrayIcon *trayIcon;
    QGridLayout *mainLayout;

    Glass *glass;
    AlarmController *alarms;
    QGlassHighlight *alarmHighlight;
    Row highlightedRow = ClockRow;
    // Made when the player opens it, and gone when closed.
    QPointer<TimetableWindow> timetable;
    QBasicTimer refreshTimer;
    std::unique_ptr<SetupFile> setupFile;
    std::array<QList<QWidget *>, PanelCount> panelWidgets;
    QTimeZone gameZone;
    // The full window did not fit its screen at the last look.
    bool compactToFit = false;
    // Moves are saved once the window system has placed the new window,
    // and only those that leave it elsewhere than it was put.
    QBasicTimer placeTimer;
    QPoint placeBaseline;
    bool placeSettled = false;
    bool shownOnce = false;
    // Started in the tray: how long it may take to appear.
    QBasicTimer trayGrace;
    QDateTime currentTime;
    qint64 shownSecond = 0;
    int shownShop = -1;
    bool showTransparentNotice = true;
    // Trays spoken to over D-Bus report no double clicks (tray.cpp).
    bool trayDoubleClicks = true;
    // A compositor coming or going repaints the whole window at the next
    // tick, so that glowing and plain texts and the background follow it.
    bool compositedAtLastTick = false;
};

#endif
