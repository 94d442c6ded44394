// Text laid out once and painted again must give exactly drawText's pixels,
// for the window's own texts, also when other digits are painted into it.
#include "schedule.h"
#include "shapedtext_p.h"
#include "tables.h"

#include <QDateTime>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QRegularExpression>
#include <QTimeZone>
#include <QtTest>

namespace {

constexpr int LabelFlags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextForceLeftToRight;
constexpr int GlowFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;
// Glow flags in a box too short for the text: the lines that do not fit are
// left out.
constexpr int CutFlags = GlowFlags | Qt::AlignAbsolute;

QDateTime seoul(const char *when)
{
    return QDateTime::fromString(QString::fromLatin1(when), Qt::ISODate)
            .toTimeZone(QTimeZone("Asia/Seoul"));
}

QStringList textsAt(const QDateTime &instant)
{
    const ScheduleTexts t = scheduleTexts(instant, 3);
    return { t.gameTime, t.realTime, t.moongate, t.moongateRoute, t.job, t.dayName,
             t.dayEffect, t.dayItem, t.merchant, t.merchantNext, t.merchantAfter };
}

// The window's texts at a few instants, its fixed texts and some of ours.
QStringList windowTexts()
{
    QStringList texts;
    for (const char *when : { "2026-12-07T12:10:30Z", "2026-12-06T03:00:05Z",
                              "2026-12-12T06:20:00Z" })
        texts += textsAt(seoul(when));
    texts << hoursNotice() << placeNotice() << creditLine() << QStringLiteral("에린시간:")
          << QStringLiteral("첫 줄\n둘째 줄 (16:36)\n셋째 줄 7일")
          << QStringLiteral("어드밴스트 아이템:") << QStringLiteral("a & b\tc\r\nd")
          << QStringLiteral("Avatar 1:17 TVA") << QString();
    texts.removeDuplicates();
    return texts;
}

QList<QFont> fonts()
{
    QFont bold = QGuiApplication::font();
    bold.setBold(true);
    QFont pixels = QGuiApplication::font();
    pixels.setPixelSize(13);
    return { QGuiApplication::font(), bold, pixels };
}

// A box as the window gives its labels: the text's own size, plus a little
// room so that centring lands on half pixels, or narrower so that it wraps.
QRectF boxFor(const QString &text, const QFont &font, int flags)
{
    const QRect bounds = QFontMetrics(font).boundingRect(QRect(0, 0, 2000, 2000),
                                                         flags & ~Qt::AlignVCenter, text);
    if (flags == CutFlags)
        return QRectF(5, 5, qMax(40, bounds.width() * 2 / 3), bounds.height() / 2);
    if (flags & Qt::TextWordWrap)
        return QRectF(5, 5, qMax(40, bounds.width() * 2 / 3), bounds.height() * 2);
    return QRectF(0, 0, bounds.width() + 3, bounds.height() + 1);
}

struct Target
{
    QImage::Format format;
    QColor background;
    QColor pen;
};

const Target targets[] = {
    { QImage::Format_RGB32, QColor(239, 239, 239), QColor(0, 0, 0) },
    { QImage::Format_ARGB32_Premultiplied, QColor(255, 255, 255, 127), QColor(16, 16, 16) },
    { QImage::Format_Alpha8, QColor(0, 0, 0, 0), QColor(0, 0, 0) },
};

QImage canvas(const QRectF &box, const Target &target)
{
    QImage image(box.toAlignedRect().adjusted(0, 0, 6, 6).size() + QSize(box.x(), box.y()),
                 target.format);
    image.fill(target.background);
    return image;
}

QImage drawnByQt(const QString &text, const QFont &font, const QRectF &box, int flags,
                 const Target &target)
{
    QImage image = canvas(box, target);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(target.pen);
    painter.drawText(box, flags, text);
    return image;
}

QImage drawnShaped(const ShapedText &shaped, const QString &text, const QRectF &box,
                   const Target &target)
{
    QImage image = canvas(box, target);
    QPainter painter(&image);
    painter.setPen(target.pen);
    shaped.draw(&painter, text);
    return image;
}

void addRows(const QStringList &texts)
{
    for (const QFont &font : fonts()) {
        for (int flags : { LabelFlags, GlowFlags, CutFlags }) {
            for (const Target &target : targets) {
                for (const QString &text : texts) {
                    QTest::addRow("%s %s %s: %s", qPrintable(font.toString().section(u',', 0, 1)),
                                  flags == LabelFlags ? "label" : flags == GlowFlags ? "glow" : "cut",
                                  target.format == QImage::Format_RGB32 ? "opaque"
                                  : target.format == QImage::Format_Alpha8 ? "coverage" : "alpha",
                                  qPrintable(text.left(24)))
                            << text << font << flags << int(&target - targets);
                }
            }
        }
    }
}

// Pairs of texts a label shows one after the other: the countdowns and the
// clocks of one second and of a later one, when only digits changed.
QList<QPair<QString, QString>> digitChanges()
{
    QList<QPair<QString, QString>> pairs;
    const QDateTime start = seoul("2026-12-07T12:10:30Z");
    for (int step : { 1, 2, 9, 61, 600 }) {
        const QStringList before = textsAt(start);
        const QStringList after = textsAt(start.addSecs(step));
        for (int i = 0; i < before.size(); ++i) {
            if (before[i] != after[i] && ShapedText::sameShape(before[i], after[i]))
                pairs.append({ before[i], after[i] });
        }
    }
    pairs.append({ QStringLiteral("00:00"), QStringLiteral("23:59") });
    pairs.append({ QStringLiteral("line 1\nline 2 (09:59)"), QStringLiteral("line 7\nline 2 (10:00)") });
    pairs.append({ QStringLiteral("line 1\nline 2\nline 3 (09:59)\n"),
                   QStringLiteral("line 7\nline 2\nline 3 (10:00)\n") });
    return pairs;
}

} // namespace

