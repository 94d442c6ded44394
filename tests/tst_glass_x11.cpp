// The X11 backend on a real X server with a window manager: run under
// tests/xsession.py. Starts and stops xcompmgr itself.
#include "glass.h"

#include <QProcess>
#include <QWidget>
#include <QWindow>
#include <QtTest>

namespace {

QString run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(10000);
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

QString xprop(WId window, const char *name)
{
    return run(QStringLiteral("xprop"), { QStringLiteral("-id"), QString::number(window),
                                          QString::fromLatin1(name) });
}

bool isAbove(WId window)
{
    return xprop(window, "_NET_WM_STATE").contains(QLatin1String("_NET_WM_STATE_ABOVE"));
}

bool hasBlur(WId window)
{
    return xprop(window, "_KDE_NET_WM_BLUR_BEHIND_REGION").contains(QLatin1Char('='));
}

// A window that counts the mouse presses it receives.
class Target : public QWidget
{
public:
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent *) override { ++presses; }
};

void click(const QPoint &global)
{
    run(QStringLiteral("xdotool"), { QStringLiteral("mousemove"), QString::number(global.x()),
                                     QString::number(global.y()), QStringLiteral("click"),
                                     QStringLiteral("1") });
}

class Compositor
{
public:
    Compositor()
    {
        m_process.setStandardErrorFile(QProcess::nullDevice());
        m_process.start(QStringLiteral("xcompmgr"), {});
        m_process.waitForStarted();
    }
    ~Compositor() { stop(); }
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        m_process.waitForFinished(5000);
    }

private:
    QProcess m_process;
};

// Hides and shows the window after a flag change, which makes Qt create a
// new X window; returns the new id.
WId recreate(QWidget &widget)
{
    widget.hide();
    QTest::qWait(100);
    widget.show();
    if (!QTest::qWaitForWindowExposed(&widget))
        qWarning("window not exposed again");
    QTest::qWait(200);
    return widget.windowHandle()->winId();
}

} // namespace

class TestGlassX11 : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void compositionFollowsTheCompositor();
    void topmostSurvivesRecreation();
    void blurHintFollowsTheMode();
    void clickThroughLetsClicksFallThrough();
    void clickThroughOffTakesClicksAtAnySize();

private:
    void showAt(QWidget &widget, const QRect &geometry);
};

void TestGlassX11::initTestCase()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
}

void TestGlassX11::showAt(QWidget &widget, const QRect &geometry)
{
    widget.setGeometry(geometry);
    widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget));
    QTest::qWait(200);
}

void TestGlassX11::compositionFollowsTheCompositor()
{
    Glass glass;
    QVERIFY(!glass.IsCompositionEnabled());
    {
        Compositor compositor;
        QTRY_VERIFY_WITH_TIMEOUT(glass.IsCompositionEnabled(), 5000);
        // A paint-time handle gives the same answer.
        QVERIFY(Glass().IsCompositionEnabled());
        compositor.stop();
        QTRY_VERIFY_WITH_TIMEOUT(!glass.IsCompositionEnabled(), 5000);
    }
    Compositor again;
    QTRY_VERIFY_WITH_TIMEOUT(glass.IsCompositionEnabled(), 5000);
}

void TestGlassX11::topmostSurvivesRecreation()
{
    Glass glass;
    QWidget widget;
    showAt(widget, QRect(100, 100, 200, 100));
    const WId id = widget.winId();

    glass.SetTopmost(id, true);
    QTRY_VERIFY(isAbove(widget.windowHandle()->winId()));
    QVERIFY(widget.isVisible());

    // Re-created under a new X id, while the program still holds the old one.
    const WId newId = recreate(widget);
    QTRY_VERIFY(isAbove(newId));
    glass.SetTopmost(id, false);
    QTRY_VERIFY(!isAbove(widget.windowHandle()->winId()));
    glass.SetTopmost(id, true);
    QTRY_VERIFY(isAbove(widget.windowHandle()->winId()));
}

