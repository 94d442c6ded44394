#include "glowtext_p.h"

#include <QFont>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <vector>

namespace {

constexpr int GlowRadius = 5;
const QColor TextColor(0x10, 0x10, 0x10);
const QColor HaloColor(255, 255, 255);

// One pass of a running-sum box filter over a line of alpha values, read
// every stride bytes, into a contiguous buffer.
void boxBlurLine(const uchar *in, int stride, uchar *out, int length, int radius)
{
    const int window = 2 * radius + 1;
    int sum = 0;
    for (int i = -radius; i <= radius; ++i)
        sum += in[std::clamp(i, 0, length - 1) * stride];
    for (int i = 0; i < length; ++i) {
        out[i] = uchar(sum / window);
        sum += in[std::min(i + radius + 1, length - 1) * stride];
        sum -= in[std::max(i - radius, 0) * stride];
    }
}

// Blurs an 8-bit coverage image in place; two box passes in each direction
// come close to a Gaussian of the glow's radius.
void blur(QImage &alpha, int radius)
{
    const int w = alpha.width();
    const int h = alpha.height();
    const int stride = int(alpha.bytesPerLine());
    const int box = radius / 2 + 1;
    std::vector<uchar> line(std::max(w, h));
    for (int pass = 0; pass < 2; ++pass) {
        for (int y = 0; y < h; ++y) {
            uchar *row = alpha.scanLine(y);
            boxBlurLine(row, 1, line.data(), w, box);
            std::copy(line.begin(), line.begin() + w, row);
        }
        for (int x = 0; x < w; ++x) {
            uchar *column = alpha.bits() + x;
            boxBlurLine(column, stride, line.data(), h, box);
            for (int y = 0; y < h; ++y)
                column[y * stride] = line[y];
        }
    }
}

void drawText(QImage &target, const QRect &box, const QString &text, const QFont &font,
              const QColor &color)
{
    QPainter painter(&target);
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text);
}

} // namespace

void drawGlowText(QImage &image, const QRect &box, const QString &text, const QFont &font)
{
    if (text.isEmpty())
        return;

    // The halo: the text's coverage, spread and strengthened so that it
    // stands out from any background behind a see-through window.
    QImage coverage(image.size(), QImage::Format_Alpha8);
    coverage.setDevicePixelRatio(image.devicePixelRatio());
    coverage.fill(0);
    drawText(coverage, box, text, font, Qt::black);
    blur(coverage, int(GlowRadius * image.devicePixelRatio()));

    QImage halo(image.size(), QImage::Format_ARGB32_Premultiplied);
    halo.setDevicePixelRatio(image.devicePixelRatio());
    for (int y = 0; y < halo.height(); ++y) {
        const uchar *in = coverage.constScanLine(y);
        auto *out = reinterpret_cast<QRgb *>(halo.scanLine(y));
        for (int x = 0; x < halo.width(); ++x) {
            const int a = std::min(255, in[x] * 3);
            out[x] = qPremultiply(qRgba(HaloColor.red(), HaloColor.green(), HaloColor.blue(), a));
        }
    }

    QPainter painter(&image);
    painter.drawImage(QPoint(0, 0), halo);
    painter.end();
    drawText(image, box, text, font, TextColor);
}
