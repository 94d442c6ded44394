// What the glass library costs the window: the handle every label makes in
// each paint event, the glowing text it paints through, and the question it
// asks the X server before painting.
//
// Most of it runs offscreen. The functions about X (xRoundTrip,
// isCompositionEnabled, windowLabelOnX, windowPaintOnX; handleAlone builds
// the X backend there) need QT_QPA_PLATFORM=xcb on a real X server and are
// skipped elsewhere. Rows that need a compositor start xcompmgr, rows that
// need none stop it again, and it is stopped at the end.
#include "glass.h"
#include "glowtext_p.h"
#include "qglasscheckbox.h"
#include "qglasslabel.h"
#include "tables.h"
#include "widget.h"

#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QProcess>
#include <QtTest>

#if defined(BENCH_HAVE_XCB)
#include <xcb/xcb.h>
#endif

#include <cstdlib>
#include <ctime>
#include <memory>

namespace {

volatile int sink;

const QString GateText = QStringLiteral("케오섬 - 대기 (16:36 후 열림)");

// A label that always paints through Glass, as the window's labels do while
// the desktop composites, whatever the platform says.
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

bool onX()
{
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

#if defined(BENCH_HAVE_XCB)
xcb_connection_t *xConnection()
{
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}
#endif

void addTexts()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("moongate line") << GateText;
    QTest::newRow("weekday effect in 3 lines") << dayEffects[0];
}

// The label as the window's layout sizes it.
template <typename Label>
std::unique_ptr<Label> sizedLabel(const QString &text)
{
    auto label = std::make_unique<Label>(text);
    label->resize(label->sizeHint());
    label->ensurePolished();
    return label;
}

QImage targetFor(const QWidget &widget)
{
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

// Time on a CPU of the calling thread, apart from the wall time QtTest
// measures: a request to the X server mostly waits for the server.
class ThreadCpu
{
public:
    ThreadCpu() { m_start = now(); }

    // Reported as a line of the test log for scripts/bench.sh to pick up.
    // QtTest calls a benchmark function again with more iterations until the
    // loop runs long enough, so only the lines with the most iterations are
    // the ones that count.
    void report(qint64 iterations) const
    {
        if (iterations > 0)
            qInfo("thread CPU per iteration: %.3f us over %lld iterations",
                  (now() - m_start) / 1e3 / iterations, iterations);
    }

private:
    static qint64 now()
    {
        timespec time;
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &time);
        return qint64(time.tv_sec) * 1000000000 + time.tv_nsec;
    }

    qint64 m_start;
};

} // namespace

class BenchGlass : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void emptyLoop();
    void handleWhileAnotherLives();
    void handleAlone();

    void glowOnly_data() { addTexts(); }
    void glowOnly();
    void glowNextSecond();
    void textOnly_data() { addTexts(); }
    void textOnly();
    void paintGlowLabel_data() { addTexts(); }
    void paintGlowLabel();
    void paintGlowCountdown();
    void paintPlainLabel_data() { addTexts(); }
    void paintPlainLabel();
    void windowPaint();

    void xRoundTrip();
    void isCompositionEnabled_data() { addCompositorRows(); }
    void isCompositionEnabled();
    void windowLabelOnX_data();
    void windowLabelOnX();
    void windowPaintOnX_data() { addCompositorRows(); }
    void windowPaintOnX();

private:
    static void addCompositorRows();
    void useCompositor(bool on);
    void paintWindow(bool composited);

    QProcess compositor;
    // Kept from one call of a benchmark function to the next, which QtTest
    // makes many of; made again when composition is not what it was made in.
    std::unique_ptr<Widget> window;
    bool windowComposited = false;
};

void BenchGlass::initTestCase()
{
    // The window sets its own background colour before any label paints.
    Glass::SetBkColor(QApplication::palette().color(QPalette::Window));
}

void BenchGlass::cleanupTestCase()
{
    window.reset();
    if (compositor.state() != QProcess::NotRunning)
        useCompositor(false);
}

void BenchGlass::addCompositorRows()
{
    QTest::addColumn<bool>("composited");
    QTest::newRow("no compositor") << false;
    QTest::newRow("xcompmgr running") << true;
}

void BenchGlass::useCompositor(bool on)
{
    if (on && compositor.state() == QProcess::NotRunning) {
        compositor.setStandardErrorFile(QProcess::nullDevice());
        compositor.start(QStringLiteral("xcompmgr"), {});
        QVERIFY2(compositor.waitForStarted(), "xcompmgr did not start");
    } else if (!on && compositor.state() != QProcess::NotRunning) {
        compositor.terminate();
        if (!compositor.waitForFinished(5000)) {
            compositor.kill();
            compositor.waitForFinished();
        }
    }
    QTRY_COMPARE_WITH_TIMEOUT(Glass().IsCompositionEnabled(), on, 5000);
}

