#include "icons.h"

#include <QImageReader>
#include <QPixmap>

QIcon loadIcon(const QString &path)
{
    // Qt reads a 24-bit image of an icon file as fully opaque, ignoring its
    // transparency mask, and a QIcon prefers the deepest image of a size, so
    // a plain QIcon(path) would show the 32-pixel face on a black square.
    // Every size the file has in 24 bits it also has in another depth.
    QIcon icon;
    QImageReader reader(path);
    for (int i = 0; i < reader.imageCount() && reader.jumpToImage(i); ++i) {
        const QImage image = reader.read();
        if (image.text(QStringLiteral("_q_icoOrigDepth")) != QLatin1String("24"))
            icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}
