#include "icons.h"

#include <QtTest>

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QtEndian>

#include <algorithm>
#include <cstdlib>

namespace {

struct DirEntry {
    int width = 0, height = 0, colorCount = 0, reserved = 0, planes = 0, bitCount = 0;
    quint32 bytes = 0, offset = 0;
};

QString iconPath(const QString &name)
{
    return QStringLiteral(ICON_DIR "/") + name;
}

QByteArray load(const QString &name)
{
    QFile f(iconPath(name));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

quint16 u16(const QByteArray &d, qsizetype at) { return qFromLittleEndian<quint16>(d.constData() + at); }
quint32 u32(const QByteArray &d, qsizetype at) { return qFromLittleEndian<quint32>(d.constData() + at); }
qint32 i32(const QByteArray &d, qsizetype at) { return qFromLittleEndian<qint32>(d.constData() + at); }

DirEntry entryAt(const QByteArray &d, int index)
{
    const qsizetype at = 6 + 16 * index;
    const auto byte = [&](qsizetype i) { return int(quint8(d.at(at + i))); };
    return {byte(0), byte(1), byte(2), byte(3), u16(d, at + 4), u16(d, at + 6),
            u32(d, at + 8), u32(d, at + 12)};
}

qsizetype rowBytes(int width, int bits) { return (qsizetype(width) * bits + 31) / 32 * 4; }

// Every image of both files, in directory order.
void addImageRows()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("bits");
    const struct { int size, bits; } main[] = {{16, 8}, {24, 8}, {32, 8}, {48, 8}, {64, 8},
                                               {16, 32}, {24, 32}, {48, 32}, {64, 32}, {32, 24}};
    for (int i = 0; i < 10; ++i)
        QTest::addRow("icon.ico #%d %dpx %dbpp", i, main[i].size, main[i].bits)
            << QStringLiteral("icon.ico") << i << main[i].size << main[i].bits;
    QTest::addRow("icon2.ico #0 16px 8bpp") << QStringLiteral("icon2.ico") << 0 << 16 << 8;
}

void addFileRows()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("count");
    QTest::addColumn<qsizetype>("fileSize");
    QTest::newRow("icon.ico") << QStringLiteral("icon.ico") << 11 << qsizetype(66191);
    QTest::newRow("icon2.ico") << QStringLiteral("icon2.ico") << 1 << qsizetype(1406);
}

QImage readImage(const QString &file, int index)
{
    QImageReader reader(iconPath(file));
    if (!reader.jumpToImage(index))
        return {};
    return reader.read().convertToFormat(QImage::Format_ARGB32);
}

} // namespace

class TestIcons : public QObject
{
    Q_OBJECT

private slots:
    void header_data() { addFileRows(); }
    void header()
    {
        QFETCH(QString, file);
        QFETCH(int, count);
        QFETCH(qsizetype, fileSize);
        const QByteArray d = load(file);
        QCOMPARE(d.size(), fileSize);
        QCOMPARE(u16(d, 0), quint16(0));
        QCOMPARE(u16(d, 2), quint16(1));
        QCOMPARE(int(u16(d, 4)), count);
    }

    void entry_data() { addImageRows(); }
    void entry()
    {
        QFETCH(QString, file);
        QFETCH(int, index);
        QFETCH(int, size);
        QFETCH(int, bits);
        const QByteArray d = load(file);
        QVERIFY(d.size() >= 6 + 16 * (index + 1));
        const DirEntry e = entryAt(d, index);
        QCOMPARE(e.width, size);
        QCOMPARE(e.height, size);
        QCOMPARE(e.colorCount, 0);
        QCOMPARE(e.reserved, 0);
        QCOMPARE(e.planes, 1);
        QCOMPARE(e.bitCount, bits);
        QVERIFY(e.offset >= quint32(6 + 16 * u16(d, 4)));
        QVERIFY(qsizetype(e.offset) + 40 <= d.size());
        QVERIFY(qsizetype(e.offset) + e.bytes <= d.size());

        const qsizetype h = e.offset;
        QCOMPARE(u32(d, h), quint32(40));
        QCOMPARE(i32(d, h + 4), size);
        QCOMPARE(i32(d, h + 8), size * 2);
        QCOMPARE(u16(d, h + 12), quint16(1));
        QCOMPARE(int(u16(d, h + 14)), bits);
        QCOMPARE(u32(d, h + 16), quint32(0)); // uncompressed
        const quint32 clrUsed = u32(d, h + 32);
        if (bits == 8)
            QCOMPARE(clrUsed, quint32(0)); // a full 256-entry palette follows
        const qsizetype palette = bits <= 8 ? 4 * (clrUsed ? clrUsed : 1u << bits) : 0;
        const qsizetype expected = 40 + palette + rowBytes(size, bits) * size + rowBytes(size, 1) * size;
        QCOMPARE(qsizetype(e.bytes), expected);
    }

