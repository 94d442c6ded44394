#include "autostart.h"
#include "fontcheck.h"
#include "report.h"
#include "singleinstance.h"
#include "startup.h"
#include "version.h"
#include "widget.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QStyle>
#include <QStyleFactory>
#include <QTranslator>

namespace {

// A few of the window's Hangul syllables: a font that has them has them all.
const QString HangulSample = QStringLiteral("타르베넬 타이머 문게이트 아르바이트 현실시간 요일효과");

void warnIfHangulMissing(const QWidget &window)
{
    if (charactersWithoutGlyphs(HangulSample, window.font()).isEmpty())
        return;
    // The balloon says it in English too: its own texts lack the glyphs.
    ProblemReport::session().report(
            ProblemReport::NoHangulFont,
            QStringLiteral("no installed font can show Korean (Hangul) text, so the window's "
                           "texts would be empty boxes; install a Hangul font, for example the "
                           "package fonts-nanum."),
            QStringLiteral("No installed font can show Korean text: install a Hangul font.\n"
                           "한글 글꼴이 없어 창의 글자가 보이지 않습니다. 한글 글꼴을 설치하세요."));
}

// Qt's own texts, the dialogs' buttons among them, in Korean like the
// program's, whatever the system's language: from the translations folder
// shipped beside the program on Windows, or the system's Qt translations.
void installQtKorean(QApplication &app)
{
    auto *translator = new QTranslator(&app);
    const QStringList folders = {
        QCoreApplication::applicationDirPath() + QStringLiteral("/translations"),
        QLibraryInfo::path(QLibraryInfo::TranslationsPath),
    };
    for (const QString &folder : folders) {
        if (translator->load(QStringLiteral("qtbase_ko"), folder)) {
            app.installTranslator(translator);
            return;
        }
    }
    writeStandardError(QStringLiteral("Qt's Korean texts (qtbase_ko.qm) are not installed, so "
                                      "the dialogs' buttons are in English; install the package "
                                      "qt6-translations-l10n."));
}

} // namespace

int main(int argc, char **argv)
{
    SingleInstance instance(QByteArrayLiteral(TIMER_APP_ID));
    switch (instance.claim()) {
    case SingleInstance::First:
        break;
    case SingleInstance::HandedOver:
        return 0;
    case SingleInstance::NoAnswer:
        writeStandardError(QStringLiteral("a clock is already running in this session but does "
                                          "not answer; end it, then start the clock again."));
        tellWithoutWindow(QStringLiteral("타르베넬 타이머가 이미 실행 중이지만 응답하지 않습니다.\n"
                                         "실행 중인 타이머를 끝낸 뒤 다시 시작해 주세요."));
        return 1;
    }

    StartupGuard guard(argc, argv);
    QApplication app(argc, argv);
    guard.started();
    installQtKorean(app);
    QGuiApplication::setDesktopFileName(QStringLiteral(TIMER_APP_ID));
    instance.listen();

    // The look never depends on the desktop's theme or on a style named on
    // the command line: the classic style where the toolkit has it, otherwise
    // its successor.
    QStyle *style = QStyleFactory::create(QStringLiteral("cleanlooks"));
    if (!style)
        style = QStyleFactory::create(QStringLiteral("Fusion"));
    if (style)
        QApplication::setStyle(style);

    int result;
    {
        Widget widget;
        warnIfHangulMissing(widget);
        QObject::connect(&instance, &SingleInstance::activationRequested, &widget,
                         &Widget::bringToFront);
        QObject::connect(&instance, &SingleInstance::quitRequested, &widget, &Widget::quit);
        widget.showAtStart(QCoreApplication::arguments().contains(Autostart::argument()));
        result = app.exec();
    }
    return result;
}
