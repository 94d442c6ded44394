// Glass through Windows' own Qt, on real top-level windows of the windows
// platform plugin, under Wine on an X server. The first argument names the
// modules the process runs with:
//   wine       Wine's own dwmapi and uxtheme, which report no composition;
//   stand-ins  the stand-ins in this program's folder (run with
//              WINEDLLOVERRIDES=dwmapi,uxtheme=n), which report composition
//              on and record every DWM call and every glow drawing.

#include "fake_modules.h"
#include "glass.h"
#include "qglasslabel.h"
#include "widget.h"

#include <QApplication>
#include <QCheckBox>
#include <QAction>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
#include <QSlider>
#include <QStyleFactory>
#include <QTimer>
#include <QtTest>

#include <windows.h>
#include <vssym32.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

const LONG ClickThrough = WS_EX_LAYERED | WS_EX_TRANSPARENT;

HWND hwndOf(QWidget *widget)
{
    return reinterpret_cast<HWND>(widget->winId());
}

LONG exStyleOf(QWidget *widget)
{
    return GetWindowLongW(hwndOf(widget), GWL_EXSTYLE);
}

// Whether a lies above b among the top-level windows.
bool isAbove(HWND a, HWND b)
{
    for (HWND next = GetWindow(a, GW_HWNDNEXT); next; next = GetWindow(next, GW_HWNDNEXT)) {
        if (next == b)
            return true;
    }
    return false;
}

std::unique_ptr<QWidget> shownWindow(const QRect &geometry)
{
    auto window = std::make_unique<QWidget>();
    window->setGeometry(geometry);
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        return nullptr;
    return window;
}

// The alpha of a layered window, or -1 when it has none.
int layeredAlpha(HWND hwnd)
{
    BYTE alpha = 0;
    DWORD flags = 0;
    if (!(GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_LAYERED)
        || !GetLayeredWindowAttributes(hwnd, nullptr, &alpha, &flags) || flags != LWA_ALPHA)
        return -1;
    return alpha;
}

// Whether a click at the window's middle would reach it.
bool takesClicks(QWidget *window)
{
    const QPoint middle = window->geometry().center();
    return WindowFromPoint(POINT{middle.x(), middle.y()}) == hwndOf(window);
}

// What the window shows, read back from the window itself.
QImage windowPixels(QWidget *window)
{
    return window->screen()->grabWindow(window->winId()).toImage().convertToFormat(
            QImage::Format_RGB32);
}

int darkPixels(const QImage &image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += qGray(image.pixel(x, y)) < 100;
    return count;
}

template <typename Fn>
Fn fakeEntry(const wchar_t *module, const char *name)
{
    return reinterpret_cast<Fn>(
            reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(module), name)));
}

} // namespace

class TestCompositionOff : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void compositionIsOff();
    void windowOffersNoGlass();
    void labelsPaintAsPlainLabels_data();
    void labelsPaintAsPlainLabels();
    void setTopmostMovesTheWindowInAndOutOfTheTopBand();
    void setTransparent_data();
    void setTransparent();
    void clickThroughFollowsTheSlider_data();
    void clickThroughFollowsTheSlider();
};

void TestCompositionOff::initTestCase()
{
    QVERIFY2(GetModuleHandleW(L"dwmapi.dll"), "Qt always loads dwmapi.dll");
    QVERIFY2(!fakeEntry<FakeDwmCallsFn>(L"dwmapi.dll", "FakeDwmCalls"),
             "the stand-in dwmapi.dll is loaded: run with WINEDLLOVERRIDES=dwmapi,uxtheme=b");
}

void TestCompositionOff::compositionIsOff()
{
    Glass glass;
    QVERIFY(!glass.IsCompositionEnabled());
}

void TestCompositionOff::windowOffersNoGlass()
{
    Widget window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(window.findChild<QCheckBox *>(QStringLiteral("topmostCheck")));
    QVERIFY(!window.findChild<QCheckBox *>(QStringLiteral("glassCheck")));
    QVERIFY(!window.testAttribute(Qt::WA_TranslucentBackground));
}