    // 32-bit images carry their transparency in alpha, the others only in the
    // AND mask: each must have the kind the reader will actually use.
    void mask_data() { addImageRows(); }
    void mask()
    {
        QFETCH(QString, file);
        QFETCH(int, index);
        QFETCH(int, size);
        QFETCH(int, bits);
        const QByteArray d = load(file);
        QVERIFY(d.size() >= 6 + 16 * (index + 1));
        const DirEntry e = entryAt(d, index);
        const qsizetype maskBytes = rowBytes(size, 1) * size;
        QVERIFY(qsizetype(e.offset) + e.bytes <= d.size());
        const QByteArray andMask = d.mid(e.offset + e.bytes - maskBytes, maskBytes);
        const auto transparent = [&](int x, int y) {
            const char row = andMask.at((size - 1 - y) * rowBytes(size, 1) + x / 8);
            return (quint8(row) >> (7 - x % 8)) & 1;
        };
        if (bits == 32) {
            QCOMPARE(andMask.count('\0'), maskBytes);
        } else {
            QVERIFY(transparent(0, 0));
            QVERIFY(transparent(size - 1, size - 1));
            QVERIFY(!transparent(size / 2, size / 2));
        }
    }

    void layout_data() { addFileRows(); }
    void layout()
    {
        QFETCH(QString, file);
        QFETCH(int, count);
        const QByteArray d = load(file);
        QVERIFY(d.size() >= 6 + 16 * count);
        QList<DirEntry> entries;
        for (int i = 0; i < count; ++i)
            entries.append(entryAt(d, i));
        std::sort(entries.begin(), entries.end(),
                  [](const DirEntry &a, const DirEntry &b) { return a.offset < b.offset; });
        qsizetype next = 6 + 16 * count;
        for (const DirEntry &e : entries) {
            QCOMPARE(qsizetype(e.offset), next); // no gap, no overlap
            next += e.bytes;
        }
        QCOMPARE(next, d.size());
    }

