#include "qglasshighlight.h"

#include <QPainter>
#include <QTimerEvent>

namespace {

// Around the texts, so that the band does not touch their glyphs.
constexpr int Margin = 4;
constexpr qreal Radius = 6;

} // namespace

QGlassHighlight::QGlassHighlight(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("alarmHighlight"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    hide();
}

void QGlassHighlight::highlight(const QRect &area, int milliseconds)
{
    if (area.isEmpty())
        return;
    // Made after the texts it lies over, it stays above them without a
    // raise(), which would reorder the window's children under the feet of
    // assistive tools.
    follow(area);
    show();
    timer.start(milliseconds, this);
}

void QGlassHighlight::follow(const QRect &area)
{
    const QRect band = area.adjusted(-Margin, -Margin, Margin, Margin) & parentWidget()->rect();
    if (band != geometry())
        setGeometry(band);
}

void QGlassHighlight::paintEvent(QPaintEvent *)
{
    // The palette's highlight, light enough inside for dark text to keep
    // its contrast, and a full-strength edge that shows on any background.
    QColor edge = palette().color(QPalette::Highlight);
    QColor fill = edge;
    fill.setAlpha(60);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(edge, 2));
    painter.setBrush(fill);
    painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), Radius, Radius);
}

void QGlassHighlight::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != timer.timerId())
        return QWidget::timerEvent(event);
    timer.stop();
    hide();
}
