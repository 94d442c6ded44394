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

// sum / window, exactly, for every sum of a window of coverage values: as
// (sum * multiplier) >> 16 where some multiplier gives every quotient (it
// does for the glow's windows), which compilers turn into vector code; from a
// table otherwise.
class Quotients
{
public:
    explicit Quotients(int window) : m_table(255 * window + 1)
    {
        for (size_t sum = 0; sum < m_table.size(); ++sum)
            m_table[sum] = uchar(sum / window);
        for (quint32 multiplier = 65536 / window; multiplier <= 65536 / window + 2; ++multiplier) {
            bool exact = multiplier <= 0xffff;
            for (size_t sum = 0; exact && sum < m_table.size(); ++sum)
                exact = ((sum * multiplier) >> 16) == m_table[sum];
            if (exact) {
                m_multiplier = quint16(multiplier);
                break;
            }
        }
    }

    quint16 multiplier() const { return m_multiplier; }
    uchar operator()(int sum) const { return m_table[sum]; }

private:
    std::vector<uchar> m_table;
    quint16 m_multiplier = 0;
};

const Quotients &quotients(int window)
{
    static std::vector<std::pair<int, Quotients>> known;
    for (const auto &[size, divider] : known) {
        if (size == window)
            return divider;
    }
    known.emplace_back(window, Quotients(window));
    return known.back().second;
}

// One pass of a running-sum box filter along the rows, edges repeated: the
// rows and columns given are filtered, the others keep their values.
void blurRows(uchar *bits, int width, qsizetype stride, int radius, int top, int bottom,
              int left, int right, std::vector<uchar> &line)
{
    const Quotients &quotient = quotients(2 * radius + 1);
    // The row with its edge pixels repeated radius + 1 times on each side, so
    // that the running sum reads it without bounds to mind.
    const int pad = radius + 1;
    line.resize(width + 2 * pad);
    for (int y = top; y < bottom; ++y) {
        uchar *row = bits + y * stride;
        std::fill(line.begin(), line.begin() + pad, row[0]);
        std::copy(row, row + width, line.begin() + pad);
        std::fill(line.begin() + pad + width, line.end(), row[width - 1]);
        const uchar *in = line.data() + pad;
        int sum = 0;
        for (int i = left - radius; i <= left + radius; ++i)
            sum += in[i];
        for (int x = left; x < right; ++x) {
            row[x] = quotient(sum);
            sum += in[x + radius + 1] - in[x - radius];
        }
    }
}

void addColumns(quint16 *__restrict sums, const uchar *__restrict entering,
                const uchar *__restrict leaving, int width)
{
    for (int x = 0; x < width; ++x)
        sums[x] = quint16(sums[x] + entering[x] - leaving[x]);
}

void divideColumns(uchar *__restrict out, const quint16 *__restrict sums, int width,
                   quint16 multiplier)
{
    for (int x = 0; x < width; ++x)
        out[x] = uchar((quint32(sums[x]) * multiplier) >> 16);
}

// The same along the columns, computed a row at a time with one running sum
// per column, which reads the image in the order it lies in memory.
void blurColumns(uchar *bits, int height, qsizetype stride, int radius, int top, int bottom,
                 int left, int right, std::vector<uchar> &copy, std::vector<quint16> &sums)
{
    const Quotients &quotient = quotients(2 * radius + 1);
    copy.assign(bits, bits + height * stride);
    const uchar *in = copy.data();
    const int width = right - left;
    sums.assign(width, 0);
    for (int i = top - radius; i <= top + radius; ++i) {
        const uchar *row = in + std::clamp(i, 0, height - 1) * stride + left;
        for (int x = 0; x < width; ++x)
            sums[x] += row[x];
    }
    for (int y = top; y < bottom; ++y) {
        uchar *out = bits + y * stride + left;
        if (quotient.multiplier()) {
            divideColumns(out, sums.data(), width, quotient.multiplier());
        } else {
            for (int x = 0; x < width; ++x)
                out[x] = quotient(sums[x]);
        }
        addColumns(sums.data(), in + std::min(y + radius + 1, height - 1) * stride + left,
                   in + std::max(y - radius, 0) * stride + left, width);
    }
}

// The box radius of each of the blur's passes.
int boxRadius(qreal ratio)
{
    return int(GlowRadius * ratio) / 2 + 1;
}

