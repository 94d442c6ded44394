#include "shapedtext_p.h"

#include <QtCore/QHash>
#include <QtGui/QFontMetricsF>
#include <QtGui/QPainter>
#include <QtGui/QRawFont>
#include <QtGui/QTextLayout>
#include <QtCore/QVarLengthArray>

#include <cmath>

namespace {

constexpr int SupportedFlags = Qt::AlignLeft | Qt::AlignVertical_Mask | Qt::AlignAbsolute
        | Qt::TextSingleLine | Qt::TextDontClip | Qt::TextWordWrap | Qt::TextForceLeftToRight
        | Qt::TextIncludeTrailingSpaces | Qt::TextExpandTabs | Qt::TextShowMnemonic
        | Qt::TextHideMnemonic;

// Ink may reach past a glyph's outline by the pixel that antialiasing and
// rounding to the pixel grid add on each side.
constexpr qreal InkBleed = 1;

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool isLeftToRightOnly(const QString &text)
{
    for (QChar c : text) {
        switch (c.direction()) {
        case QChar::DirR: case QChar::DirAL: case QChar::DirAN: case QChar::DirRLE:
        case QChar::DirRLO: case QChar::DirRLI: case QChar::DirLRE: case QChar::DirLRO:
        case QChar::DirLRI: case QChar::DirFSI: case QChar::DirPDF: case QChar::DirPDI:
            return false;
        default:
            break;
        }
    }
    return true;
}

// The text drawText lays out, after its own replacements.
QString layoutText(const QString &text, int flags)
{
    QString result = text;
    const bool singleLine = flags & Qt::TextSingleLine;
    for (QChar &c : result) {
        if (c == u'\r' || c == u'\t' || (singleLine && c == u'\n'))
            c = u' ';
        else if (c == u'\n')
            c = QChar::LineSeparator;
    }
    return result;
}

QTextLayout *newLayout(const QString &text, const QFont &font)
{
    auto *layout = new QTextLayout(text, font);
    QTextOption option;
    option.setTextDirection(Qt::LeftToRight);
    option.setAlignment(Qt::AlignLeft);
    layout->setTextOption(option);
    layout->setCacheEnabled(true);
    return layout;
}

struct PlacedGlyph
{
    QRawFont font;
    quint32 index;
    QPointF position;
};

QList<PlacedGlyph> placedGlyphs(const QList<QGlyphRun> &runs)
{
    QList<PlacedGlyph> glyphs;
    for (const QGlyphRun &run : runs) {
        const QList<quint32> indexes = run.glyphIndexes();
        const QList<QPointF> positions = run.positions();
        for (qsizetype i = 0; i < indexes.size(); ++i)
            glyphs.append({ run.rawFont(), indexes[i], positions[i] });
    }
    return glyphs;
}

// Shapes a probe on one line and tells whether every character became its own
// glyph, the one the font maps it to, placed where the advances of the glyphs
// before it put it: no ligature, no contextual form, no kerning.
bool shapesPlainly(const QString &probe, const QFont &font)
{
    QScopedPointer<QTextLayout> layout(newLayout(probe, font));
    layout->beginLayout();
    QTextLine line = layout->createLine();
    line.setLineWidth(0x01000000);
    layout->endLayout();
    const QList<PlacedGlyph> glyphs = placedGlyphs(line.glyphRuns());
    if (glyphs.size() != probe.size())
        return false;
    for (qsizetype i = 0; i < glyphs.size(); ++i) {
        const PlacedGlyph &glyph = glyphs[i];
        if (glyph.font.glyphIndexesForString(probe.mid(i, 1)).value(0) != glyph.index)
            return false;
        if (i + 1 == glyphs.size())
            break;
        const QPointF advance = glyph.font.advancesForGlyphIndexes({ glyph.index }).value(0);
        if (glyphs[i + 1].position != glyph.position + QPointF(advance.x(), 0))
            return false;
    }
    return true;
}

bool breaksLine(QChar c)
{
    return c == u'\n' || c == u'\r' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}

// Whether the digits can stand in for one another next to this neighbour
// (a null neighbour: next to each other, and with equal advances; a line
// break: at the end of a line, whose width takes in the ink that the last
// glyph puts past its advance, as GDI's glyphs of some digits do).
bool digitsSwapNextTo(const QFont &font, QChar neighbour)
{
    static QHash<QPair<QFont, QChar>, bool> known;
    const auto key = qMakePair(font, neighbour);
    const auto found = known.constFind(key);
    if (found != known.constEnd())
        return *found;

    bool plain;
    QString probe;
    if (neighbour.isNull()) {
        const QFontMetricsF metrics(font);
        plain = true;
        for (char16_t d = u'0'; d <= u'9'; ++d) {
            plain = plain && metrics.horizontalAdvance(QChar(d)) == metrics.horizontalAdvance(u'0');
            for (char16_t e = u'0'; e <= u'9'; ++e)
                probe += QChar(d) + QString(QChar(e));
        }
        plain = plain && shapesPlainly(probe, font);
    } else if (breaksLine(neighbour)) {
        const QFontMetricsF metrics(font);
        const auto overhang = [&](QChar c) { return qMax<qreal>(0, -metrics.rightBearing(c)); };
        plain = true;
        for (char16_t d = u'1'; d <= u'9'; ++d)
            plain = plain && overhang(QChar(d)) == overhang(u'0');
    } else {
        for (char16_t d = u'0'; d <= u'9'; ++d)
            probe += neighbour + QString(QChar(d));
        probe += neighbour;
        plain = shapesPlainly(probe, font);
    }
    known.insert(key, plain);
    return plain;
}

} // namespace

