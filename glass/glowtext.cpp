#include "glowtext_p.h"

#include "shapedtext_p.h"

#include <QFont>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <array>
#include <vector>

namespace {

constexpr int GlowRadius = 5;
const QColor TextColor(0x10, 0x10, 0x10);
constexpr int TextFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;

// As many glowing texts as the window has labels, and some to spare for texts
// whose shape has just changed.
constexpr int KeptGlows = 32;

// The halo of a coverage value: white, strengthened so that it stands out from
// any background behind a see-through window, premultiplied.
const std::array<QRgb, 256> HaloPixels = [] {
    std::array<QRgb, 256> pixels;
    for (int coverage = 0; coverage < 256; ++coverage)
        pixels[coverage] = qPremultiply(qRgba(255, 255, 255, std::min(255, coverage * 3)));
    return pixels;
}();

// sum / window for every sum of a window of coverage values.
const uchar *quotients(int window)
{
    static std::vector<uchar> table;
    static int tableWindow = 0;
    if (tableWindow != window) {
        table.resize(255 * window + 1);
        for (size_t sum = 0; sum < table.size(); ++sum)
            table[sum] = uchar(sum / window);
        tableWindow = window;
    }
    return table.data();
}

// One pass of a running-sum box filter along each row, edges repeated.
void blurRows(uchar *bits, int width, int height, qsizetype stride, int radius,
              std::vector<uchar> &line)
{
    const uchar *quotient = quotients(2 * radius + 1);
    for (int y = 0; y < height; ++y) {
        uchar *row = bits + y * stride;
        line.assign(row, row + width);
        int sum = 0;
        for (int i = -radius; i <= radius; ++i)
            sum += line[std::clamp(i, 0, width - 1)];
        for (int x = 0; x < width; ++x) {
            row[x] = quotient[sum];
            sum += line[std::min(x + radius + 1, width - 1)];
            sum -= line[std::max(x - radius, 0)];
        }
    }
}

// The same along each column, computed a row at a time with one running sum
// per column, which reads the image in the order it lies in memory.
void blurColumns(uchar *bits, int width, int height, qsizetype stride, int radius,
                 std::vector<uchar> &copy, std::vector<int> &sums)
{
    const uchar *quotient = quotients(2 * radius + 1);
    copy.assign(bits, bits + height * stride);
    const uchar *in = copy.data();
    sums.assign(width, 0);
    for (int i = -radius; i <= radius; ++i) {
        const uchar *row = in + std::clamp(i, 0, height - 1) * stride;
        for (int x = 0; x < width; ++x)
            sums[x] += row[x];
    }
    for (int y = 0; y < height; ++y) {
        uchar *out = bits + y * stride;
        const uchar *entering = in + std::min(y + radius + 1, height - 1) * stride;
        const uchar *leaving = in + std::max(y - radius, 0) * stride;
        for (int x = 0; x < width; ++x) {
            out[x] = quotient[sums[x]];
            sums[x] += entering[x] - leaving[x];
        }
    }
}

// The box radius of each of the blur's passes.
int boxRadius(qreal ratio)
{
    return int(GlowRadius * ratio) / 2 + 1;
}

void blur(QImage &coverage, int box)
{
    std::vector<uchar> scratch;
    std::vector<int> sums;
    for (int pass = 0; pass < 2; ++pass) {
        blurRows(coverage.bits(), coverage.width(), coverage.height(), coverage.bytesPerLine(),
                 box, scratch);
        blurColumns(coverage.bits(), coverage.width(), coverage.height(),
                    coverage.bytesPerLine(), box, scratch, sums);
    }
}

// One glowing text as it was drawn last, kept so that a text of the same shape
// that follows it (a countdown a second later) is drawn by redoing only the
// part of the image around the digits that changed.
struct Glow
{
    QString text;
    QFont font;
    QRect box;
    QRgb background = 0;
    ShapedText shaped;
    QImage image;

    bool fits(const QImage &target, QRgb fill, const QRect &textBox, const QFont &textFont,
              const QString &next) const
    {
        return background == fill && box == textBox && image.size() == target.size()
                && image.devicePixelRatio() == target.devicePixelRatio()
                && shaped.canShow(next) && font == textFont;
    }

