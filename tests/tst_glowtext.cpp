// The glow must keep its pixels exactly: the blur against the straightforward
// one it replaced, and the whole glowing text, drawn afresh or redrawn around
// changed digits, against the glow drawn the straightforward way.
#include "glowtext_p.h"

#include <QGuiApplication>
#include <QPainter>
#include <QRandomGenerator>
#include <QtTest>

#include <algorithm>
#include <vector>

namespace {

// --- the straightforward glow, as it was first written ------------------------

void referenceBoxBlurLine(const uchar *in, int stride, uchar *out, int length, int radius)
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

void referenceBlur(QImage &alpha, int radius)
{
    const int w = alpha.width();
    const int h = alpha.height();
    const int stride = int(alpha.bytesPerLine());
    const int box = radius / 2 + 1;
    std::vector<uchar> line(std::max(w, h));
    for (int pass = 0; pass < 2; ++pass) {
        for (int y = 0; y < h; ++y) {
            uchar *row = alpha.scanLine(y);
            referenceBoxBlurLine(row, 1, line.data(), w, box);
            std::copy(line.begin(), line.begin() + w, row);
        }
        for (int x = 0; x < w; ++x) {
            uchar *column = alpha.bits() + x;
            referenceBoxBlurLine(column, stride, line.data(), h, box);
            for (int y = 0; y < h; ++y)
                column[y * stride] = line[y];
        }
    }
}

void referenceText(QImage &target, const QRect &box, const QString &text, const QFont &font,
                   const QColor &color)
{
    QPainter painter(&target);
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text);
}

void referenceGlow(QImage &image, const QRect &box, const QString &text, const QFont &font)
{
    if (text.isEmpty())
        return;
    QImage coverage(image.size(), QImage::Format_Alpha8);
    coverage.setDevicePixelRatio(image.devicePixelRatio());
    coverage.fill(0);
    referenceText(coverage, box, text, font, Qt::black);
    referenceBlur(coverage, int(5 * image.devicePixelRatio()));

    QImage halo(image.size(), QImage::Format_ARGB32_Premultiplied);
    halo.setDevicePixelRatio(image.devicePixelRatio());
    for (int y = 0; y < halo.height(); ++y) {
        const uchar *in = coverage.constScanLine(y);
        auto *out = reinterpret_cast<QRgb *>(halo.scanLine(y));
        for (int x = 0; x < halo.width(); ++x) {
            const int a = std::min(255, in[x] * 3);
            out[x] = qPremultiply(qRgba(255, 255, 255, a));
        }
    }
    QPainter painter(&image);
    painter.drawImage(QPoint(0, 0), halo);
    painter.end();
    referenceText(image, box, text, font, QColor(0x10, 0x10, 0x10));
}

// --- the images -----------------------------------------------------------------

QImage filled(const QSize &size, qreal ratio, const QColor &background)
{
    QImage image(size * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(background);
    return image;
}

// The image Glass::DrawString gives a label of this text: its size hint grown
// by the glow's margin, the text box from the margin on.
QSize areaFor(const QString &text, const QFont &font)
{
    const QRect bounds = QFontMetrics(font).boundingRect(QRect(0, 0, 2000, 2000),
                                                         Qt::AlignLeft | Qt::AlignTop, text);
    return bounds.size() + QSize(10 + 7, 10 + 3);
}

QRect boxFor(const QSize &area)
{
    return QRect(5, 5, area.width() - 5, area.height() - 5);
}

QImage glowing(const QString &text, const QFont &font, const QSize &area, qreal ratio,
               const QColor &background, bool reference)
{
    QImage image = filled(area, ratio, background);
    if (reference)
        referenceGlow(image, boxFor(area), text, font);
    else
        drawGlowText(image, boxFor(area), text, font);
    return image;
}

QString countdown(int seconds)
{
    return QStringLiteral("라비던전 - 대기 (%1:%2 후 열림)")
            .arg(seconds / 60, 2, 10, QChar(u'0'))
            .arg(seconds % 60, 2, 10, QChar(u'0'));
}

} // namespace

class TestGlowText : public QObject
{
    Q_OBJECT

private slots:
    void blurIsTheSame_data();
    void blurIsTheSame();
    void glowIsTheSame_data();
    void glowIsTheSame();
    void redrawnDigitsAreTheSame_data();
    void redrawnDigitsAreTheSame();
};

