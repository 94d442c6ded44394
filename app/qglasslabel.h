#ifndef QGLASSLABEL_H
#define QGLASSLABEL_H

#include <QLabel>

// A label that stays readable on glass: while the desktop composites, its
// text is drawn as glowing text on the glass library's background colour.
class QGlassLabel : public QLabel
{
public:
    explicit QGlassLabel(const QString &text);
    ~QGlassLabel() override;

protected:
    void paintEvent(QPaintEvent *event) override;
};

#endif
