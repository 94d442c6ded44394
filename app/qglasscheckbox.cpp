#include "qglasscheckbox.h"

#include "glass.h"

#include <QStyleOptionButton>
#include <QStylePainter>

QGlassCheckBox::QGlassCheckBox(const QString &text)
    : QCheckBox(text)
{
}

QGlassCheckBox::~QGlassCheckBox() = default;

void QGlassCheckBox::paintEvent(QPaintEvent *event)
{
    Glass glass;
    if (glass.IsCompositionEnabled()) {
        QStylePainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        painter.drawControl(QStyle::CE_CheckBox, option);
    } else {
        QCheckBox::paintEvent(event);
    }
}
