#include "report.h"

#include <cstdio>

#include <windows.h>

void writeStandardError(const QString &line)
{
    const QString text = QStringLiteral("timer: %1\n").arg(line);
    HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    // A console takes the text as it is and shows it in its own code page;
    // a pipe or a file gets UTF-8.
    if (error && error != INVALID_HANDLE_VALUE && GetConsoleMode(error, &mode)) {
        const std::wstring wide = text.toStdWString();
        DWORD written = 0;
        WriteConsoleW(error, wide.c_str(), DWORD(wide.size()), &written, nullptr);
        return;
    }
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

void tellWithoutWindow(const QString &text)
{
    MessageBoxW(nullptr, text.toStdWString().c_str(), L"타르베넬 타이머",
                MB_OK | MB_ICONWARNING | MB_SETFOREGROUND);
}