void TestCompositionOff::labelsPaintAsPlainLabels_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("caption") << QStringLiteral("에린시간:");
    QTest::newRow("countdown") << QStringLiteral("케오섬 - 대기 (16:36 후 열림)");
    QTest::newRow("ampersand and lines") << QStringLiteral("A & B\n원격 은행 이용권");
}

void TestCompositionOff::labelsPaintAsPlainLabels()
{
    QFETCH(QString, text);
    auto glassWindow = shownWindow(QRect(40, 60, 320, 90));
    auto plainWindow = shownWindow(QRect(40, 260, 320, 90));
    QVERIFY(glassWindow && plainWindow);
    auto *glassLabel = new QGlassLabel(text);
    auto *plainLabel = new QLabel(text);
    glassLabel->setParent(glassWindow.get());
    plainLabel->setParent(plainWindow.get());
    for (QLabel *label : {static_cast<QLabel *>(glassLabel), plainLabel}) {
        label->setGeometry(QRect(QPoint(12, 10), label->sizeHint()));
        label->show();
        label->repaint();
    }

    const QImage shown = windowPixels(glassWindow.get());
    QVERIFY2(darkPixels(shown) > 20, "the label shows no text");
    QCOMPARE(shown, windowPixels(plainWindow.get()));
}

void TestCompositionOff::setTopmostMovesTheWindowInAndOutOfTheTopBand()
{
    auto back = shownWindow(QRect(100, 100, 400, 300));
    auto front = shownWindow(QRect(150, 150, 200, 120));
    QVERIFY(back && front);
    Glass glass;

    glass.SetTopmost(front->winId(), true);
    QVERIFY(exStyleOf(front.get()) & WS_EX_TOPMOST);
    back->raise();
    back->activateWindow();
    QTRY_VERIFY(isAbove(hwndOf(front.get()), hwndOf(back.get())));

    glass.SetTopmost(front->winId(), false);
    QVERIFY(!(exStyleOf(front.get()) & WS_EX_TOPMOST));
    back->raise();
    QTRY_VERIFY(isAbove(hwndOf(back.get()), hwndOf(front.get())));
}

void TestCompositionOff::setTransparent_data()
{
    QTest::addColumn<bool>("topmost");
    QTest::addColumn<bool>("transparent");
    QTest::addColumn<bool>("onTop");
    QTest::newRow("click-through, not asked on top") << false << true << true;
    QTest::newRow("click-through, asked on top") << true << true << true;
    QTest::newRow("off, on top") << true << false << true;
    QTest::newRow("off, not on top") << false << false << false;
}

void TestCompositionOff::setTransparent()
{
    QFETCH(bool, topmost);
    QFETCH(bool, transparent);
    QFETCH(bool, onTop);
    auto back = shownWindow(QRect(100, 100, 400, 300));
    auto front = shownWindow(QRect(150, 150, 200, 120));
    QVERIFY(back && front);
    const HWND hwnd = hwndOf(front.get());
    Glass glass;
    // From the other state, so that every bit has to move.
    glass.SetTransparent(front->winId(), !topmost, !transparent);
    const LONG before = exStyleOf(front.get());

    glass.SetTransparent(front->winId(), topmost, transparent);
    const LONG after = exStyleOf(front.get());
    QCOMPARE(after & ClickThrough, transparent ? ClickThrough : 0);
    QCOMPARE(bool(after & WS_EX_TOPMOST), onTop);
    const LONG others = ~(ClickThrough | WS_EX_TOPMOST);
    QCOMPARE(after & others, before & others);
    if (transparent) {
        BYTE alpha = 0;
        DWORD flags = 0;
        QVERIFY(GetLayeredWindowAttributes(hwnd, nullptr, &alpha, &flags));
        QCOMPARE(int(alpha), 255);
        QCOMPARE(flags, DWORD(LWA_ALPHA));
    }

    // The mouse passes through to the window below exactly in click-through.
    const QPoint middle = front->geometry().center();
    const HWND hit = WindowFromPoint(POINT{middle.x(), middle.y()});
    QCOMPARE(hit == hwnd, !transparent);

    back->raise();
    back->activateWindow();
    QTRY_COMPARE(isAbove(hwnd, hwndOf(back.get())), onTop);
}