    // Draws the glowing text into the part of the image given in pixels, and
    // nowhere else. Every step works pixel by pixel, except the blur, whose
    // coverage is taken from far enough around for every pixel of the part
    // to come out exactly as if the whole image were drawn.
    void draw(const QRect &part)
    {
        const qreal ratio = image.devicePixelRatio();
        const int reach = 2 * boxRadius(ratio);
        const QRect source = part.adjusted(-reach, -reach, reach, reach) & image.rect();

        QImage coverage(source.size(), QImage::Format_Alpha8);
        coverage.setDevicePixelRatio(ratio);
        coverage.fill(0);
        QPainter painter(&coverage);
        painter.translate(-QPointF(source.topLeft()) / ratio);
        painter.setPen(Qt::black);
        shaped.draw(&painter, text,
                    QRectF(QPointF(source.topLeft()) / ratio, QSizeF(source.size()) / ratio));
        painter.end();
        blur(coverage, boxRadius(ratio));

        QImage halo(part.size(), QImage::Format_ARGB32_Premultiplied);
        halo.setDevicePixelRatio(ratio);
        const QPoint offset = part.topLeft() - source.topLeft();
        for (int y = 0; y < part.height(); ++y) {
            const uchar *in = coverage.constScanLine(y + offset.y()) + offset.x();
            auto *out = reinterpret_cast<QRgb *>(halo.scanLine(y));
            auto *target = reinterpret_cast<QRgb *>(image.scanLine(y + part.y())) + part.x();
            for (int x = 0; x < part.width(); ++x) {
                out[x] = HaloPixels[in[x]];
                target[x] = background;
            }
        }

        const QRectF logical(QPointF(part.topLeft()) / ratio, QSizeF(part.size()) / ratio);
        painter.begin(&image);
        painter.setClipRect(logical);
        painter.drawImage(logical.topLeft(), halo);
        painter.setPen(TextColor);
        shaped.draw(&painter, text, logical);
    }
};

std::vector<Glow> &glows()
{
    static std::vector<Glow> kept;
    return kept;
}

// The whole glow, drawn as QPainter::drawText lays the text out, for the texts
// whose layout cannot be kept.
void drawUnshaped(QImage &image, const QRect &box, const QString &text, const QFont &font)
{
    QImage coverage(image.size(), QImage::Format_Alpha8);
    coverage.setDevicePixelRatio(image.devicePixelRatio());
    coverage.fill(0);
    QPainter painter(&coverage);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(box, TextFlags, text);
    painter.end();
    blur(coverage, boxRadius(image.devicePixelRatio()));
    QImage halo(image.size(), QImage::Format_ARGB32_Premultiplied);
    halo.setDevicePixelRatio(image.devicePixelRatio());
    for (int y = 0; y < halo.height(); ++y) {
        const uchar *in = coverage.constScanLine(y);
        auto *out = reinterpret_cast<QRgb *>(halo.scanLine(y));
        for (int x = 0; x < halo.width(); ++x)
            out[x] = HaloPixels[in[x]];
    }
    painter.begin(&image);
    painter.drawImage(QPoint(0, 0), halo);
    painter.setFont(font);
    painter.setPen(TextColor);
    painter.drawText(box, TextFlags, text);
}

} // namespace

void drawGlowText(QImage &image, const QRect &box, const QString &text, const QFont &font)
{
    if (text.isEmpty() || image.isNull())
        return;
    const QRgb background = *reinterpret_cast<const QRgb *>(image.constScanLine(0));
    if (!ShapedText::supports(text, TextFlags, font)) {
        drawUnshaped(image, box, text, font);
        return;
    }

    std::vector<Glow> &kept = glows();
    auto found = std::find_if(kept.begin(), kept.end(), [&](const Glow &glow) {
        return glow.fits(image, background, box, font, text);
    });
    if (found == kept.end()) {
        if (kept.size() == KeptGlows)
            kept.pop_back();
        found = kept.insert(kept.begin(), Glow());
        found->text = text;
        found->font = font;
        found->box = box;
        found->background = background;
        found->shaped = ShapedText(text, font, box, TextFlags);
        found->image.swap(image);
        found->draw(found->image.rect());
    } else {
        std::rotate(kept.begin(), found, found + 1);
        found = kept.begin();
        if (found->text != text) {
            const QRect changed = found->shaped.changedArea(found->text, text);
            const qreal ratio = image.devicePixelRatio();
            const int reach = 2 * boxRadius(ratio);
            // Only where the pixels are whole ones does a part of the image
            // come out as the whole would; elsewhere all of it is drawn again.
            const QRect part = ratio == int(ratio)
                    ? QRect(changed.topLeft() * int(ratio), changed.size() * int(ratio))
                              .adjusted(-reach, -reach, reach, reach) & image.rect()
                    : image.rect();
            found->text = text;
            found->draw(part);
        }
    }
    image = found->image;
}

void blurCoverage(QImage &coverage, int radius)
{
    blur(coverage, radius / 2 + 1);
}

void dropGlowTexts()
{
    glows().clear();
}