class TestShapedText : public QObject
{
    Q_OBJECT

private slots:
    void paintsAsDrawText_data();
    void paintsAsDrawText();
    void paintsOtherDigitsAsDrawText_data();
    void paintsOtherDigitsAsDrawText();
    void showsOnlyTextsOfItsShape_data();
    void showsOnlyTextsOfItsShape();
    void refusesWhatItCannotReproduce_data();
    void refusesWhatItCannotReproduce();
};

void TestShapedText::paintsAsDrawText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QFont>("font");
    QTest::addColumn<int>("flags");
    QTest::addColumn<int>("target");
    addRows(windowTexts());
}

void TestShapedText::paintsAsDrawText()
{
    QFETCH(QString, text);
    QFETCH(QFont, font);
    QFETCH(int, flags);
    QFETCH(int, target);
    QVERIFY(ShapedText::supports(text, flags, font));
    const QRectF box = boxFor(text, font, flags);
    const ShapedText shaped(text, font, box, flags);
    QVERIFY(shaped.canShow(text));
    QCOMPARE(drawnShaped(shaped, text, box, targets[target]),
             drawnByQt(text, font, box, flags, targets[target]));
}

void TestShapedText::paintsOtherDigitsAsDrawText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("next");
    QTest::addColumn<QFont>("font");
    QTest::addColumn<int>("flags");
    QTest::addColumn<int>("target");
    const QList<QPair<QString, QString>> pairs = digitChanges();
    QVERIFY(pairs.size() >= 10);
    for (const QFont &font : fonts()) {
        for (int flags : { LabelFlags, GlowFlags, CutFlags }) {
            for (const auto &pair : pairs) {
                QTest::addRow("%s %s: %s -> %s",
                              qPrintable(font.toString().section(u',', 0, 1)),
                              flags == LabelFlags ? "label" : flags == GlowFlags ? "glow" : "cut",
                              qPrintable(pair.first),
                              qPrintable(pair.second))
                        << pair.first << pair.second << font << flags << 1;
            }
        }
    }
}

