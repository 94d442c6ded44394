#include "glass.h"
#include "sharedrecord_p.h"

#include <QCheckBox>
#include <QLabel>
#include <QPainter>
#include <QtTest>

namespace {

// Labels and check boxes that always paint through Glass, as the window's
// own ones do while the desktop composites.
class GlowLabel : public QLabel
{
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent *event) override
    {
        Glass glass;
        glass.DrawString(this, event);
    }
};

class GlowCheckBox : public QCheckBox
{
public:
    using QCheckBox::QCheckBox;

protected:
    void paintEvent(QPaintEvent *event) override
    {
        Glass glass;
        glass.DrawString(this, event);
    }
};

const QColor Canvas(200, 30, 30);

// The widget painted at its place inside a parent filled with Canvas.
QImage paintInParent(QWidget *child, const QSize &parentSize = QSize(300, 120))
{
    QWidget parent;
    parent.resize(parentSize);
    child->setParent(&parent);
    child->move(40, 30);
    QImage image(parentSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Canvas);
    parent.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    child->setParent(nullptr);
    return image;
}

QRect inside(const QWidget *child)
{
    return QRect(QPoint(40, 30), child->size());
}

int darkPixels(const QImage &image, const QRect &area, int below = 100)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (qGray(image.pixel(x, y)) < below)
                ++count;
    return count;
}

int recordsBuilt = 0;
int recordsFreed = 0;
int *createCounted()
{
    ++recordsBuilt;
    return new int(recordsBuilt);
}
void destroyCounted(int *record)
{
    ++recordsFreed;
    delete record;
}

} // namespace

class TestGlass : public QObject
{
    Q_OBJECT

private slots:
    // Must come first: no Glass has existed in this process yet.
    void backgroundColourSetBeforeAnyGlass();
    void recordIsBuiltByFirstAndFreedByLast();
    void emptyTextFillsTheAreaWithTheBackground_data();
    void emptyTextFillsTheAreaWithTheBackground();
    void sameTextGivesSamePixels();
    void labelAndCheckBoxDrawAlike();
    void textHasALightGlowOnADarkBackground();
    void textStartsAtTheCornerAndKeepsLineBreaks();
    void quietWithoutAWindowSystem();
};

void TestGlass::backgroundColourSetBeforeAnyGlass()
{
    Glass::SetBkColor(QColor(10, 200, 40));
    GlowLabel label(QString{});
    label.resize(120, 20);
    const QImage image = paintInParent(&label);
    QCOMPARE(image.pixelColor(inside(&label).center()), QColor(10, 200, 40));
}

void TestGlass::recordIsBuiltByFirstAndFreedByLast()
{
    recordsBuilt = recordsFreed = 0;
    SharedRecord<int> record(createCounted, destroyCounted);
    QCOMPARE(record.record(), nullptr);

    record.acquire();
    int *first = record.record();
    record.acquire();
    QCOMPARE(recordsBuilt, 1);
    QCOMPARE(record.record(), first);
    QCOMPARE(record.count(), 2);

    record.release();
    QCOMPARE(recordsFreed, 0);
    QCOMPARE(record.record(), first);
    record.release();
    QCOMPARE(recordsFreed, 1);
    QCOMPARE(record.record(), nullptr);

    record.acquire();
    QCOMPARE(recordsBuilt, 2);
    QCOMPARE(*record.record(), 2);
    record.release();
    QCOMPARE(recordsFreed, 2);
}

void TestGlass::emptyTextFillsTheAreaWithTheBackground_data()
{
    QTest::addColumn<QColor>("background");
    QTest::newRow("opaque window colour") << QColor(239, 239, 239);
    QTest::newRow("half white") << QColor(255, 255, 255, 127);
    QTest::newRow("clear") << QColor(255, 255, 255, 0);
}

