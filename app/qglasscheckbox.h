#ifndef QGLASSCHECKBOX_H
#define QGLASSCHECKBOX_H

#include <QCheckBox>

// A check box for the glass window. It keeps the style's standard look in
// both cases: on glass it is drawn as the bare style element, so nothing
// but the indicator and the text covers the glass.
class QGlassCheckBox : public QCheckBox
{
public:
    explicit QGlassCheckBox(const QString &text);
    ~QGlassCheckBox() override;

protected:
    void paintEvent(QPaintEvent *event) override;
};

#endif
