// timer-next: the clock's coming entries on standard output, for scripts,
// status bars and calendars. It reads the player's files but never writes
// one, and opens no window.
#include "alarmstore.h"
#include "calendar.h"
#include "query.h"
#include "report.h"
#include "setup.h"
#include "version.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace {

// Bad input, as the command's users tell it from a failure to run.
constexpr int BadInput = 2;

void complain(const QString &line)
{
    writeStandard(StandardStream::Error, QStringLiteral("timer-next: %1\n").arg(line));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("timer-next"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TIMER_VERSION));

    QCommandLineParser parser;
    describeOptions(&parser);
    if (!parser.parse(QCoreApplication::arguments())) {
        complain(parser.errorText() + QStringLiteral(" (timer-next --help lists the options)"));
        return BadInput;
    }
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp();
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();

    const SetupFile setupFile;
    NextQuery query;
    if (const QString why = readQuery(parser, setupFile.setup(), &query); !why.isEmpty()) {
        complain(why);
        return BadInput;
    }

    switch (query.output) {
    case NextQuery::Output::Text:
        writeStandard(StandardStream::Output, entryLines(nextEntries(query)));
        break;
    case NextQuery::Output::Json:
        writeStandard(StandardStream::Output, QString::fromUtf8(entryJson(nextEntries(query))));
        break;
    case NextQuery::Output::Calendar: {
        QString problem;
        const AlarmSettings alarms = AlarmStore::load(&problem);
        if (!problem.isEmpty())
            complain(problem + QStringLiteral("; the calendar has no alarms"));
        writeStandard(StandardStream::Output,
                      QString::fromUtf8(calendarFile(calendarEntries(query), alarms,
                                                     QDateTime::currentDateTimeUtc())));
        break;
    }
    }
    return 0;
}
