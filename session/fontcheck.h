#ifndef FONTCHECK_H
#define FONTCHECK_H

#include <QString>

class QFont;

// The characters of text that no font, fallback fonts included, can show
// in the given font's place: they would be drawn as empty boxes.
QString charactersWithoutGlyphs(const QString &text, const QFont &font);

#endif
