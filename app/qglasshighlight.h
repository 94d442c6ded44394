#ifndef QGLASSHIGHLIGHT_H
#define QGLASSHIGHLIGHT_H

#include <QBasicTimer>
#include <QWidget>

// A band laid over a part of the window for a while, to show the player
// where an alarm belongs. It tints what lies beneath rather than covering
// it, so that plain and glowing texts stay readable on an opaque window and
// on glass of every step alike, and it lets every click through.
class QGlassHighlight : public QWidget
{
public:
    explicit QGlassHighlight(QWidget *parent);

    // Shows the band over `area` (the parent's coordinates) for `milliseconds`.
    void highlight(const QRect &area, int milliseconds);
    // Follows the area when the window's layout changed.
    void follow(const QRect &area);

protected:
    void paintEvent(QPaintEvent *event) override;
    void timerEvent(QTimerEvent *event) override;

private:
    QBasicTimer timer;
};

#endif