void BenchGlass::emptyLoop()
{
    // What the loop itself costs, to be taken off the handle's figure.
    QBENCHMARK {
        sink = 0;
    }
}

void BenchGlass::handleWhileAnotherLives()
{
    Glass window;
    QBENCHMARK {
        Glass paintTime;
        sink = 0;
    }
}

void BenchGlass::handleAlone()
{
    // No other handle: every one builds the platform's backend and frees it.
    QBENCHMARK {
        Glass paintTime;
        sink = 0;
    }
}

void BenchGlass::glowOnly()
{
    QFETCH(QString, text);
    const auto label = sizedLabel<QLabel>(text);
    const QSize area = label->size() + QSize(2 * GlowMargin, 2 * GlowMargin);
    QImage image(area, QImage::Format_ARGB32_Premultiplied);
    image.fill(QApplication::palette().color(QPalette::Window));
    const QRect box(GlowMargin, GlowMargin, area.width() - GlowMargin,
                    area.height() - GlowMargin);
    const QFont font = label->font();
    // The glow drawn whole, as for a label's first paint: nothing kept.
    QBENCHMARK {
        dropGlowTexts();
        drawGlowText(image, box, text, font);
    }
    sink = image.pixel(0, 0);
}

void BenchGlass::glowNextSecond()
{
    // A countdown a second later each time: redrawn around its digits.
    QStringList texts;
    for (int left = 1000; left > 940; --left)
        texts << QStringLiteral("케오섬 - 대기 (%1:%2 후 열림)")
                         .arg(left / 60, 2, 10, QChar(u'0'))
                         .arg(left % 60, 2, 10, QChar(u'0'));
    const auto label = sizedLabel<QLabel>(texts.first());
    const QSize area = label->size() + QSize(2 * GlowMargin, 2 * GlowMargin);
    const QImage background = [&] {
        QImage image(area, QImage::Format_ARGB32_Premultiplied);
        image.fill(QApplication::palette().color(QPalette::Window));
        return image;
    }();
    const QRect box(GlowMargin, GlowMargin, area.width() - GlowMargin,
                    area.height() - GlowMargin);
    const QFont font = label->font();
    int next = 0;
    QBENCHMARK {
        QImage image = background.copy();
        drawGlowText(image, box, texts[next], font);
        next = (next + 1) % texts.size();
        sink = image.pixel(0, 0);
    }
}

void BenchGlass::textOnly()
{
    // The same text without its halo, for what the glow adds.
    QFETCH(QString, text);
    const auto label = sizedLabel<QLabel>(text);
    const QSize area = label->size() + QSize(2 * GlowMargin, 2 * GlowMargin);
    QImage image(area, QImage::Format_ARGB32_Premultiplied);
    image.fill(QApplication::palette().color(QPalette::Window));
    const QRect box(GlowMargin, GlowMargin, area.width() - GlowMargin,
                    area.height() - GlowMargin);
    const QFont font = label->font();
    QBENCHMARK {
        QPainter painter(&image);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text);
    }
    sink = image.pixel(0, 0);
}

void BenchGlass::paintGlowLabel()
{
    // Without the window's own Glass every paint builds the library's record
    // and frees it, with the glowing texts it kept: each paint draws the glow
    // whole, as the first paint of a label does.
    QFETCH(QString, text);
    const auto label = sizedLabel<GlowLabel>(text);
    QImage image = targetFor(*label);
    qint64 iterations = 0;
    const ThreadCpu cpu;
    QBENCHMARK {
        label->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        ++iterations;
    }
    cpu.report(iterations);
    sink = image.pixel(0, 0);
}

void BenchGlass::paintGlowCountdown()
{
    // The window's labels while the clock ticks: the window's Glass lives,
    // and each paint shows the countdown a second later.
    Glass window;
    const auto label = sizedLabel<GlowLabel>(GateText);
    QImage image = targetFor(*label);
    int left = 1000;
    qint64 iterations = 0;
    const ThreadCpu cpu;
    QBENCHMARK {
        label->setText(QStringLiteral("케오섬 - 대기 (%1:%2 후 열림)")
                               .arg(left / 60, 2, 10, QChar(u'0'))
                               .arg(left % 60, 2, 10, QChar(u'0')));
        left = left > 941 ? left - 1 : 1000;
        label->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        ++iterations;
    }
    cpu.report(iterations);
    sink = image.pixel(0, 0);
}