bool ShapedText::supports(const QString &text, int flags, const QFont &font)
{
    if (flags & ~SupportedFlags)
        return false;
    if ((flags & (Qt::TextShowMnemonic | Qt::TextHideMnemonic)) && text.contains(u'&'))
        return false;
    if ((flags & Qt::TextExpandTabs) && text.contains(u'\t'))
        return false;
    if (text.contains(u'\x9c') || font.underline() || font.overline() || font.strikeOut())
        return false;
    return isLeftToRightOnly(text);
}

bool ShapedText::sameShape(const QString &a, const QString &b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (a[i] != b[i] && !(isDigit(a[i]) && isDigit(b[i])))
            return false;
    }
    return true;
}

bool ShapedText::digitsInterchangeable(const QString &text, const QFont &font)
{
    bool checkedDigits = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!isDigit(text[i]))
            continue;
        if (!checkedDigits) {
            if (!digitsSwapNextTo(font, QChar()))
                return false;
            checkedDigits = true;
        }
        for (qsizetype j : { i - 1, i + 1 }) {
            if (j == i + 1 && (j == text.size() || breaksLine(text[j]))) {
                if (!digitsSwapNextTo(font, u'\n'))
                    return false;
                continue;
            }
            if (j < 0 || j >= text.size() || isDigit(text[j]) || breaksLine(text[j]))
                continue;
            if (!digitsSwapNextTo(font, text[j]))
                return false;
        }
    }
    return true;
}

ShapedText::ShapedText(const QString &text, const QFont &font, const QRectF &rect, int flags)
    : m_text(text), m_font(font), m_rect(rect), m_flags(flags), m_laidOut(true)
{
    const QString shown = layoutText(text, flags);
    QScopedPointer<QTextLayout> layout(newLayout(shown, font));

    // Line by line as drawText does it, so that the glyphs land on the same
    // fractions of a pixel.
    const bool wrap = flags & Qt::TextWordWrap;
    const bool dontClip = flags & Qt::TextDontClip;
    qreal height = 0;
    qreal width = 0;
    if (shown.isEmpty()) {
        height = QFontMetricsF(font).height();
    } else {
        const qreal lineWidth = wrap ? qMax<qreal>(0, rect.width()) : qreal(0x01000000);
        const qreal leading = QFontMetricsF(font).leading();
        height = -leading;
        layout->beginLayout();
        for (;;) {
            QTextLine line = layout->createLine();
            if (!line.isValid())
                break;
            line.setLineWidth(lineWidth);
            height += leading;
            height = std::ceil(height);
            line.setPosition(QPointF(0, height));
            height += line.ascent() + line.descent();
            width = qMax(width, line.naturalTextWidth());
            if (!dontClip && height >= rect.height())
                break;
        }
        layout->endLayout();
    }

    qreal yOffset = 0;
    if (flags & Qt::AlignBottom)
        yOffset = rect.height() - height;
    else if (flags & Qt::AlignVCenter)
        yOffset = (rect.height() - height) / 2;
    m_origin = rect.topLeft() + QPointF(0, yOffset);
    m_clip = !dontClip && !rect.contains(QRectF(m_origin, QSizeF(width, height)));

    for (int i = 0; i < layout->lineCount(); ++i) {
        const QList<QGlyphRun> runs = layout->lineAt(i).glyphRuns();
        for (const QGlyphRun &glyphs : runs) {
            Run run;
            run.glyphs = glyphs;
            run.indexes = glyphs.glyphIndexes();
            run.positions = glyphs.positions();
            run.digitAt.fill(-1, run.indexes.size());
            m_runs.append(run);
        }
    }

    // Where each digit's glyph sits, so that another digit can take its place.
    m_digitsSwap = digitsInterchangeable(text, font);
    for (int i = 0; m_digitsSwap && i < shown.size(); ++i) {
        if (isDigit(shown[i]))
            m_digitsSwap = findDigit(*layout, i);
    }
    for (Run &run : m_runs) {
        if (!m_digitsSwap)
            run.digitAt.fill(-1);
        const QRawFont rawFont = run.glyphs.rawFont();
        for (quint32 digit : std::as_const(run.digits))
            run.digitInk.append(inkOf(rawFont, digit, QPointF()));
        for (int g = 0; g < run.indexes.size(); ++g) {
            QRectF ink = inkOf(rawFont, run.indexes[g], run.positions[g]);
            if (run.digitAt[g] >= 0) {
                for (const QRectF &digit : std::as_const(run.digitInk))
                    ink |= digit.translated(run.positions[g]);
            }
            run.ink.append(ink);
            m_inkBounds |= ink;
        }
    }
}

