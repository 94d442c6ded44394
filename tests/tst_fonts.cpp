#include "fontcheck.h"
#include "widget.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QtTest>

// Every Hangul text of the window must have glyphs in the font that draws
// it, fallbacks included; on a machine without a Hangul font this fails,
// where every other test would pass over empty boxes.
class TestFonts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { delete widget; }
    void windowTextsHaveGlyphs_data();
    void windowTextsHaveGlyphs();

private:
    Widget *widget = nullptr;
};

void TestFonts::initTestCase()
{
    widget = new Widget;
    widget->show();
    QVERIFY(QTest::qWaitForWindowExposed(widget));
    // After the first tick the data labels hold Korean texts too.
    QTRY_VERIFY(!widget->findChild<QLabel *>("moongateLabel")->text().startsWith("loading"));
}

void TestFonts::windowTextsHaveGlyphs_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QFont>("font");

    int row = 0;
    auto add = [&](const QString &text, const QFont &font, const char *kind) {
        QTest::addRow("%s %d: %s", kind, ++row, qPrintable(text.left(20))) << text << font;
    };
    for (const QLabel *label : widget->findChildren<QLabel *>())
        add(label->text(), label->font(), "label");
    for (const QAbstractButton *button : widget->findChildren<QAbstractButton *>())
        add(button->text(), button->font(), "button");
    for (const QComboBox *combo : widget->findChildren<QComboBox *>()) {
        for (int i = 0; i < combo->count(); ++i)
            add(combo->itemText(i), combo->font(), "chooser");
    }
    for (const QMenu *menu : widget->findChildren<QMenu *>()) {
        for (const QAction *action : menu->actions()) {
            if (!action->isSeparator())
                add(action->text(), action->font().resolve(menu->font()), "tray menu");
        }
    }
    QVERIFY(row > 30);
}

void TestFonts::windowTextsHaveGlyphs()
{
    QFETCH(QString, text);
    QFETCH(QFont, font);
    const QString missing = charactersWithoutGlyphs(text, font);
    QVERIFY2(missing.isEmpty(),
             qPrintable(QStringLiteral("no font shows \"%1\"; install fonts-nanum").arg(missing)));
}

QTEST_MAIN(TestFonts)
#include "tst_fonts.moc"
