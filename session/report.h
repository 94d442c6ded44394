#ifndef REPORT_H
#define REPORT_H

#include <QString>
#include <QStringList>

#include <bitset>
#include <functional>

// Problems the player has to hear of: a file the clock cannot use or save,
// a missing font. Standard error gets every line; the player gets each
// cause's Korean text once a run, where they look (the window gives its
// balloon, or a message box where there is no tray), since on Windows
// nobody reads a GUI program's standard error.
class ProblemReport
{
public:
    enum Cause {
        UnusableSetup,
        UnsavedSetup,
        SetupCopyKept,
        UnreadableAlarms,
        UnsavedAlarms,
        AlarmsCopyKept,
        NoHangulFont,
        CauseCount
    };
    using Channel = std::function<void(const QString &)>;

    // The program's one.
    static ProblemReport &session();

    // line goes to standard error, after "timer: "; forPlayer is Korean.
    void report(Cause cause, const QString &line, const QString &forPlayer);

    // Where the player's texts go from now on. Those reported before, while
    // the window could not speak yet, come at once, as one text.
    void setChannel(const Channel &channel);

private:
    Channel channel;
    QStringList pending;
    std::bitset<CauseCount> told;
};

// "timer: <line>" on standard error in one write: in UTF-8, or on a Windows
// console in the console's own code page.
void writeStandardError(const QString &line);

// Text as it is, in one write, on standard output or standard error: UTF-8
// bytes, newlines untouched, to a pipe or a file, and the characters
// themselves to a Windows console, which shows them in its own code page
// (report_<platform>.cpp).
enum class StandardStream { Output, Error };
void writeStandard(StandardStream stream, const QString &text);

// For a process without a window of its own to speak from (a later start):
// a message box on Windows, where nobody reads standard error; nothing
// more elsewhere, where it started from a terminal or a launcher that logs.
void tellWithoutWindow(const QString &text);

// A file's path as the player's system writes it.
QString shownPath(const QString &fileName);

#endif
