#include "report.h"

#include <cstdio>

void writeStandard(StandardStream stream, const QString &text)
{
    FILE *file = stream == StandardStream::Output ? stdout : stderr;
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), file);
    std::fflush(file);
}

void tellWithoutWindow(const QString &)
{
}