void TestGlowText::blurIsTheSame_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("radius");
    QTest::addColumn<int>("kind");
    const QSize sizes[] = { { 1, 1 }, { 2, 7 }, { 7, 2 }, { 13, 13 }, { 40, 9 }, { 63, 37 },
                            { 301, 30 } };
    for (const QSize &size : sizes) {
        for (int radius : { 1, 2, 5, 10 }) {
            for (int kind = 0; kind < 3; ++kind) {
                QTest::addRow("%dx%d r%d %s", size.width(), size.height(), radius,
                              kind == 0 ? "noise" : kind == 1 ? "saturated" : "sparse")
                        << size << radius << kind;
            }
        }
    }
}

void TestGlowText::blurIsTheSame()
{
    QFETCH(QSize, size);
    QFETCH(int, radius);
    QFETCH(int, kind);
    QRandomGenerator random(size.width() * 1000 + size.height() * 10 + radius + kind);
    QImage coverage(size, QImage::Format_Alpha8);
    for (int y = 0; y < size.height(); ++y) {
        uchar *row = coverage.scanLine(y);
        for (int x = 0; x < size.width(); ++x) {
            const quint32 r = random.bounded(256);
            row[x] = kind == 0 ? uchar(r) : kind == 1 ? (r < 128 ? 0 : 255) : (r < 16 ? uchar(r * 16) : 0);
        }
    }
    QImage expected = coverage.copy();
    referenceBlur(expected, radius);
    blurCoverage(coverage, radius);
    QCOMPARE(coverage, expected);
}

void TestGlowText::glowIsTheSame_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qreal>("ratio");
    QTest::addColumn<QColor>("background");
    const QString texts[] = { countdown(996), QStringLiteral("07:00"),
                              QStringLiteral("크리티컬 및 럭키 피니쉬 확률 상승\n연주 및 마법음악 성공률 증가"),
                              QStringLiteral("이 프로그램은 타르베넬 타임즈(http://www.tarvenel-times.example)의 "
                                             "정보를 바탕으로 제작하였습니다."),
                              QStringLiteral("a & b\tc"), QStringLiteral("1") };
    const QColor backgrounds[] = { QColor(239, 239, 239), QColor(255, 255, 255, 127),
                                   QColor(255, 255, 255, 0) };
    for (const QString &text : texts) {
        for (qreal ratio : { 1.0, 2.0, 1.5 }) {
            for (const QColor &background : backgrounds) {
                QTest::addRow("x%.1f alpha %d: %s", ratio, background.alpha(),
                              qPrintable(text.left(20)))
                        << text << ratio << background;
            }
        }
    }
}

void TestGlowText::glowIsTheSame()
{
    QFETCH(QString, text);
    QFETCH(qreal, ratio);
    QFETCH(QColor, background);
    const QFont font = QGuiApplication::font();
    const QSize area = areaFor(text, font);
    const QImage expected = glowing(text, font, area, ratio, background, true);
    QCOMPARE(glowing(text, font, area, ratio, background, false), expected);
    // Drawn a second time from what was kept of the first.
    QCOMPARE(glowing(text, font, area, ratio, background, false), expected);
}

void TestGlowText::redrawnDigitsAreTheSame_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<qreal>("ratio");
    QStringList seconds;
    for (int left = 996; left > 996 - 75; --left)
        seconds << countdown(left);
    QStringList jumps;
    for (int left : { 996, 995, 905, 5, 599, 1, 0, 996 })
        jumps << countdown(left);
    const QStringList clock = { "00:00", "00:01", "11:11", "19:08", "23:59" };
    const QStringList lines = { "1\n22\n333 (00:00)", "1\n22\n333 (58:59)", "8\n22\n333 (58:59)" };
    for (qreal ratio : { 1.0, 2.0 }) {
        QTest::addRow("a minute and more, x%.0f", ratio) << seconds << ratio;
        QTest::addRow("jumps, x%.0f", ratio) << jumps << ratio;
        QTest::addRow("clock, x%.0f", ratio) << clock << ratio;
        QTest::addRow("lines, x%.0f", ratio) << lines << ratio;
    }
}

void TestGlowText::redrawnDigitsAreTheSame()
{
    QFETCH(QStringList, texts);
    QFETCH(qreal, ratio);
    const QFont font = QGuiApplication::font();
    const QSize area = areaFor(texts.first(), font);
    const QColor background(239, 239, 239);
    for (const QString &text : texts) {
        const QImage expected = glowing(text, font, area, ratio, background, true);
        QCOMPARE(glowing(text, font, area, ratio, background, false), expected);
    }
}

QTEST_MAIN(TestGlowText)
#include "tst_glowtext.moc"
