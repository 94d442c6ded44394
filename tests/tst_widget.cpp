#include "alarmstore.h"
#include "schedule.h"
#include "settingshome.h"
#include "tables.h"
#include "version.h"
#include "widget.h"

#include <QComboBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {


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
    void initTestCase();
    void init();
    void cleanup();
    void startsWithFixedTextsAndLoadingLabels();
    void chooserListsTheShopsInTableOrder();
    void firstTickFillsEveryLabelAndFitsTheWindow();
    void unchangedLabelsAreNotRepainted();
    void newShopShowsAtTheNextTick();
    void rightClickOffersThePanelsAlarms_data();
    void rightClickOffersThePanelsAlarms();
    void endingApplicationClosesWithoutAsking();

private:
    QLabel *label(const char *name) const { return widget->findChild<QLabel *>(name); }
    QComboBox *chooser() const { return widget->findChild<QComboBox *>("jobCombo"); }
    void waitForTick() const;

    Widget *widget = nullptr;
    QTemporaryDir settingsHome;
};

void TestWidget::initTestCase()
{
    // No alarms of the user's own.
    QVERIFY(settingsHome.isValid());
    // The user's configuration folder, on Linux and on Windows.
    useSettingsHome(settingsHome.path());
}

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
    // A window of its own that no event loop has run for yet: on a loaded
    // machine the shown one may already have had its first tick.
    Widget fresh;
    QCOMPARE(fresh.windowTitle(), QStringLiteral("Tarvenel Timer v" TIMER_VERSION));
    for (const Widget::DataLabel &shown : Widget::dataLabels) {
        const QLabel *data = fresh.findChild<QLabel *>(shown.name);
        QVERIFY2(data, shown.name);
        QCOMPARE(data->text(), QStringLiteral("loading..."));
    }
    QStringList texts;
    for (const QLabel *l : fresh.findChildren<QLabel *>())
        texts << l->text();
    for (const QString &fixed : { QStringLiteral("에린시간:"), QStringLiteral("현실시간:"),
                                  QStringLiteral("프라이스:"),
                                  QStringLiteral("에린시각 09:00 ~ 11:00, 15:00 ~ 17:00, 19:00 ~ 21:00"),
                                  placeNotice(),
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
    for (const Widget::DataLabel &shown : Widget::dataLabels)
        QVERIFY2(label(shown.name)->text() != QLatin1String("loading..."), shown.name);
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

void TestWidget::rightClickOffersThePanelsAlarms_data()
{
    QTest::addColumn<QString>("text"); // of the label clicked, or a data label's name
    QTest::addColumn<QString>("first"); // the menu's first entry; the view's without alarms
    QTest::newRow("moongate caption") << "문게이트:" << "열림 알림";
    QTest::newRow("moongate route") << "moongateRouteLabel" << "열림 알림";
    QTest::newRow("job") << "jobLabel" << "시작 알림";
    QTest::newRow("merchant's last line") << "merchantAfterLabel" << "이동 알림";
    QTest::newRow("second merchant's place") << placeNotice() << "등장 알림";
    QTest::newRow("clock") << "gameTimeLabel" << "시간표";
    QTest::newRow("weekday") << "dayEffectLabel" << "시간표";
    QTest::newRow("credit line") << creditLine() << "시간표";
}

void TestWidget::rightClickOffersThePanelsAlarms()
{
    QFETCH(QString, text);
    QFETCH(QString, first);
    QLabel *target = widget->findChild<QLabel *>(text);
    for (QLabel *l : widget->findChildren<QLabel *>()) {
        if (!target && l->text() == text)
            target = l;
    }
    QVERIFY(target);
    const QStringList filesBefore = QDir(settingsHome.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    const QPoint at = target->rect().center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, target->mapToGlobal(at));
    QApplication::sendEvent(target, &event);

    QMenu *shown = nullptr;
    for (QMenu *menu : widget->findChildren<QMenu *>()) {
        if (menu->isVisible())
            shown = menu;
    }
    QCOMPARE(shown ? shown->actions().first()->text() : QString(), first);
    if (shown)
        shown->close();
    // Looking at the menu changes nothing, so nothing is written.
    QVERIFY(AlarmStore::fileName().startsWith(settingsHome.path()));
    QCOMPARE(QDir(settingsHome.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), filesBefore);
}

void TestWidget::endingApplicationClosesWithoutAsking()
{
    // A session manager's logout and Windows' end of session both come to
    // the application as the request to quit that this posts.
    QTimer::singleShot(0, [] { QCoreApplication::postEvent(qApp, new QEvent(QEvent::Quit)); });
    // A question would hold the loop: it is noted and dismissed, and the
    // loop given up after a while.
    QString asked;
    QTimer watch;
    connect(&watch, &QTimer::timeout, [&] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            asked = modal->windowTitle();
            modal->close();
        }
    });
    watch.start(50);
    QTimer::singleShot(5000, [] { QCoreApplication::exit(1); });

    QCOMPARE(QApplication::exec(), 0);
    QCOMPARE(asked, QString());
    QVERIFY(!widget->isVisible());
}

QTEST_MAIN(TestWidget)
#include "tst_widget.moc"
