#include "qglasslabel.h"

#include "glass.h"
#include "glowtext_p.h"

#include <QPaintEvent>
#include <QPainter>
#include <QStyle>

QGlassLabel::QGlassLabel(const QString &text)
    : QLabel(text)
{
}

QGlassLabel::~QGlassLabel() = default;

bool QGlassLabel::Measure::operator==(const Measure &other) const
{
    return style == other.style && alignment == other.alignment && margin == other.margin
            && indent == other.indent && contents == other.contents && minimum == other.minimum
            && maximum == other.maximum && policy == other.policy && font == other.font;
}

bool QGlassLabel::isPlainText() const
{
    return textFormat() == Qt::PlainText
            || (textFormat() == Qt::AutoText && !Qt::mightBeRichText(text()));
}

QGlassLabel::Measure QGlassLabel::measure() const
{
    return { font(), style(), alignment(), margin(), indent(), contentsMargins(),
             minimumSize(), maximumSize(), sizePolicy() };
}

// Where QLabel lays out its text, and with which flags.
QRect QGlassLabel::textRect() const
{
    QRect rect = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    if (indent() > 0) {
        const Qt::Alignment align = QStyle::visualAlignment(Qt::LeftToRight, alignment());
        if (align & Qt::AlignLeft)
            rect.setLeft(rect.left() + indent());
        if (align & Qt::AlignRight)
            rect.setRight(rect.right() - indent());
        if (align & Qt::AlignTop)
            rect.setTop(rect.top() + indent());
        if (align & Qt::AlignBottom)
            rect.setBottom(rect.bottom() - indent());
    }
    return rect;
}

int QGlassLabel::textFlags() const
{
    return int(QStyle::visualAlignment(Qt::LeftToRight, alignment())) | Qt::TextExpandTabs
            | Qt::TextForceLeftToRight | (wordWrap() ? Qt::TextWordWrap : 0);
}

// The plain text labels the window has. Anything else (a frame, a picture,
// rich text, a buddy's mnemonic, a style sheet, the disabled look) is left
// to QLabel. A label with text has no picture: each replaces the other.
bool QGlassLabel::paintsShaped() const
{
    return !text().isEmpty() && frameShape() == QFrame::NoFrame && !buddy() && isEnabled()
            && !testAttribute(Qt::WA_StyleSheet) && (indent() >= 0 || frameWidth() == 0)
            && isPlainText();
}

// The layout to paint text from, made anew when the text no longer fits it;
// null where drawText's layout cannot be reproduced.
const ShapedText *QGlassLabel::shapedFor(const QString &text)
{
    const QRect rect = textRect();
    const int flags = textFlags();
    if (m_shaped.isLaidOutFor(font(), rect, flags) && m_shaped.canShow(text))
        return &m_shaped;
    if (!ShapedText::supports(text, flags, font()))
        return nullptr;
    m_shaped = ShapedText(text, font(), rect, flags);
    return &m_shaped;
}

// Whether the size hints measured last hold for text: the label is set up as
// it was then, and text differs from the one measured only in digits that the
// font sets in one width.
bool QGlassLabel::hintsHoldFor(const QString &text) const
{
    return m_sizeHint.isValid() && m_hintMeasure == measure() && !wordWrap()
            && (text == m_hintText
                || (m_hintDigitsSwap && ShapedText::sameShape(text, m_hintText)));
}

// The part of the label that showing text instead of before changes, when it
// is known: the digits that changed and, for glowing text, their halo.
std::optional<QRect> QGlassLabel::changedPart(const QString &before, const QString &text) const
{
    if (!isVisible())
        return std::nullopt;
    if (Glass().IsCompositionEnabled()) {
        if (!m_glow.isLaidOutFor(font(), glowTextBox(size()), GlowTextFlags)
            || !m_glow.canShow(before) || !m_glow.canShow(text))
            return std::nullopt;
        return glowSpread(m_glow.changedArea(before, text), devicePixelRatioF()) & rect();
    }
    if (!m_shaped.isLaidOutFor(font(), textRect(), textFlags()) || !m_shaped.canShow(before)
        || !m_shaped.canShow(text) || !paintsShaped())
        return std::nullopt;
    return m_shaped.changedArea(before, text);
}

void QGlassLabel::setText(const QString &text)
{
    const QString before = QLabel::text();
    if (before == text || !isPlainText() || !hintsHoldFor(text)) {
        QLabel::setText(text);
        return;
    }
    // QLabel has the window's layout measure every widget again, which other
    // digits cannot change, and repaints the whole label: the label is out of
    // the layout's sight while QLabel takes the text, and then repaints only
    // the part that changed, where that is known.
    const std::optional<QRect> changed = changedPart(before, text);
    setAttribute(Qt::WA_WState_Hidden);
    setAttribute(Qt::WA_UpdatesDisabled, changed.has_value());
    QLabel::setText(text);
    setAttribute(Qt::WA_UpdatesDisabled, false);
    setAttribute(Qt::WA_WState_Hidden, false);
    if (changed)
        update(*changed);
}

QSize QGlassLabel::sizeHint() const
{
    const QString current = text();
    if (!isPlainText() || !hintsHoldFor(current)) {
        m_sizeHint = QLabel::sizeHint();
        m_minimumSizeHint = QLabel::minimumSizeHint();
        m_hintText = current;
        m_hintMeasure = measure();
        m_hintDigitsSwap = ShapedText::digitsInterchangeable(current, m_hintMeasure.font);
    }
    return m_sizeHint;
}

QSize QGlassLabel::minimumSizeHint() const
{
    sizeHint();
    return m_minimumSizeHint;
}

void QGlassLabel::paintEvent(QPaintEvent *event)
{
    // Composition is asked at every paint, so the label follows it being
    // switched on or off while the program runs. The window's own Glass
    // keeps the library loaded, so this one costs next to nothing.
    Glass glass;
    if (glass.IsCompositionEnabled()) {
        // The library draws; the label keeps the same layout for itself, to
        // know which part a change of digits repaints.
        const QString shown = text();
        const QRectF box = glowTextBox(size());
        if (!m_glow.isLaidOutFor(font(), box, GlowTextFlags) || !m_glow.canShow(shown)) {
            m_glow = ShapedText::supports(shown, GlowTextFlags, font())
                    ? ShapedText(shown, font(), box, GlowTextFlags) : ShapedText();
        }
        glass.DrawString(this, event);
        return;
    }
    const QString shown = text();
    const ShapedText *shaped = paintsShaped() ? shapedFor(shown) : nullptr;
    if (!shaped) {
        QLabel::paintEvent(event);
        return;
    }
    // The pen the style gives a label's text.
    QPainter painter(this);
    painter.setPen(QPen(palette().brush(foregroundRole()), painter.pen().widthF()));
    shaped->draw(&painter, shown, event->rect());
}