// The blur's four passes, across then down, twice, each done only where the
// passes after it read, so that the part of the image given comes out as if
// all of the image were blurred: a pass reads radius pixels to each side.
void blur(QImage &coverage, int radius, const QRect &part)
{
    const QRect all = coverage.rect();
    const QRect wide = part.adjusted(-radius, -radius, radius, radius) & all;
    uchar *bits = coverage.bits();
    const qsizetype stride = coverage.bytesPerLine();
    std::vector<uchar> scratch;
    std::vector<quint16> sums;
    const QRect passes[4] = {
        QRect(QPoint(wide.left(), all.top()), QPoint(wide.right(), all.bottom())),
        wide,
        QRect(QPoint(part.left(), wide.top()), QPoint(part.right(), wide.bottom())),
        part,
    };
    for (int pass = 0; pass < 4; ++pass) {
        const QRect &area = passes[pass];
        if (pass % 2 == 0) {
            blurRows(bits, coverage.width(), stride, radius, area.top(), area.bottom() + 1,
                     area.left(), area.right() + 1, scratch);
        } else {
            blurColumns(bits, coverage.height(), stride, radius, area.top(), area.bottom() + 1,
                        area.left(), area.right() + 1, scratch, sums);
        }
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
    QImage coverage; // the text's coverage, before the blur

    bool fits(const QImage &target, QRgb fill, const QRect &textBox, const QFont &textFont,
              const QString &next) const
    {
        return background == fill && box == textBox && image.size() == target.size()
                && image.devicePixelRatio() == target.devicePixelRatio()
                && shaped.canShow(next) && font == textFont;
    }

    QRectF logical(const QRect &pixels) const
    {
        const qreal ratio = image.devicePixelRatio();
        return QRectF(QPointF(pixels.topLeft()) / ratio, QSizeF(pixels.size()) / ratio);
    }

    // Draws the glowing text anew where the text's coverage changed, given in
    // pixels, and as far around it as the glow reaches. Every step works
    // pixel by pixel, except the blur, which takes its coverage from far
    // enough around for every pixel to come out exactly as if the whole image
    // were drawn.
    void draw(const QRect &changed)
    {
        const qreal ratio = image.devicePixelRatio();
        const int radius = boxRadius(ratio);
        const int reach = 2 * radius;

        QPainter painter(&coverage);
        painter.setClipRect(logical(changed));
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillRect(logical(changed), Qt::transparent);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        painter.setPen(Qt::black);
        shaped.draw(&painter, text, logical(changed));
        painter.end();

        const QRect part = changed.adjusted(-reach, -reach, reach, reach) & image.rect();
        const QRect source = part.adjusted(-reach, -reach, reach, reach) & image.rect();
        QImage blurred = coverage.copy(source);
        blur(blurred, radius, part.translated(-source.topLeft()));

        QImage halo(part.size(), QImage::Format_ARGB32_Premultiplied);
        halo.setDevicePixelRatio(ratio);
        const QPoint offset = part.topLeft() - source.topLeft();
        for (int y = 0; y < part.height(); ++y) {
            const uchar *in = blurred.constScanLine(y + offset.y()) + offset.x();
            auto *out = reinterpret_cast<QRgb *>(halo.scanLine(y));
            auto *target = reinterpret_cast<QRgb *>(image.scanLine(y + part.y())) + part.x();
            for (int x = 0; x < part.width(); ++x) {
                out[x] = HaloPixels[in[x]];
                target[x] = background;
            }
        }

        painter.begin(&image);
        painter.setClipRect(logical(part));
        painter.drawImage(logical(part).topLeft(), halo);
        painter.setPen(TextColor);
        shaped.draw(&painter, text, logical(part));
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
    blur(coverage, boxRadius(image.devicePixelRatio()), coverage.rect());
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
        found->coverage = QImage(found->image.size(), QImage::Format_Alpha8);
        found->coverage.setDevicePixelRatio(found->image.devicePixelRatio());
        found->coverage.fill(0);
        found->draw(found->image.rect());
    } else {
        std::rotate(kept.begin(), found, found + 1);
        found = kept.begin();
        if (found->text != text) {
            const QRect changed = found->shaped.changedArea(found->text, text);
            const qreal ratio = image.devicePixelRatio();
            // Only where the pixels are whole ones does a part of the image
            // come out as the whole would; elsewhere all of it is drawn again.
            const QRect pixels = ratio == int(ratio)
                    ? QRect(changed.topLeft() * int(ratio), changed.size() * int(ratio))
                              & image.rect()
                    : image.rect();
            found->text = text;
            found->draw(pixels);
        }
    }
    image = found->image;
}

void blurCoverage(QImage &coverage, int radius)
{
    blur(coverage, radius / 2 + 1, coverage.rect());
}

void dropGlowTexts()
{
    glows().clear();
}