    void qtReader_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QList<int>>("sizes");
        QTest::newRow("icon.ico") << QStringLiteral("icon.ico")
                                  << QList<int>{16, 24, 32, 48, 64, 16, 24, 48, 64, 32, 256};
        QTest::newRow("icon2.ico") << QStringLiteral("icon2.ico") << QList<int>{16};
    }
    void qtReader()
    {
        QFETCH(QString, file);
        QFETCH(QList<int>, sizes);
        QImageReader reader(iconPath(file));
        QVERIFY2(reader.canRead(), qPrintable(reader.errorString()));
        QCOMPARE(reader.format(), QByteArray("ico"));
        QCOMPARE(reader.imageCount(), sizes.size());
        for (int i = 0; i < sizes.size(); ++i) {
            QVERIFY(reader.jumpToImage(i));
            const QImage img = reader.read();
            QVERIFY2(!img.isNull(), qPrintable(reader.errorString()));
            QCOMPARE(img.size(), QSize(sizes[i], sizes[i]));
        }
    }

    // The 256-pixel image, as Windows reads it: a PNG, which the directory
    // gives as size 0.
    void pngEntry()
    {
        const QByteArray d = load(QStringLiteral("icon.ico"));
        QVERIFY(d.size() >= 6 + 16 * 11);
        const DirEntry e = entryAt(d, 10);
        QCOMPARE(e.width, 0);
        QCOMPARE(e.height, 0);
        QCOMPARE(e.planes, 1);
        QCOMPARE(e.bitCount, 32);
        QVERIFY(qsizetype(e.offset) + e.bytes <= d.size());
        const QByteArray data = d.mid(e.offset, e.bytes);
        QVERIFY(data.startsWith("\x89PNG\r\n\x1a\n"));
        const QImage image = QImage::fromData(data, "PNG");
        QCOMPARE(image.size(), QSize(256, 256));
        QVERIFY(image.hasAlphaChannel());
    }

    // A disc: transparent corners, most of the square opaque, and the minute
    // hand pointing up (rows stored top-down would turn the clock over).
    void drawing_data()
    {
        addImageRows();
        QTest::addRow("icon.ico #10 256px png") << QStringLiteral("icon.ico") << 10 << 256 << 32;
    }
    void drawing()
    {
        QFETCH(QString, file);
        QFETCH(int, index);
        QFETCH(int, size);
        QFETCH(int, bits);
        const QImage img = readImage(file, index);
        QCOMPARE(img.size(), QSize(size, size));
        const int hand = qGray(img.pixel(size / 2, size * 3 / 10));
        const int face = qGray(img.pixel(size / 2, size * 7 / 10));
        QVERIFY2(hand > face + 64, qPrintable(QStringLiteral("hand %1, face %2").arg(hand).arg(face)));
        if (bits == 24)
            QEXPECT_FAIL("", "Qt's ICO reader takes 24-bit images as opaque and ignores their AND mask", Abort);
        QCOMPARE(qAlpha(img.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(img.pixel(size - 1, 0)), 0);
        QCOMPARE(qAlpha(img.pixel(0, size - 1)), 0);
        QCOMPARE(qAlpha(img.pixel(size - 1, size - 1)), 0);
        int opaque = 0;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                opaque += qAlpha(img.pixel(x, y)) == 255;
        QVERIFY2(opaque > size * size / 2, qPrintable(QString::number(opaque)));
    }

    // Whatever depth the system picks, it must show the same picture; a
    // palette written in the wrong channel order shows up here.
    void depthsAgree_data()
    {
        QTest::addColumn<int>("paletted");
        QTest::addColumn<int>("direct");
        // Qt shows a 24-bit image fully opaque (see drawing()), so only the
        // colours can be compared there.
        QTest::addColumn<bool>("sameAlpha");
        QTest::newRow("16px 8/32") << 0 << 5 << true;
        QTest::newRow("24px 8/32") << 1 << 6 << true;
        QTest::newRow("48px 8/32") << 3 << 7 << true;
        QTest::newRow("64px 8/32") << 4 << 8 << true;
        QTest::newRow("32px 8/24") << 2 << 9 << false;
    }
    void depthsAgree()
    {
        QFETCH(int, paletted);
        QFETCH(int, direct);
        QFETCH(bool, sameAlpha);
        const QImage a = readImage(QStringLiteral("icon.ico"), paletted);
        const QImage b = readImage(QStringLiteral("icon.ico"), direct);
        QVERIFY(!a.isNull());
        QCOMPARE(a.size(), b.size());
        int compared = 0;
        for (int y = 0; y < a.height(); ++y) {
            for (int x = 0; x < a.width(); ++x) {
                const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
                // The mask keeps exactly the pixels at least half covered.
                if (sameAlpha)
                    QVERIFY2((qAlpha(p) == 255) == (qAlpha(q) >= 128),
                             qPrintable(QStringLiteral("(%1,%2)").arg(x).arg(y)));
                if (qAlpha(p) != 255 || qAlpha(q) != 255)
                    continue;
                const int diff = std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                           std::abs(qBlue(p) - qBlue(q))});
                QVERIFY2(diff <= 24, qPrintable(QStringLiteral("(%1,%2) differs by %3").arg(x).arg(y).arg(diff)));
                ++compared;
            }
        }
        QVERIFY(compared > a.width() * a.height() / 2);
    }

    // What the window and the tray show: every size keeps its transparent
    // corners and its opaque face.
    void loadedIcon_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("size");
        for (int size : { 16, 24, 32, 48, 64, 256 })
            QTest::addRow("window %dpx", size) << QStringLiteral(":/icon.ico") << size;
        QTest::newRow("tray 16px") << QStringLiteral(":/icon2.ico") << 16;
    }
    void loadedIcon()
    {
        QFETCH(QString, path);
        QFETCH(int, size);
        const QImage image = loadIcon(path).pixmap(size).toImage();
        QCOMPARE(image.size(), QSize(size, size));
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(image.pixel(size - 1, size - 1)), 0);
        QCOMPARE(qAlpha(image.pixel(size / 2, size / 2)), 255);
    }
};

QTEST_MAIN(TestIcons)
#include "tst_icons.moc"