void TestShapedText::paintsOtherDigitsAsDrawText()
{
    QFETCH(QString, text);
    QFETCH(QString, next);
    QFETCH(QFont, font);
    QFETCH(int, flags);
    QFETCH(int, target);
    const QRectF box = boxFor(text, font, flags);
    const ShapedText shaped(text, font, box, flags);
    if (!ShapedText::digitsInterchangeable(text, font)) {
        // GDI's Tahoma digits put unequal ink past their advances, and the
        // ink past a line's last glyph widens the line: a digit that ends a
        // line then changes the layout, so such texts are laid out anew.
        // The fonts the clock is shown in on Linux have none of that.
        QVERIFY(QRegularExpression(QStringLiteral("\\d(\n|$)")).match(text).hasMatch());
        QVERIFY(!shaped.canShow(next));
#ifndef Q_OS_WIN
        QFAIL("digits that cannot stand in for one another");
#endif
        return;
    }
    QVERIFY(shaped.canShow(next));

    const QImage before = drawnByQt(text, font, box, flags, targets[target]);
    const QImage after = drawnByQt(next, font, box, flags, targets[target]);
    QCOMPARE(drawnShaped(shaped, next, box, targets[target]), after);

    // Repainting the changed area alone turns the old pixels into the new.
    const QRect changed = shaped.changedArea(text, next);
    int differing = 0;
    for (int y = 0; y < after.height(); ++y) {
        for (int x = 0; x < after.width(); ++x) {
            if (before.pixel(x, y) != after.pixel(x, y)) {
                ++differing;
                QVERIFY2(changed.contains(x, y), qPrintable(QStringLiteral("(%1, %2) outside")
                                                                    .arg(x).arg(y)));
            }
        }
    }
    // Unless the digits lie on lines that do not fit.
    QVERIFY(differing > 0 || flags == CutFlags);

    // As a label repaints after a change of digits: the background and then
    // the glyphs near the change, inside the changed area only.
    QImage repainted = before;
    QPainter painter(&repainted);
    painter.setClipRect(changed);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(changed, targets[target].background);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setPen(targets[target].pen);
    shaped.draw(&painter, next, changed);
    painter.end();
    QCOMPARE(repainted, after);
}

void TestShapedText::showsOnlyTextsOfItsShape_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("other");
    QTest::addColumn<bool>("shown");
    QTest::newRow("same text") << "대기 (16:36 후 열림)" << "대기 (16:36 후 열림)" << true;
    QTest::newRow("other digits") << "대기 (16:36 후 열림)" << "대기 (09:07 후 열림)" << true;
    QTest::newRow("a letter for a digit") << "대기 (16:36 후 열림)" << "대기 (16:3x 후 열림)" << false;
    QTest::newRow("other word") << "대기 (16:36 후 열림)" << "열림 (16:36 후 닫힘)" << false;
    QTest::newRow("longer") << "대기 (9:36 후 열림)" << "대기 (10:36 후 열림)" << false;
    QTest::newRow("shorter") << "16:36" << "6:36" << false;
    QTest::newRow("digits beyond ASCII") << "16:36" << QString::fromUtf8("١٦:36") << false;
}

void TestShapedText::showsOnlyTextsOfItsShape()
{
    QFETCH(QString, text);
    QFETCH(QString, other);
    QFETCH(bool, shown);
    const QFont font = QGuiApplication::font();
    const ShapedText shaped(text, font, QRectF(0, 0, 300, 30), LabelFlags);
    QCOMPARE(shaped.canShow(other), shown);
    QCOMPARE(ShapedText::sameShape(text, other), shown);
}

void TestShapedText::refusesWhatItCannotReproduce_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("flags");
    QTest::addColumn<bool>("underline");
    QTest::newRow("right aligned") << "16:36" << int(Qt::AlignRight) << false;
    QTest::newRow("centred") << "16:36" << int(Qt::AlignHCenter | Qt::AlignVCenter) << false;
    QTest::newRow("tabs expanded") << "a\tb" << int(Qt::TextExpandTabs) << false;
    QTest::newRow("mnemonic") << "&Quit" << int(Qt::TextShowMnemonic) << false;
    QTest::newRow("right to left") << QString::fromUtf8("שלום 12") << LabelFlags << false;
    QTest::newRow("length variants") << QString::fromUtf8("long\u009cshort") << LabelFlags << false;
    QTest::newRow("underlined font") << "16:36" << LabelFlags << true;
}

void TestShapedText::refusesWhatItCannotReproduce()
{
    QFETCH(QString, text);
    QFETCH(int, flags);
    QFETCH(bool, underline);
    QFont font = QGuiApplication::font();
    font.setUnderline(underline);
    QVERIFY(!ShapedText::supports(text, flags, font));
    // The same text without the obstacle is fine.
    QVERIFY(ShapedText::supports(QStringLiteral("16:36"), LabelFlags, QGuiApplication::font()));
}

QTEST_MAIN(TestShapedText)
#include "tst_shapedtext.moc"