void BenchGlass::paintPlainLabel()
{
    // A label as it paints without composition, through the same render.
    QFETCH(QString, text);
    const auto label = sizedLabel<QLabel>(text);
    QImage image = targetFor(*label);
    QBENCHMARK {
        label->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    }
    sink = image.pixel(0, 0);
}

void BenchGlass::paintWindow(bool composited)
{
    // The real window after its first tick, painted whole, as when the glass
    // check box is clicked or the window is uncovered.
    if (!window || windowComposited != composited) {
        window.reset();
        window = std::make_unique<Widget>();
        windowComposited = composited;
        QTRY_VERIFY_WITH_TIMEOUT(
                window->findChild<QLabel *>(QStringLiteral("gameTimeLabel"))->text()
                        != QLatin1String("loading..."),
                5000);
        window->adjustSize();
        int glassPainted = 0;
        for (QWidget *child : window->findChildren<QWidget *>()) {
            if (dynamic_cast<QGlassLabel *>(child) || dynamic_cast<QGlassCheckBox *>(child))
                ++glassPainted;
        }
        qInfo("widgets that make a Glass handle in each paint: %d", glassPainted);
    }
    QImage image = targetFor(*window);
    qint64 iterations = 0;
    const ThreadCpu cpu;
    QBENCHMARK {
        window->render(&image);
        ++iterations;
    }
    cpu.report(iterations);
    sink = image.pixel(0, 0);
}

void BenchGlass::windowPaint()
{
    if (onX())
        QSKIP("offscreen only; windowPaintOnX is the one for X");
    paintWindow(false);
}

void BenchGlass::xRoundTrip()
{
#if defined(BENCH_HAVE_XCB)
    if (!onX())
        QSKIP("needs QT_QPA_PLATFORM=xcb on an X server");
    xcb_connection_t *connection = xConnection();
    QVERIFY(connection);
    // The cheapest request with a reply: one trip to the server and back.
    qint64 iterations = 0;
    const ThreadCpu cpu;
    QBENCHMARK {
        xcb_get_input_focus_reply_t *reply =
                xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr);
        sink = reply ? reply->focus : 0;
        std::free(reply);
        ++iterations;
    }
    cpu.report(iterations);
#else
    QSKIP("built without xcb");
#endif
}

void BenchGlass::isCompositionEnabled()
{
    if (!onX())
        QSKIP("needs QT_QPA_PLATFORM=xcb on an X server");
    QFETCH(bool, composited);
    useCompositor(composited);
    if (QTest::currentTestFailed())
        return;
    Glass window;
    qint64 iterations = 0;
    const ThreadCpu cpu;
    QBENCHMARK {
        sink = window.IsCompositionEnabled();
        ++iterations;
    }
    cpu.report(iterations);
}

void BenchGlass::windowLabelOnX_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("composited");
    QTest::newRow("moongate line without compositor") << GateText << false;
    QTest::newRow("weekday effect in 3 lines without compositor") << dayEffects[0] << false;
    QTest::newRow("moongate line with xcompmgr") << GateText << true;
    QTest::newRow("weekday effect in 3 lines with xcompmgr") << dayEffects[0] << true;
}

void BenchGlass::windowLabelOnX()
{
    // The window's own label class: the handle and the question to the
    // server in every paint, then glowing or plain text by the answer.
    if (!onX())
        QSKIP("needs QT_QPA_PLATFORM=xcb on an X server");
    QFETCH(QString, text);
    QFETCH(bool, composited);
    useCompositor(composited);
    if (QTest::currentTestFailed())
        return;
    Glass window;
    const auto label = sizedLabel<QGlassLabel>(text);
    QImage image = targetFor(*label);
    qint64 iterations = 0;
    const ThreadCpu cpu;
    QBENCHMARK {
        label->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        ++iterations;
    }
    cpu.report(iterations);
    sink = image.pixel(0, 0);
}

void BenchGlass::windowPaintOnX()
{
    if (!onX())
        QSKIP("needs QT_QPA_PLATFORM=xcb on an X server");
    QFETCH(bool, composited);
    // Before the window exists: it takes its alpha channel and glass check
    // box from whether the desktop composites when it is made.
    useCompositor(composited);
    if (QTest::currentTestFailed())
        return;
    paintWindow(composited);
}

QTEST_MAIN(BenchGlass)
#include "bench_glass.moc"
