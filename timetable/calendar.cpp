#include "calendar.h"

#include "alarms.h"
#include "timetable.h"
#include "version.h"

#include <QDateTime>

#include <algorithm>

namespace {

constexpr int LineOctets = 75;

QByteArray utcStamp(qint64 seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC)
            .toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"))
            .toLatin1();
}

QByteArray escaped(const QString &text)
{
    QByteArray out;
    for (const char c : text.toUtf8()) {
        switch (c) {
        case '\\':
        case ';':
        case ',':
            out += '\\';
            out += c;
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            break;
        default:
            out += c;
        }
    }
    return out;
}

// The line folded after at most 75 octets, never inside a UTF-8 sequence;
// each continuation starts with the one space that unfolding removes.
void appendLine(QByteArray *file, const QByteArray &line)
{
    int octets = 0;
    for (qsizetype i = 0; i < line.size();) {
        const uchar lead = uchar(line[i]);
        qsizetype length = lead >= 0xf0 ? 4 : lead >= 0xe0 ? 3 : lead >= 0xc0 ? 2 : 1;
        length = std::min(length, line.size() - i);
        if (octets + length > LineOctets) {
            *file += "\r\n ";
            octets = 1;
        }
        file->append(line.constData() + i, length);
        octets += int(length);
        i += length;
    }
    *file += "\r\n";
}

QByteArray uid(const TimetableEntry &entry)
{
    QByteArray id = entryKindKey(entry.kind).toLatin1() + '-' + QByteArray::number(entry.start);
    // Two shops' jobs can start at the same second.
    if (entry.kind == EntryKind::Job)
        id += '-' + QByteArray::number(entry.row);
    return id + "@timer.tarvenel.example";
}

} // namespace

QByteArray calendarFile(const QList<TimetableEntry> &entries, const AlarmSettings &alarms,
                        const QDateTime &stamp)
{
    QByteArray file;
    auto line = [&file](const QByteArray &text) { appendLine(&file, text); };
    line("BEGIN:VCALENDAR");
    line("VERSION:2.0");
    line("PRODID:-//The Tarvenel Timer developers//timer " TIMER_VERSION "//KO");
    line("CALSCALE:GREGORIAN");
    line("METHOD:PUBLISH");
    const QByteArray stamped = utcStamp(stamp.toSecsSinceEpoch());
    for (const TimetableEntry &entry : entries) {
        const QByteArray summary = escaped(entrySummary(entry));
        line("BEGIN:VEVENT");
        line("UID:" + uid(entry));
        line("DTSTAMP:" + stamped);
        line("DTSTART:" + utcStamp(entry.start));
        line("DTEND:" + utcStamp(entry.end));
        line("SUMMARY:" + summary);
        // A game's event leaves the player's day free for other plans.
        line("TRANSP:TRANSPARENT");
        const QList<int> leads = alarms.muted ? QList<int>() : alarms.leadsFor(entry);
        for (int minutes : leads) {
            line("BEGIN:VALARM");
            line("ACTION:DISPLAY");
            line("DESCRIPTION:" + summary);
            line(minutes == 0 ? QByteArray("TRIGGER:PT0S")
                              : "TRIGGER:-PT" + QByteArray::number(minutes) + 'M');
            line("END:VALARM");
        }
        line("END:VEVENT");
    }
    line("END:VCALENDAR");
    return file;
}
