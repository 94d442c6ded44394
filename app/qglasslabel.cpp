#include "qglasslabel.h"

#include "glass.h"

QGlassLabel::QGlassLabel(const QString &text)
    : QLabel(text)
{
}

QGlassLabel::~QGlassLabel() = default;

void QGlassLabel::paintEvent(QPaintEvent *event)
{
    // Composition is asked at every paint, so the label follows it being
    // switched on or off while the program runs. The window's own Glass
    // keeps the library loaded, so this one costs next to nothing.
    Glass glass;
    if (glass.IsCompositionEnabled())
        glass.DrawString(this, event);
    else
        QLabel::paintEvent(event);
}
