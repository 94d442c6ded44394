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

// One pass of a running-sum box filter along the rows of in, edges repeated,
// written to out in the rectangle given.
void blurRows(const QImage &in, QImage &out, int radius, const QRect &area,
              std::vector<uchar> &line)
{
    const Quotients &quotient = quotients(2 * radius + 1);
    const int width = in.width();
    // The part of each row that the running sum reads, from first to last,
    // with the edge pixels repeated where it reaches past them.
    const int first = area.left() - radius;
    const int last = area.right() + radius + 1;
    const int from = std::max(first, 0);
    const int to = std::min(last, width - 1);
    line.resize(last - first + 1);
    const uchar *inBits = in.constBits();
    uchar *outBits = out.bits();
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const uchar *row = inBits + y * in.bytesPerLine();
        std::fill(line.begin(), line.begin() + (from - first), row[0]);
        std::copy(row + from, row + to + 1, line.begin() + (from - first));
        std::fill(line.begin() + (to - first + 1), line.end(), row[width - 1]);
        const uchar *read = line.data() - first;
        uchar *target = outBits + y * out.bytesPerLine();
        int sum = 0;
        for (int i = area.left() - radius; i <= area.left() + radius; ++i)
            sum += read[i];
        for (int x = area.left(); x <= area.right(); ++x) {
            target[x] = quotient(sum);
            sum += read[x + radius + 1] - read[x - radius];
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
void blurColumns(const QImage &in, QImage &out, int radius, const QRect &area,
                 std::vector<quint16> &sums)
{
    const Quotients &quotient = quotients(2 * radius + 1);
    const int height = in.height();
    const int left = area.left();
    const int width = area.width();
    const uchar *inBits = in.constBits() + left;
    const qsizetype inStride = in.bytesPerLine();
    uchar *outBits = out.bits() + left;
    const auto row = [&](int y) { return inBits + std::clamp(y, 0, height - 1) * inStride; };
    sums.assign(width, 0);
    for (int i = area.top() - radius; i <= area.top() + radius; ++i) {
        const uchar *read = row(i);
        for (int x = 0; x < width; ++x)
            sums[x] += read[x];
    }
    for (int y = area.top(); y <= area.bottom(); ++y) {
        uchar *target = outBits + y * out.bytesPerLine();
        if (quotient.multiplier()) {
            divideColumns(target, sums.data(), width, quotient.multiplier());
        } else {
            for (int x = 0; x < width; ++x)
                target[x] = quotient(sums[x]);
        }
        addColumns(sums.data(), row(y + radius + 1), row(y - radius), width);
    }
}

// The box radius of each of the blur's passes.
int boxRadius(qreal ratio)
{
    return int(GlowRadius * ratio) / 2 + 1;
}

// The halo's blur of an 8-bit coverage image: four box passes, across then
// down, twice. Each pass's result is kept, so that when the coverage changes
// in a part of the image, each pass is done again only where its input
// changed and as far around as it reads: the result comes out exactly as if
// all of the image were blurred again.
class Blur
{
public:
    Blur(const QSize &size, int radius) : m_radius(radius)
    {
        for (QImage &pass : m_passes)
            pass = QImage(size, QImage::Format_Alpha8);
    }

    // Blurs the coverage anew where it changed; returns where the result did.
    QRect update(const QImage &coverage, const QRect &changed)
    {
        const QRect all = coverage.rect();
        QRect area = changed & all;
        for (int pass = 0; pass < 4; ++pass) {
            const QImage &in = pass == 0 ? coverage : m_passes[pass - 1];
            if (pass % 2 == 0) {
                area = area.adjusted(-m_radius, 0, m_radius, 0) & all;
                blurRows(in, m_passes[pass], m_radius, area, m_line);
            } else {
                area = area.adjusted(0, -m_radius, 0, m_radius) & all;
                blurColumns(in, m_passes[pass], m_radius, area, m_sums);
            }
        }
        return area;
    }

    const QImage &result() const { return m_passes[3]; }

private:
    int m_radius;
    QImage m_passes[4];
    std::vector<uchar> m_line;
    std::vector<quint16> m_sums;
};

// One glowing text as it was drawn last, kept so that a text of the same shape
// that follows it (a countdown a second later) is drawn by redoing only the
// part of the image around the digits that changed.
struct Glow
{
    Glow(const QString &text, const QFont &font, const QRect &box, QRgb background,
         QImage &image)
        : text(text), font(font), box(box), background(background),
          shaped(text, font, box, GlowTextFlags),
          coverage(image.size(), QImage::Format_Alpha8),
          blur(image.size(), boxRadius(image.devicePixelRatio()))
    {
        this->image.swap(image);
        coverage.setDevicePixelRatio(this->image.devicePixelRatio());
        coverage.fill(0);
        draw(this->image.rect());
    }

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

    // Draws the glowing text anew where the text's coverage changes, given in
    // pixels, and as far around it as the glow spreads. Every step but the
    // blur works pixel by pixel.
    void draw(const QRect &changed)
    {
        for (int y = changed.top(); y <= changed.bottom(); ++y)
            std::fill_n(coverage.scanLine(y) + changed.left(), changed.width(), uchar(0));
        QPainter painter(&coverage);
        painter.setClipRect(logical(changed));
        painter.setPen(Qt::black);
        shaped.draw(&painter, text, logical(changed));
        painter.end();

        const QRect part = blur.update(coverage, changed);
        QImage halo(part.size(), QImage::Format_ARGB32_Premultiplied);
        halo.setDevicePixelRatio(image.devicePixelRatio());
        for (int y = 0; y < part.height(); ++y) {
            const uchar *in = blur.result().constScanLine(y + part.y()) + part.x();
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

    QString text;
    QFont font;
    QRect box;
    QRgb background;
    ShapedText shaped;
    QImage image;
    QImage coverage; // the text's coverage, before the blur
    Blur blur;
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
    painter.drawText(box, GlowTextFlags, text);
    painter.end();
    Blur blur(coverage.size(), boxRadius(image.devicePixelRatio()));
    blur.update(coverage, coverage.rect());
    QImage halo(image.size(), QImage::Format_ARGB32_Premultiplied);
    halo.setDevicePixelRatio(image.devicePixelRatio());
    for (int y = 0; y < halo.height(); ++y) {
        const uchar *in = blur.result().constScanLine(y);
        auto *out = reinterpret_cast<QRgb *>(halo.scanLine(y));
        for (int x = 0; x < halo.width(); ++x)
            out[x] = HaloPixels[in[x]];
    }
    painter.begin(&image);
    painter.drawImage(QPoint(0, 0), halo);
    painter.setFont(font);
    painter.setPen(TextColor);
    painter.drawText(box, GlowTextFlags, text);
}

} // namespace

void drawGlowText(QImage &image, const QRect &box, const QString &text, const QFont &font)
{
    if (text.isEmpty() || image.isNull())
        return;
    const QRgb background = *reinterpret_cast<const QRgb *>(image.constScanLine(0));
    if (!ShapedText::supports(text, GlowTextFlags, font)) {
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
        found = kept.emplace(kept.begin(), text, font, box, background, image);
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

QRectF glowTextBox(const QSize &widgetSize)
{
    return QRectF(0, 0, widgetSize.width() + GlowMargin, widgetSize.height() + GlowMargin);
}

QRect glowSpread(const QRect &changed, qreal ratio)
{
    const int reach = 2 * boxRadius(ratio);
    const QRect pixels = QRectF(QPointF(changed.topLeft()) * ratio, QSizeF(changed.size()) * ratio)
                                 .toAlignedRect()
                                 .adjusted(-reach, -reach, reach, reach);
    return QRectF(QPointF(pixels.topLeft()) / ratio, QSizeF(pixels.size()) / ratio)
            .toAlignedRect();
}

void blurCoverage(QImage &coverage, int radius)
{
    Blur blur(coverage.size(), radius / 2 + 1);
    blur.update(coverage, coverage.rect());
    coverage = blur.result();
}

void dropGlowTexts()
{
    glows().clear();
}
