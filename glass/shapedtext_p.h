#ifndef SHAPEDTEXT_P_H
#define SHAPEDTEXT_P_H

#include <QtCore/QList>
#include <QtCore/QRectF>
#include <QtCore/QString>
#include <QtGui/QFont>
#include <QtGui/QGlyphRun>

class QPainter;
class QRawFont;
class QTextLayout;

// A text laid out once, the way QPainter::drawText(rect, flags, text) lays it
// out, and kept so that it paints again without being shaped again. It also
// paints any text that differs from it only in its digits, as long as the font
// gives every digit the same advance and shapes no digit differently next to
// its neighbours: a countdown then keeps one layout for all its values and is
// painted with other glyphs in the same places.
//
// Shaping is by far the dearest part of painting a short label, and a clock
// repaints a few of them every second.
class ShapedText
{
public:
    ShapedText() = default;
    ShapedText(const QString &text, const QFont &font, const QRectF &rect, int flags);

    // Whether drawText's layout of this text with these flags and this font
    // can be reproduced here. Where it cannot, callers paint as usual.
    static bool supports(const QString &text, int flags, const QFont &font);

    // Whether two texts differ at most in their digits.
    static bool sameShape(const QString &a, const QString &b);

    // Whether any digit of text can be replaced by any other without moving a
    // glyph, in this font: then all texts of text's shape lay out alike, with
    // the same lines, the same size and every glyph in the same place.
    static bool digitsInterchangeable(const QString &text, const QFont &font);

    bool isNull() const { return !m_laidOut; }
    bool isLaidOutFor(const QFont &font, const QRectF &rect, int flags) const;

    // Whether text paints from this layout: it lays out like the text this
    // layout was made for.
    bool canShow(const QString &text) const;

    // Paints text, which canShow() accepts, with the painter's pen. Given an
    // area, only the glyphs whose ink may reach into it are drawn: what the
    // painter then changes outside the area is undefined.
    void draw(QPainter *painter, const QString &text, const QRectF &area = QRectF()) const;

    // Where the glyphs that differ between two texts that canShow() accepts
    // may have ink, rounded out to whole pixels.
    QRect changedArea(const QString &from, const QString &to) const;

private:
    // One font's glyphs of a line, with what the layout knows of each glyph.
    struct Run
    {
        QGlyphRun glyphs;
        QList<quint32> indexes;
        QList<QPointF> positions;
        QList<QRectF> ink;    // where the glyph, or any digit in its place, may have ink
        QList<int> digitAt;   // the index in the text of the digit the glyph shows, or -1
        QList<quint32> digits; // the glyphs of '0' to '9', where the run shows digits
        QList<QRectF> digitInk; // where each of them has ink, drawn at the origin
    };

    bool findDigit(const QTextLayout &layout, int textIndex);
    QRectF inkOf(const QRawFont &font, quint32 glyph, const QPointF &position) const;

    QString m_text;
    QFont m_font;
    QRectF m_rect;
    int m_flags = 0;
    bool m_laidOut = false;
    QPointF m_origin;
    bool m_clip = false;
    bool m_digitsSwap = false;
    QList<Run> m_runs;
    QRectF m_inkBounds;
};

#endif