void TestCompositionOff::clickThroughFollowsTheSlider_data()
{
    QTest::addColumn<bool>("topmost");
    QTest::newRow("always on top") << true;
    QTest::newRow("not on top") << false;
}

// The program's own window, the way a player sets it: an opacity, then
// click-through from the tray menu, then the slider moved while clicks
// pass through.
void TestCompositionOff::clickThroughFollowsTheSlider()
{
    QFETCH(bool, topmost);
    auto back = shownWindow(QRect(0, 0, 900, 700));
    QVERIFY(back);
    Widget window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *slider = window.findChild<QSlider *>(QStringLiteral("opacitySlider"));
    auto *clickThrough = window.findChild<QAction *>(QStringLiteral("transparentAction"));
    auto *topmostCheck = window.findChild<QCheckBox *>(QStringLiteral("topmostCheck"));
    QVERIFY(slider && clickThrough && topmostCheck);
    const HWND hwnd = hwndOf(&window);
    topmostCheck->setChecked(topmost);
    slider->setValue(50);
    QCOMPARE(layeredAlpha(hwnd), 128);

    // The first use explains the mode in a message box, which the player
    // closes.
    QTimer answer;
    connect(&answer, &QTimer::timeout, this, [] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
            box->accept();
    });
    answer.start(20);
    clickThrough->trigger();
    answer.stop();
    QVERIFY(clickThrough->isChecked());

    // Hidden to the tray and shown again from its menu on the way.
    const struct {
        int opacity;
        bool hide;
    } steps[] = {{50, false}, {100, false}, {50, false}, {100, true}, {50, true}};
    for (const auto &step : steps) {
        const int opacity = step.opacity;
        const QByteArray where = "with the slider at " + QByteArray::number(opacity)
                + (step.hide ? ", hidden and shown again" : "");
        slider->setValue(opacity);
        if (step.hide) {
            window.hide();
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
        }
        QVERIFY2(window.winId() == WId(hwnd), "the window was made anew: " + where);
        const LONG style = exStyleOf(&window);
        QVERIFY2((style & ClickThrough) == ClickThrough, "clicks are taken " + where);
        QVERIFY2(style & WS_EX_TOPMOST, "not on top " + where);
        QVERIFY2(!takesClicks(&window), "a click reaches the window " + where);
        QCOMPARE(layeredAlpha(hwnd), qRound(255 * opacity / 100.0));
        back->raise();
        back->activateWindow();
        QTRY_VERIFY2(isAbove(hwnd, hwndOf(back.get())), "below another window " + where);
    }

    slider->setValue(50);
    clickThrough->trigger();
    QVERIFY(!clickThrough->isChecked());
    QVERIFY(!(exStyleOf(&window) & WS_EX_TRANSPARENT));
    QVERIFY(takesClicks(&window));
    QCOMPARE(layeredAlpha(hwnd), 128);
    QCOMPARE(bool(exStyleOf(&window) & WS_EX_TOPMOST), topmost);
    slider->setValue(100);
    QCOMPARE(layeredAlpha(hwnd), -1);
    QVERIFY(takesClicks(&window));
    QCOMPARE(bool(exStyleOf(&window) & WS_EX_TOPMOST), topmost);
}

class TestCompositionOn : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void compositionIsOn();
    void windowOffersGlassAndGlows();
    void glassStepsReachTheDwm();
    void drawStringFillsTheGrownArea();

private:
    std::vector<FakeDwmCall> dwmCalls() const;
    std::vector<FakeDrawCall> drawCalls() const;

    FakeDwmCallsFn m_dwmCalls = nullptr;
    FakeDwmResetFn m_dwmReset = nullptr;
    FakeThemeDrawCallsFn m_drawCalls = nullptr;
    FakeThemeResetFn m_themeReset = nullptr;
};

