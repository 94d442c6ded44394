// Windows shows notifications as the tray icon's balloon. Qt's own balloon
// asks for the system's notification sound, which would come on top of the
// clock's: the balloon is put on Qt's icon here, with the flag that keeps
// it quiet, and left to Qt only where that icon cannot be found.
#include "traynotifier.h"

#include <QSystemTrayIcon>

#include <qt_windows.h>
#include <shellapi.h>

#include <algorithm>

namespace {

// The hidden window that owns Qt's tray icon, and the icon's id there.
const wchar_t TrayWindowClass[] = L"TrayIconMessageWindowClass";
constexpr UINT QtTrayIconId = 0;

bool isTrayWindow(HWND window)
{
    wchar_t name[128];
    const int length = GetClassNameW(window, name, int(std::size(name)));
    const int suffix = int(std::size(TrayWindowClass)) - 1;
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    return process == GetCurrentProcessId() && length >= suffix
            && wcscmp(name + length - suffix, TrayWindowClass) == 0;
}

BOOL CALLBACK findTrayWindow(HWND window, LPARAM found)
{
    if (!isTrayWindow(window))
        return TRUE;
    *reinterpret_cast<HWND *>(found) = window;
    return FALSE;
}

HWND trayWindow()
{
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), findTrayWindow, LPARAM(&found));
    for (HWND w = FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr); w && !found;
         w = FindWindowExW(HWND_MESSAGE, w, nullptr, nullptr)) {
        if (isTrayWindow(w))
            found = w;
    }
    return found;
}

template<std::size_t N>
void copyText(wchar_t (&to)[N], const QString &text)
{
    const QString cut = text.left(int(N) - 1);
    std::fill(std::begin(to), std::end(to), L'\0');
    cut.toWCharArray(to);
}

class QuietBalloonNotifier : public TrayNotifier
{
public:
    using TrayNotifier::TrayNotifier;

    void notify(const QString &title, const QString &text,
                const std::function<void()> &remindLater) override
    {
        if (HWND window = tray->isVisible() ? trayWindow() : nullptr) {
            NOTIFYICONDATAW data {};
            data.cbSize = sizeof data;
            data.hWnd = window;
            data.uID = QtTrayIconId;
            data.uFlags = NIF_INFO;
            copyText(data.szInfoTitle, title);
            copyText(data.szInfo, text);
            data.dwInfoFlags = NIIF_INFO | NIIF_NOSOUND;
            data.uTimeout = MessageMilliseconds;
            if (Shell_NotifyIconW(NIM_MODIFY, &data))
                return;
        }
        TrayNotifier::notify(title, text, remindLater);
    }
};

} // namespace

std::unique_ptr<AlarmNotifier> AlarmNotifier::create(QSystemTrayIcon *tray)
{
    return std::make_unique<QuietBalloonNotifier>(tray);
}