// Finds the glyph of the digit at textIndex among the runs. It must be the
// font's own glyph for that digit, in a font whose digits all have one advance.
bool ShapedText::findDigit(const QTextLayout &layout, int textIndex)
{
    // Past the last line that fits into the rectangle: never drawn, whatever
    // the digit.
    const QTextLine line = layout.lineForTextPosition(textIndex);
    if (!line.isValid())
        return true;
    const QList<QGlyphRun> own = line.glyphRuns(textIndex, 1);
    if (own.size() != 1 || own[0].glyphIndexes().size() != 1)
        return false;
    const quint32 glyph = own[0].glyphIndexes()[0];
    const QPointF position = own[0].positions()[0];
    for (Run &run : m_runs) {
        if (run.glyphs.rawFont() != own[0].rawFont())
            continue;
        for (int g = 0; g < run.indexes.size(); ++g) {
            if (run.indexes[g] != glyph || run.positions[g] != position)
                continue;
            if (run.digits.isEmpty()) {
                const QRawFont font = run.glyphs.rawFont();
                run.digits = font.glyphIndexesForString(QStringLiteral("0123456789"));
                const QList<QPointF> advances = font.advancesForGlyphIndexes(run.digits);
                if (run.digits.size() != 10 || run.digits.contains(0)
                    || advances.count(advances[0]) != 10)
                    return false;
            }
            if (run.digits[m_text[textIndex].unicode() - u'0'] != glyph)
                return false;
            run.digitAt[g] = textIndex;
            return true;
        }
    }
    return false;
}

bool ShapedText::isLaidOutFor(const QFont &font, const QRectF &rect, int flags) const
{
    return !isNull() && m_rect == rect && m_flags == flags && m_font == font;
}

bool ShapedText::canShow(const QString &text) const
{
    if (isNull() || !sameShape(m_text, text))
        return false;
    return m_digitsSwap || text == m_text;
}

// Each glyph drawn costs a look-up in the glyph cache and a blend, also where
// the painter's clip drops it, so a small repaint leaves out the glyphs that
// cannot reach into it.
void ShapedText::draw(QPainter *painter, const QString &text, const QRectF &area) const
{
    const bool everything = !area.isValid() || area.contains(m_inkBounds);
    if (m_clip) {
        painter->save();
        painter->setClipRect(m_rect, Qt::IntersectClip);
    }
    for (const Run &run : m_runs) {
        if (everything && text == m_text) {
            painter->drawGlyphRun(m_origin, run.glyphs);
            continue;
        }
        QVarLengthArray<quint32, 64> indexes;
        QVarLengthArray<QPointF, 64> positions;
        for (int g = 0; g < run.indexes.size(); ++g) {
            const QRectF &ink = run.ink[g];
            if (!everything && (ink.right() <= area.left() || ink.left() >= area.right()
                                || ink.bottom() <= area.top() || ink.top() >= area.bottom()))
                continue;
            const int digit = run.digitAt[g];
            indexes.append(digit < 0 ? run.indexes[g] : run.digits[text[digit].unicode() - u'0']);
            positions.append(run.positions[g]);
        }
        if (indexes.isEmpty())
            continue;
        QGlyphRun glyphs = run.glyphs;
        glyphs.setRawData(indexes.constData(), positions.constData(), int(indexes.size()));
        painter->drawGlyphRun(m_origin, glyphs);
    }
    if (m_clip)
        painter->restore();
}

QRectF ShapedText::inkOf(const QRawFont &font, quint32 glyph, const QPointF &position) const
{
    return font.boundingRect(glyph).translated(m_origin + position)
            .adjusted(-InkBleed, -InkBleed, InkBleed, InkBleed);
}

QRect ShapedText::changedArea(const QString &from, const QString &to) const
{
    QRectF area;
    for (const Run &run : m_runs) {
        for (int g = 0; g < run.indexes.size(); ++g) {
            const int digit = run.digitAt[g];
            if (digit < 0 || from[digit] == to[digit])
                continue;
            area |= run.digitInk[from[digit].unicode() - u'0'].translated(run.positions[g]);
            area |= run.digitInk[to[digit].unicode() - u'0'].translated(run.positions[g]);
        }
    }
    if (m_clip)
        area &= m_rect;
    return area.toAlignedRect();
}