void TestCompositionOn::initTestCase()
{
    m_dwmCalls = fakeEntry<FakeDwmCallsFn>(L"dwmapi.dll", "FakeDwmCalls");
    m_dwmReset = fakeEntry<FakeDwmResetFn>(L"dwmapi.dll", "FakeDwmReset");
    m_drawCalls = fakeEntry<FakeThemeDrawCallsFn>(L"uxtheme.dll", "FakeThemeDrawCalls");
    m_themeReset = fakeEntry<FakeThemeResetFn>(L"uxtheme.dll", "FakeThemeReset");
    QVERIFY2(m_dwmCalls && m_dwmReset && m_drawCalls && m_themeReset,
             "the stand-in dwmapi.dll and uxtheme.dll are not loaded: run this copy from "
             "their folder with WINEDLLOVERRIDES=dwmapi,uxtheme=n");
}

std::vector<FakeDwmCall> TestCompositionOn::dwmCalls() const
{
    FakeDwmCall calls[16];
    const int count = m_dwmCalls(calls, 16);
    return std::vector<FakeDwmCall>(calls, calls + qMin(count, 16));
}

std::vector<FakeDrawCall> TestCompositionOn::drawCalls() const
{
    FakeDrawCall calls[8];
    const int count = m_drawCalls(calls, 8);
    return std::vector<FakeDrawCall>(calls, calls + qMin(count, 8));
}

void TestCompositionOn::compositionIsOn()
{
    Glass glass;
    QVERIFY(glass.IsCompositionEnabled());
}

void TestCompositionOn::windowOffersGlassAndGlows()
{
    m_themeReset();
    Widget window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    auto *box = window.findChild<QCheckBox *>(QStringLiteral("glassCheck"));
    QVERIFY(box);
    QCOMPARE(box->text(), QStringLiteral("Vista GlassFrame"));
    QVERIFY(box->isTristate());
    QCOMPARE(box->checkState(), Qt::Unchecked);
    QVERIFY(window.testAttribute(Qt::WA_TranslucentBackground));

    // The labels glow: their texts went to the theme's text drawing.
    QTRY_VERIFY(!drawCalls().empty());
    for (const FakeDrawCall &call : drawCalls())
        QCOMPARE(call.theme, FAKE_THEME_HANDLE);
}

void TestCompositionOn::glassStepsReachTheDwm()
{
    Widget window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *box = window.findChild<QCheckBox *>(QStringLiteral("glassCheck"));
    QVERIFY(box);
    const HWND hwnd = hwndOf(&window);

    FakeDwmCall blurOn = {FakeDwmBlurBehind, hwnd, {}, {}};
    blurOn.blur = {DWM_BB_ENABLE | DWM_BB_TRANSITIONONMAXIMIZED, TRUE, nullptr, TRUE};
    FakeDwmCall blurOff = {FakeDwmBlurBehind, hwnd, {}, {}};
    blurOff.blur = {DWM_BB_ENABLE, FALSE, nullptr, FALSE};
    FakeDwmCall sheet = {FakeDwmExtendFrame, hwnd, {}, {}};
    sheet.margins = {-1, 0, 0, 0};
    FakeDwmCall noMargins = {FakeDwmExtendFrame, hwnd, {}, {}};
    noMargins.margins = {0, 0, 0, 0};

    // Each click moves the box one step on: blurred, a sheet, none again.
    const struct {
        const char *name;
        Qt::CheckState state;
        std::vector<FakeDwmCall> calls;
    } steps[] = {
        {"blur behind", Qt::PartiallyChecked, {blurOn}},
        {"sheet", Qt::Checked, {sheet}},
        {"none", Qt::Unchecked, {blurOff, noMargins}},
    };
    for (const auto &step : steps) {
        m_dwmReset();
        box->click();
        QCOMPARE(box->checkState(), step.state);
        const std::vector<FakeDwmCall> calls = dwmCalls();
        QVERIFY2(calls.size() == step.calls.size(), step.name);
        for (size_t i = 0; i < calls.size(); ++i) {
            const FakeDwmCall &actual = calls[i];
            const FakeDwmCall &expected = step.calls[i];
            QVERIFY2(actual.kind == expected.kind, step.name);
            QVERIFY2(actual.hwnd == hwnd, step.name);
            const bool same = expected.kind == FakeDwmBlurBehind
                    ? std::memcmp(&actual.blur, &expected.blur, sizeof actual.blur) == 0
                    : std::memcmp(&actual.margins, &expected.margins, sizeof actual.margins) == 0;
            QVERIFY2(same, step.name);
        }
    }
}

