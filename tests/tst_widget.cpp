#include "schedule.h"
#include "tables.h"
#include "widget.h"

#include <QComboBox>
#include <QLabel>
#include <QLayout>
#include <QtTest>

namespace {

const char *const dataLabels[] = {
    "gameTimeLabel", "realTimeLabel", "moongateLabel", "moongateRouteLabel", "jobLabel",
    "dayNameLabel", "dayEffectLabel", "dayItemLabel", "merchantLabel", "merchantNextLabel",
    "merchantAfterLabel",
};

class PaintCounter : public QObject
{
public:
    int paints = 0;
    int geometryChanges = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        else if (event->type() == QEvent::Move || event->type() == QEvent::Resize)
            ++geometryChanges;
        return false;
    }
};

} // namespace

class TestWidget : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void startsWithFixedTextsAndLoadingLabels();
    void chooserListsTheShopsInTableOrder();
    void firstTickFillsEveryLabelAndFitsTheWindow();
    void unchangedLabelsAreNotRepainted();
    void newShopShowsAtTheNextTick();

private:
    QLabel *label(const char *name) const { return widget->findChild<QLabel *>(name); }
    QComboBox *chooser() const { return widget->findChild<QComboBox *>("jobCombo"); }
    void waitForTick() const;

    Widget *widget = nullptr;
};

void TestWidget::init()
{
    widget = new Widget;
    widget->show();
    QVERIFY(QTest::qWaitForWindowExposed(widget));
}

void TestWidget::cleanup()
{
    delete widget;
    widget = nullptr;
}

void TestWidget::waitForTick() const
{
    QTRY_VERIFY_WITH_TIMEOUT(label("gameTimeLabel")->text() != QLatin1String("loading..."), 2000);
}

void TestWidget::startsWithFixedTextsAndLoadingLabels()
{
    // A window of its own, looked at before the event loop runs again: on a
    // loaded machine, showing the one of init() can outlast the first tick.
    delete widget;
    widget = new Widget;
    QCOMPARE(widget->windowTitle(), QStringLiteral("Tarvenel Timer v0.3.1"));
    for (const char *name : dataLabels) {
        QVERIFY2(label(name), name);
        QCOMPARE(label(name)->text(), QStringLiteral("loading..."));
    }
    QStringList texts;
    for (const QLabel *l : widget->findChildren<QLabel *>())
        texts << l->text();
    for (const QString &fixed : { QStringLiteral("에린시간:"), QStringLiteral("현실시간:"),
                                  QStringLiteral("프라이스:"), hoursNotice(), placeNotice(),
                                  creditLine() })
        QVERIFY2(texts.contains(fixed), qPrintable(fixed));
}

void TestWidget::chooserListsTheShopsInTableOrder()
{
    QComboBox *combo = chooser();
    QCOMPARE(combo->count(), ShopCount);
    for (int i = 0; i < ShopCount; ++i) {
        QCOMPARE(combo->itemText(i), partTimeJobs[i].shopName);
        QVERIFY(!combo->itemData(i).isValid());
    }
    QCOMPARE(combo->currentIndex(), 0);
    QCOMPARE(combo->itemText(0), QStringLiteral("꽃가게"));
    QCOMPARE(combo->itemText(14), QStringLiteral("채굴장"));
}

void TestWidget::firstTickFillsEveryLabelAndFitsTheWindow()
{
    waitForTick();
    for (const char *name : dataLabels)
        QVERIFY2(label(name)->text() != QLatin1String("loading..."), name);
    QCOMPARE(label("dayNameLabel")->text(),
             dayNames[QDate::currentDate().dayOfWeek() % WeekDays]);
    QCOMPARE(widget->size(), widget->layout()->totalSizeHint());
    QCOMPARE(widget->minimumSize(), widget->maximumSize());
}

void TestWidget::unchangedLabelsAreNotRepainted()
{
    waitForTick();
    // A label that moves because a neighbour's text grew must repaint, so
    // only stretches in which it kept its place count.
    int quietStretches = 0;
    for (int attempt = 0; attempt < 5 && quietStretches == 0; ++attempt) {
        PaintCounter still, ticking;
        label("dayItemLabel")->installEventFilter(&still);
        label("merchantLabel")->installEventFilter(&ticking);
        QTest::qWait(2200);
        label("dayItemLabel")->removeEventFilter(&still);
        label("merchantLabel")->removeEventFilter(&ticking);
        // The countdown changes every second, so it did repaint.
        QVERIFY(ticking.paints >= 1);
        if (still.geometryChanges == 0) {
            QCOMPARE(still.paints, 0);
            ++quietStretches;
        }
    }
    QVERIFY(quietStretches > 0);
}

void TestWidget::newShopShowsAtTheNextTick()
{
    waitForTick();
    QTest::qWait(100);
    const QString before = label("jobLabel")->text();
    chooser()->setCurrentIndex(13);
    QCOMPARE(label("jobLabel")->text(), before);

    QTRY_VERIFY_WITH_TIMEOUT(label("jobLabel")->text() != before, 1500);
    const QDateTime now = QDateTime::currentDateTime();
    const QString shown = label("jobLabel")->text();
    QVERIFY2(shown == scheduleTexts(now, 13).job || shown == scheduleTexts(now.addSecs(-1), 13).job,
             qPrintable(shown));
}

QTEST_MAIN(TestWidget)
#include "tst_widget.moc"
