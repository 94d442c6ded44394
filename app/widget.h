#ifndef WIDGET_H
#define WIDGET_H

#include <QBasicTimer>
#include <QDateTime>
#include <QWidget>

class QComboBox;
class QGridLayout;
class QHBoxLayout;
class QLabel;
class QVBoxLayout;

// The clock's one window. Its data labels are rewritten from the schedule
// core every half second, and the window follows the size of its texts.
class Widget : public QWidget
{
    Q_OBJECT

public:
    Widget();
    ~Widget() override;

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    void refresh();

    QLabel *gameTimeLabel;
    QLabel *realTimeLabel;
    QLabel *moongateLabel;
    QLabel *moongateRouteLabel;
    QLabel *jobLabel;
    QLabel *dayNameLabel;
    QLabel *dayEffectLabel;
    QLabel *dayItemLabel;
    QLabel *merchantLabel;
    QLabel *merchantNextLabel;
    QLabel *merchantAfterLabel;
    QComboBox *jobCombo;

    QHBoxLayout *clockLayout;
    QVBoxLayout *moongateLayout;
    QHBoxLayout *jobLayout;
    QVBoxLayout *dayLayout;
    QVBoxLayout *merchantLayout;
    QVBoxLayout *noticeLayout;
    QGridLayout *mainLayout;

    QBasicTimer refreshTimer;
    QDateTime currentTime;
};

#endif
