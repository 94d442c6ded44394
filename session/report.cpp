#include "report.h"

#include <QDir>

ProblemReport &ProblemReport::session()
{
    static ProblemReport report;
    return report;
}

void ProblemReport::report(Cause cause, const QString &line, const QString &forPlayer)
{
    writeStandardError(line);
    if (told.test(cause))
        return;
    told.set(cause);
    if (channel)
        channel(forPlayer);
    else
        pending << forPlayer;
}

void ProblemReport::setChannel(const Channel &to)
{
    channel = to;
    if (!channel || pending.isEmpty())
        return;
    const QString all = pending.join(QStringLiteral("\n\n"));
    pending.clear();
    channel(all);
}

void writeStandardError(const QString &line)
{
    writeStandard(StandardStream::Error, QStringLiteral("timer: %1\n").arg(line));
}

QString shownPath(const QString &fileName)
{
    return QDir::toNativeSeparators(fileName);
}
