#include "report.h"

#include <windows.h>

void writeStandard(StandardStream stream, const QString &text)
{
    HANDLE handle = GetStdHandle(stream == StandardStream::Output ? STD_OUTPUT_HANDLE
                                                                  : STD_ERROR_HANDLE);
    if (!handle || handle == INVALID_HANDLE_VALUE)
        return;
    DWORD mode = 0;
    DWORD written = 0;
    // A console takes the text as it is and shows it in its own code page;
    // a pipe or a file gets UTF-8, past the C runtime, which would turn a
    // calendar's CRLF into CR CR LF.
    if (GetConsoleMode(handle, &mode)) {
        const std::wstring wide = text.toStdWString();
        WriteConsoleW(handle, wide.c_str(), DWORD(wide.size()), &written, nullptr);
        return;
    }
    const QByteArray bytes = text.toUtf8();
    WriteFile(handle, bytes.constData(), DWORD(bytes.size()), &written, nullptr);
}

void tellWithoutWindow(const QString &text)
{
    MessageBoxW(nullptr, text.toStdWString().c_str(), L"타르베넬 타이머",
                MB_OK | MB_ICONWARNING | MB_SETFOREGROUND);
}
