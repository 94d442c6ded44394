#ifndef GLOWTEXT_P_H
#define GLOWTEXT_P_H

class QFont;
class QImage;
class QRect;
class QString;

// Dark text over a soft light halo, drawn with QPainter into a premultiplied
// ARGB32 image: left and top aligned, wrapped at word breaks, line breaks
// kept and "&" shown as itself.
void drawGlowText(QImage &image, const QRect &box, const QString &text, const QFont &font);

#endif
