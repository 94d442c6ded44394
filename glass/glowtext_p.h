#ifndef GLOWTEXT_P_H
#define GLOWTEXT_P_H

#include <QtCore/QRect>

class QFont;
class QImage;
class QString;

// Glowing text is drawn into the widget's rectangle grown by this much on
// every side, so that the glow has room around the text. The text starts at
// the widget's own corner and may run into the margin on the right and at the
// bottom.
constexpr int GlowMargin = 5;
constexpr int GlowTextFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;

// Where a widget's glowing text is laid out, in the widget's coordinates.
QRectF glowTextBox(const QSize &widgetSize);

// How far around the part of a glowing text whose glyphs changed (widget
// coordinates) its pixels change: as far as the glow spreads.
QRect glowSpread(const QRect &changed, qreal ratio);

// Dark text over a soft light halo, drawn with QPainter into a premultiplied
// ARGB32 image already filled with the background: left and top aligned,
// wrapped at word breaks, line breaks kept and "&" shown as itself.
//
// The last glowing texts drawn are kept, each with its layout: the same text
// again is copied, and a text that differs from it only in digits is drawn
// again only around the digits that changed, with the same pixels.
void drawGlowText(QImage &image, const QRect &box, const QString &text, const QFont &font);

// The halo's blur of an 8-bit coverage image, in place: two box passes in each
// direction, which come close to a Gaussian of the glow's radius.
void blurCoverage(QImage &coverage, int radius);

// Frees the glowing texts kept.
void dropGlowTexts();

#endif