void TestCompositionOn::drawStringFillsTheGrownArea()
{
    const QColor background(10, 200, 40);
    Glass::SetBkColor(background);
    auto window = shownWindow(QRect(60, 60, 320, 90));
    QVERIFY(window);
    const QString text = QStringLiteral("케오섬 - 대기 & 열림");
    auto *label = new QGlassLabel(text);
    label->setParent(window.get());
    label->setGeometry(20, 15, 160, 24);
    label->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));

    m_themeReset();
    label->repaint();
    const std::vector<FakeDrawCall> calls = drawCalls();
    QCOMPARE(calls.size(), size_t(1));
    const FakeDrawCall &call = calls.front();

    QCOMPARE(call.theme, FAKE_THEME_HANDLE);
    QCOMPARE(call.partId, 0);
    QCOMPARE(call.stateId, 0);
    QCOMPARE(QString::fromWCharArray(call.text), text);
    QCOMPARE(call.charCount, -1);
    QCOMPARE(call.flags, DWORD(DT_WORDBREAK | DT_NOPREFIX));
    // The widget's rectangle grown by 5 on every side; the text starts at
    // the widget's own corner.
    const int width = 160 + 10, height = 24 + 10;
    QCOMPARE(call.rect.left, 5L);
    QCOMPARE(call.rect.top, 5L);
    QCOMPARE(call.rect.right, LONG(width));
    QCOMPARE(call.rect.bottom, LONG(height));
    DTTOPTS options = {};
    options.dwSize = sizeof options;
    options.dwFlags = DTT_COMPOSITED | DTT_GLOWSIZE | DTT_SHADOWTYPE;
    options.iTextShadowType = TST_CONTINUOUS;
    options.iGlowSize = 5;
    // The structure's own size: 72 bytes in a 64-bit program.
    QCOMPARE(call.options.dwSize, UINT(sizeof(DTTOPTS)));
    QVERIFY(std::memcmp(&call.options, &options, sizeof options) == 0);

    // Into a 32-bit bitmap of the grown area, filled with the background
    // colour, premultiplied, in the label's own font.
    QVERIFY(call.isDibSection);
    QCOMPARE(call.dibWidth, LONG(width));
    QCOMPARE(qAbs(call.dibHeight), LONG(height));
    QCOMPARE(call.dibBitCount, WORD(32));
    for (unsigned int pixel : call.firstPixels)
        QCOMPARE(pixel, unsigned(qPremultiply(background.rgba())));
    QVERIFY(call.font && call.font != GetStockObject(SYSTEM_FONT));

    // Copied onto the window without blending: the label shows the
    // background, and the stand-in's mark at the text's corner.
    const QImage shown = windowPixels(window.get());
    const QRect area = label->geometry();
    const QRgb mark = qRgb(GetRValue(FAKE_MARK_COLOR), GetGValue(FAKE_MARK_COLOR),
                           GetBValue(FAKE_MARK_COLOR));
    QCOMPARE(shown.pixel(area.topLeft()), mark);
    int others = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (QPoint(x, y) != area.topLeft() && shown.pixel(x, y) != background.rgb())
                ++others;
        }
    }
    QCOMPARE(others, 0);
}

int main(int argc, char **argv)
{
    const QByteArray modules = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    if (modules != "wine" && modules != "stand-ins") {
        std::fprintf(stderr, "usage: %s wine|stand-ins [QtTest options]\n", argv[0]);
        return 2;
    }
    // The rest is QtTest's.
    argv[1] = argv[0];
    --argc;
    ++argv;

    QApplication app(argc, argv);
    // The program's own style where there is no "cleanlooks".
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    if (modules == "wine") {
        TestCompositionOff test;
        return QTest::qExec(&test, argc, argv);
    }
    TestCompositionOn test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_glass_win.moc"