void TestGlass::emptyTextFillsTheAreaWithTheBackground()
{
    QFETCH(QColor, background);
    Glass::SetBkColor(background);
    GlowLabel label(QString{});
    label.resize(150, 24);
    const QImage image = paintInParent(&label);

    // Copied, not blended: the canvas below does not show through.
    const QRgb expected = qPremultiply(background.rgba());
    const QRect area = inside(&label);
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            QCOMPARE(image.pixel(x, y), expected);
    // Nothing is drawn outside the widget.
    QCOMPARE(image.pixelColor(area.left() - 3, area.top() - 3), Canvas);
    QCOMPARE(image.pixelColor(area.right() + 3, area.bottom() + 3), Canvas);
}

void TestGlass::sameTextGivesSamePixels()
{
    Glass::SetBkColor(QColor(255, 255, 255, 127));
    GlowLabel label(QStringLiteral("케오섬 - 대기 (16:36 후 열림)"));
    label.resize(label.sizeHint());
    const QImage first = paintInParent(&label);
    const QImage second = paintInParent(&label);
    QVERIFY(darkPixels(first, inside(&label)) > 20);
    QCOMPARE(first, second);
}

void TestGlass::labelAndCheckBoxDrawAlike()
{
    Glass::SetBkColor(QColor(239, 239, 239));
    const QString text = QStringLiteral("항상 위 & Vista GlassFrame");
    GlowLabel label(text);
    GlowCheckBox box(text);
    box.setFont(label.font());
    box.resize(label.sizeHint() + QSize(30, 4));
    label.resize(box.size());
    QCOMPARE(paintInParent(&box), paintInParent(&label));
}

void TestGlass::textHasALightGlowOnADarkBackground()
{
    Glass::SetBkColor(QColor(0, 0, 0));
    GlowLabel label(QStringLiteral("타라"));
    label.resize(label.sizeHint() + QSize(20, 10));
    const QImage image = paintInParent(&label);
    const QRect area = inside(&label);

    // The text itself is dark; around it, where the background would be
    // black, the halo lightens it.
    int lit = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (qGray(image.pixel(x, y)) > 80)
                ++lit;
    QVERIFY2(lit > 50, qPrintable(QString::number(lit)));
    QCOMPARE(image.pixelColor(area.bottomRight()), QColor(0, 0, 0));
}

void TestGlass::textStartsAtTheCornerAndKeepsLineBreaks()
{
    Glass::SetBkColor(QColor(255, 255, 255));
    GlowLabel oneLine(QStringLiteral("원격 무기 상점 이용권"));
    GlowLabel twoLines(QStringLiteral("원격 무기 상점 이용권\n원격 의류 수리 이용권"));
    twoLines.resize(twoLines.sizeHint());
    oneLine.resize(twoLines.size());
    const QImage one = paintInParent(&oneLine);
    const QImage two = paintInParent(&twoLines);
    const QRect area = inside(&twoLines);
    const int lineHeight = twoLines.fontMetrics().height();

    const QRect firstLine(area.left(), area.top(), area.width(), lineHeight);
    const QRect secondLine(area.left(), area.top() + lineHeight, area.width(), lineHeight);
    QVERIFY(darkPixels(one, firstLine) > 20);
    QCOMPARE(darkPixels(one, secondLine), 0);
    QVERIFY(darkPixels(two, secondLine) > 20);

    // Left and top aligned at the widget's own corner.
    const QRect leftEdge(area.left(), area.top(), 4, lineHeight);
    QVERIFY(darkPixels(two, leftEdge) > 0);
}

void TestGlass::quietWithoutAWindowSystem()
{
    // The offscreen platform has no compositor to ask and no windows to
    // change: every call is a quiet no-op. (Under Wine the platform comes
    // through WINEQT_QPA_PLATFORM, so this also checks that it arrived.)
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("offscreen"));
    Glass glass;
    QVERIFY(!glass.IsCompositionEnabled());
    QWidget window;
    window.show();
    glass.SetGlass(window.winId(), GLASS_BLURBEHIND);
    glass.SetTopmost(window.winId(), true);
    glass.SetTransparent(window.winId(), false, true);
    glass.SetGlass(WId(12345), GLASS_NONE);
    QVERIFY(!window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QCOMPARE(window.windowOpacity(), 1.0);
}

QTEST_MAIN(TestGlass)
#include "tst_glass.moc"
