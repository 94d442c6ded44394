// The glass-painted label without composition: it must paint, measure and
// resize its window exactly as a QLabel, while keeping its layout and its
// size hints when only digits change, and repainting only those digits.
#include "qglasslabel.h"

#include <QGridLayout>
#include <QPainter>
#include <QPaintEvent>
#include <QScreen>
#include <QtTest>

namespace {

const QString Countdown = QStringLiteral("라비던전 - 대기 (16:36 후 열림)");

// Renders a label on the window's background, as the window shows it.
QImage rendered(QLabel *label)
{
    QImage image(label->size(), QImage::Format_RGB32);
    image.fill(label->palette().color(QPalette::Window));
    label->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

enum Setup { Plain, WordWrap, Top, Bottom, Right, Centred, Margin, Indent, Frame, Disabled, Rich,
             StyleSheet };

void setUp(QLabel *label, Setup setup)
{
    switch (setup) {
    case Plain: break;
    case WordWrap: label->setWordWrap(true); break;
    case Top: label->setAlignment(Qt::AlignLeft | Qt::AlignTop); break;
    case Bottom: label->setAlignment(Qt::AlignLeft | Qt::AlignBottom); break;
    case Right: label->setAlignment(Qt::AlignRight | Qt::AlignVCenter); break;
    case Centred: label->setAlignment(Qt::AlignCenter); break;
    case Margin: label->setMargin(3); break;
    case Indent: label->setIndent(4); break;
    case Frame: label->setFrameStyle(QFrame::Box | QFrame::Plain); break;
    case Disabled: label->setEnabled(false); break;
    case Rich: label->setTextFormat(Qt::RichText); break;
    case StyleSheet: label->setStyleSheet(QStringLiteral("color: #a03020")); break;
    }
}

// Records the areas a widget is asked to repaint.
class PaintLog : public QObject
{
public:
    QList<QRegion> regions;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            regions.append(static_cast<QPaintEvent *>(event)->region());
        return false;
    }
};

// The window's pixels as the backing store holds them.
QImage onScreen(QWidget *window)
{
    return window->screen()->grabWindow(window->winId()).toImage()
            .convertToFormat(QImage::Format_RGB32);
}

// A countdown's texts over a minute, second by second.
QStringList aMinuteOfCountdown()
{
    QStringList texts;
    for (int left = 16 * 60 + 36; left > 15 * 60 + 36; --left)
        texts << QStringLiteral("라비던전 - 대기 (%1:%2 후 열림)")
                         .arg(left / 60, 2, 10, QChar(u'0'))
                         .arg(left % 60, 2, 10, QChar(u'0'));
    return texts;
}

} // namespace

class TestGlassLabel : public QObject
{
    Q_OBJECT

private slots:
    void paintsAsQLabel_data();
    void paintsAsQLabel();
    void keepsQLabelsSizeHints_data();
    void keepsQLabelsSizeHints();
    void repaintsOnlyTheChangedDigits();
    void leavesNoStalePixels();
    void resizesTheWindowOnTheSameTick();
};

void TestGlassLabel::paintsAsQLabel_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("setup");
    QTest::addColumn<QSize>("extra");
    const QStringList texts = { Countdown, QStringLiteral("07:00"),
                                QStringLiteral("나이를 먹고, 나이에 따른 AP를 얻음\n음식 복용시 효과 상승"),
                                QStringLiteral("이 프로그램은 타르베넬 타임즈(http://www.tarvenel-times.example)의 "
                                               "정보를 바탕으로 제작하였습니다."),
                                QStringLiteral("a & b"), QString() };
    const char *const names[] = { "plain", "word wrap", "top", "bottom", "right", "centred",
                                  "margin", "indent", "frame", "disabled", "rich", "style sheet" };
    for (int setup = Plain; setup <= StyleSheet; ++setup) {
        for (const QString &text : texts) {
            for (const QSize &extra : { QSize(0, 0), QSize(13, 7) }) {
                QTest::addRow("%s, +%dx%d: %s", names[setup], extra.width(), extra.height(),
                              qPrintable(text.left(20)))
                        << text << setup << extra;
            }
        }
    }
}

void TestGlassLabel::paintsAsQLabel()
{
    QFETCH(QString, text);
    QFETCH(int, setup);
    QFETCH(QSize, extra);
    QGlassLabel glass(text);
    QLabel plain(text);
    setUp(&glass, Setup(setup));
    setUp(&plain, Setup(setup));
    const QSize size = plain.sizeHint().expandedTo(QSize(10, 10)) + extra;
    glass.resize(size);
    plain.resize(size);
    QCOMPARE(rendered(&glass), rendered(&plain));

    // Again after a change of digits, from the layout of the first text.
    QString later = text;
    later.replace(u'6', u'5').replace(u'7', u'0');
    glass.setText(later);
    plain.setText(later);
    QCOMPARE(rendered(&glass), rendered(&plain));
}

