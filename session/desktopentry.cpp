#include "desktopentry.h"

#include <algorithm>

namespace {

QString quotedArgument(const QString &argument)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    const bool plain = !argument.isEmpty()
            && std::none_of(argument.begin(), argument.end(),
                            [](QChar c) { return reserved.contains(c); });
    if (plain)
        return argument;
    QString quoted = QStringLiteral("\"");
    for (QChar c : argument) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    return quoted + u'"';
}

// The string rules of the file, applied after the quoting.
QString escapedString(const QString &text)
{
    QString escaped;
    for (QChar c : text) {
        switch (c.unicode()) {
        case '\\': escaped += QStringLiteral("\\\\"); break;
        case '\n': escaped += QStringLiteral("\\n"); break;
        case '\t': escaped += QStringLiteral("\\t"); break;
        case '\r': escaped += QStringLiteral("\\r"); break;
        // A lone percent sign would start a field code.
        case '%': escaped += QStringLiteral("%%"); break;
        default: escaped += c;
        }
    }
    return escaped;
}

} // namespace

QString desktopEntryExec(const QStringList &command)
{
    QStringList quoted;
    for (const QString &argument : command)
        quoted.append(quotedArgument(argument));
    return escapedString(quoted.join(u' '));
}
