#include "fontcheck.h"

#include <QGlyphRun>
#include <QTextLayout>

namespace {

// Shaped the way a label shapes it, fallback fonts and all: a character
// that no font can show comes out as glyph 0, the font's empty box.
bool hasGlyph(const QString &character, const QFont &font)
{
    QTextLayout layout(character, font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    const QList<QGlyphRun> runs = layout.glyphRuns();
    for (const QGlyphRun &run : runs) {
        if (run.glyphIndexes().contains(0u))
            return false;
    }
    return !runs.isEmpty();
}

} // namespace

QString charactersWithoutGlyphs(const QString &text, const QFont &font)
{
    QString missing;
    QString seen;
    for (const QChar c : text) {
        if (c.isSpace() || seen.contains(c))
            continue;
        seen.append(c);
        if (!hasGlyph(QString(c), font))
            missing.append(c);
    }
    return missing;
}