void TestGlassLabel::keepsQLabelsSizeHints_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<int>("setup");
    const QStringList sequence = { Countdown, QStringLiteral("라비던전 - 대기 (16:35 후 열림)"),
                                   QStringLiteral("라비던전 - 대기 (09:59 후 열림)"),
                                   QStringLiteral("라비던전 - 열림 (08:59 후 닫힘)"),
                                   QStringLiteral("두갈드아일 벌목캠프 움집 - 25:30 후 이동"),
                                   QStringLiteral("케오섬 - 25:30 후 이동"),
                                   QStringLiteral("케오섬 - 25:29 후 이동"), QStringLiteral("11:11"),
                                   QStringLiteral("00:00"), QStringLiteral("1\n2"),
                                   QStringLiteral("9\n8") };
    QTest::newRow("plain") << sequence << int(Plain);
    QTest::newRow("word wrap") << sequence << int(WordWrap);
    QTest::newRow("margin") << sequence << int(Margin);
    QTest::newRow("indent") << sequence << int(Indent);
    QTest::newRow("rich") << sequence << int(Rich);
}

void TestGlassLabel::keepsQLabelsSizeHints()
{
    QFETCH(QStringList, texts);
    QFETCH(int, setup);
    QGlassLabel glass(QString{});
    QLabel plain;
    setUp(&glass, Setup(setup));
    setUp(&plain, Setup(setup));
    for (const QString &text : texts) {
        glass.setText(text);
        plain.setText(text);
        QCOMPARE(glass.sizeHint(), plain.sizeHint());
        QCOMPARE(glass.minimumSizeHint(), plain.minimumSizeHint());
    }
    // A new font or margin is measured anew, also for a text of the old shape.
    QFont bigger = glass.font();
    bigger.setPointSize(bigger.pointSize() + 3);
    for (QLabel *label : { static_cast<QLabel *>(&glass), &plain }) {
        label->setFont(bigger);
        label->setMargin(label->margin() + 2);
    }
    glass.setText(QStringLiteral("9\n9"));
    plain.setText(QStringLiteral("9\n9"));
    QCOMPARE(glass.sizeHint(), plain.sizeHint());
    QCOMPARE(glass.minimumSizeHint(), plain.minimumSizeHint());
}

void TestGlassLabel::repaintsOnlyTheChangedDigits()
{
    QWidget window;
    auto *label = new QGlassLabel(Countdown);
    auto *layout = new QGridLayout(&window);
    layout->addWidget(label);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    PaintLog log;
    label->installEventFilter(&log);
    label->setText(QStringLiteral("라비던전 - 대기 (16:35 후 열림)"));
    QTRY_COMPARE(log.regions.size(), 1);
    const QRect repainted = log.regions[0].boundingRect();
    QVERIFY2(repainted.width() * 4 < label->width(),
             qPrintable(QStringLiteral("%1 of %2 px").arg(repainted.width()).arg(label->width())));
    QVERIFY(repainted.right() > label->width() / 2);

    // Another word, or the same text: the whole label, or nothing.
    label->setText(QStringLiteral("라비던전 - 열림 (08:59 후 닫힘)"));
    QTRY_COMPARE(log.regions.size(), 2);
    QCOMPARE(log.regions[1].boundingRect(), label->rect());
    label->setText(label->text());
    QTest::qWait(50);
    QCOMPARE(log.regions.size(), 2);
}

void TestGlassLabel::leavesNoStalePixels()
{
    QWidget window;
    auto *label = new QGlassLabel(Countdown);
    auto *clock = new QGlassLabel(QStringLiteral("00:00"));
    auto *layout = new QGridLayout(&window);
    layout->addWidget(label, 0, 0);
    layout->addWidget(clock, 1, 0);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    const QStringList minute = aMinuteOfCountdown();
    for (int i = 0; i < minute.size(); ++i) {
        label->setText(minute[i]);
        clock->setText(QStringLiteral("%1:%2").arg(i % 24, 2, 10, QChar(u'0'))
                               .arg(i * 7 % 60, 2, 10, QChar(u'0')));
        QCoreApplication::processEvents();
    }
    QTest::qWait(20);
    const QImage ticked = onScreen(&window);
    window.repaint();
    QCOMPARE(ticked, onScreen(&window));
}

void TestGlassLabel::resizesTheWindowOnTheSameTick()
{
    // Like the clock's window: a fixed-size layout, laid out on the tick.
    QWidget window;
    auto *layout = new QGridLayout(&window);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    auto *merchant = new QGlassLabel(QStringLiteral("케오섬 - 25:30 후 이동"));
    layout->addWidget(new QGlassLabel(QStringLiteral("프라이스:")), 0, 0);
    layout->addWidget(merchant, 0, 1);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QSize before = window.size();

    merchant->setText(QStringLiteral("케오섬 - 25:29 후 이동"));
    layout->activate();
    QCOMPARE(window.size(), before);

    merchant->setText(QStringLiteral("두갈드아일 벌목캠프 움집 - 25:28 후 이동"));
    layout->activate();
    QVERIFY(window.width() > before.width());
    QCOMPARE(window.size(), layout->totalSizeHint());
    QCOMPARE(merchant->size(), QLabel(merchant->text()).sizeHint());

    merchant->setText(QStringLiteral("케오섬 - 25:27 후 이동"));
    layout->activate();
    QCOMPARE(window.size(), before);
}

QTEST_MAIN(TestGlassLabel)
#include "tst_glasslabel.moc"