void TestGlassX11::blurHintFollowsTheMode()
{
    Glass glass;
    QWidget widget;
    showAt(widget, QRect(120, 120, 240, 90));
    const WId id = widget.winId();

    // Without a compositor nothing happens, whatever the mode.
    glass.SetGlass(id, GLASS_BLURBEHIND);
    QVERIFY(!hasBlur(id));

    Compositor compositor;
    QTRY_VERIFY_WITH_TIMEOUT(glass.IsCompositionEnabled(), 5000);
    glass.SetGlass(id, GLASS_BLURBEHIND);
    QTRY_VERIFY(hasBlur(id));
    const qreal ratio = widget.devicePixelRatioF();
    QVERIFY2(xprop(id, "_KDE_NET_WM_BLUR_BEHIND_REGION")
                     .contains(QStringLiteral("= 0, 0, %1, %2")
                                       .arg(int(240 * ratio)).arg(int(90 * ratio))),
             qPrintable(xprop(id, "_KDE_NET_WM_BLUR_BEHIND_REGION")));
    glass.SetGlass(id, GLASS_SHEET);
    QVERIFY(hasBlur(id));
    glass.SetGlass(id, GLASS_MODE(7));
    QVERIFY(hasBlur(id));

    // Lost with the X window it was set on, and set again on the new one.
    widget.windowHandle()->setFlag(Qt::WindowStaysOnTopHint, true);
    const WId newId = recreate(widget);
    QTRY_VERIFY(hasBlur(newId));

    glass.SetGlass(id, GLASS_NONE);
    QTRY_VERIFY(!hasBlur(newId));

    // Composition gone: GLASS_NONE leaves an earlier blur where it was.
    glass.SetGlass(id, GLASS_BLURBEHIND);
    QTRY_VERIFY(hasBlur(newId));
    compositor.stop();
    QTRY_VERIFY_WITH_TIMEOUT(!glass.IsCompositionEnabled(), 5000);
    glass.SetGlass(id, GLASS_NONE);
    QVERIFY(hasBlur(newId));
}

void TestGlassX11::clickThroughLetsClicksFallThrough()
{
    Glass glass;
    Target below, above;
    showAt(below, QRect(50, 50, 500, 400));
    showAt(above, QRect(150, 150, 200, 150));
    above.setWindowOpacity(0.5);
    const WId id = above.winId();
    QPoint inAbove = above.mapToGlobal(QPoint(100, 75));

    click(inAbove);
    QTRY_COMPARE(above.presses, 1);
    QCOMPARE(below.presses, 0);

    glass.SetTransparent(id, false, true);
    QTRY_VERIFY(isAbove(id));
    // Left fully opaque, like a layered window at full alpha.
    QCOMPARE(above.windowHandle()->opacity(), 1.0);
    click(inAbove);
    QTRY_COMPARE(below.presses, 1);
    QCOMPARE(above.presses, 1);

    // Hidden and shown again: still click-through.
    const WId newId = recreate(above);
    QTRY_VERIFY(isAbove(newId));
    inAbove = above.mapToGlobal(QPoint(100, 75));
    QVERIFY(below.geometry().contains(inAbove));
    click(inAbove);
    QTRY_COMPARE(below.presses, 2);
    QCOMPARE(above.presses, 1);

    // Off again, asked to stay on top: clicks land on the window. (Below
    // was raised by the clicks it took, so only the topmost band keeps
    // this window over it.)
    glass.SetTransparent(id, true, false);
    QTRY_VERIFY(isAbove(newId));
    click(inAbove);
    QTRY_COMPARE(above.presses, 2);
    QCOMPARE(below.presses, 2);

    // Off without topmost: the window leaves the topmost band.
    glass.SetTransparent(id, false, true);
    QTRY_VERIFY(isAbove(newId));
    glass.SetTransparent(id, false, false);
    QTRY_VERIFY(!isAbove(newId));
}

void TestGlassX11::clickThroughOffTakesClicksAtAnySize()
{
    Glass glass;
    Target below, above;
    showAt(below, QRect(50, 50, 600, 500));
    showAt(above, QRect(150, 150, 120, 80));
    const WId id = above.winId();

    glass.SetTransparent(id, false, true);
    glass.SetTransparent(id, false, false);
    above.resize(300, 250);
    QTest::qWait(300);
    click(above.mapToGlobal(QPoint(250, 200)));
    QTRY_COMPARE(above.presses, 1);
    QCOMPARE(below.presses, 0);
}

QTEST_MAIN(TestGlassX11)
#include "tst_glass_x11.moc"
