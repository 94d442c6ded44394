#ifndef QGLASSLABEL_H
#define QGLASSLABEL_H

#include "shapedtext_p.h"

#include <QLabel>

#include <optional>

// A label that stays readable on glass: while the desktop composites, its
// text is drawn as glowing text on the glass library's background colour.
//
// It is also cheap to keep ticking: a text that differs from the last only in
// its digits (a countdown, a clock) keeps the size hints and the layout of the
// last, and repaints only the digits that changed, with their glow. Everything
// else paints and measures exactly as QLabel does.
class QGlassLabel : public QLabel
{
public:
    explicit QGlassLabel(const QString &text);
    ~QGlassLabel() override;

    // Hides QLabel::setText to repaint only the changed digits; called through
    // a QLabel pointer, the label repaints whole, which is right as well.
    void setText(const QString &text);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // What QLabel's size hints depend on besides the text.
    struct Measure
    {
        QFont font;
        const QStyle *style = nullptr;
        Qt::Alignment alignment;
        int margin = 0;
        int indent = 0;
        QMargins contents;
        QSize minimum;
        QSize maximum;
        QSizePolicy policy;

        bool operator==(const Measure &other) const;
    };

    bool isPlainText() const;
    Measure measure() const;
    bool hintsHoldFor(const QString &text) const;
    QRect textRect() const;
    int textFlags() const;
    bool paintsShaped() const;
    const ShapedText *shapedFor(const QString &text);
    std::optional<QRect> changedPart(const QString &before, const QString &text) const;

    mutable Measure m_hintMeasure;
    mutable QString m_hintText;
    mutable bool m_hintDigitsSwap = false;
    mutable QSize m_sizeHint;
    mutable QSize m_minimumSizeHint;
    ShapedText m_shaped; // the plain text, as QLabel lays it out
    ShapedText m_glow;   // the glowing text, as the library lays it out
};

#endif
