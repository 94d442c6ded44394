// One clock per session on Windows: a named mutex in the session's Local
// namespace says a clock runs, a named event beside it asks that clock for
// its window, a second one asks it to end (the installer and uninstaller
// set it before they replace the clock's files), and a small named mapping
// holds its process id so that a later start can let it take the
// foreground and the installer can wait for it to end. The kernel frees
// them with the last process that has them open, so nothing stale outlives
// a crashed clock.
#include "singleinstance.h"

#include <QWinEventNotifier>

#include <windows.h>

namespace {

constexpr DWORD AnswerTimeoutMs = 10000;

std::wstring objectName(const QByteArray &key, const char *suffix)
{
    return (QStringLiteral("Local\\") + QString::fromLatin1(key) + QLatin1String(suffix))
            .toStdWString();
}

struct Search
{
    DWORD pid;
    HWND window;
};

BOOL CALLBACK findWindowOf(HWND window, LPARAM lParam)
{
    auto *search = reinterpret_cast<Search *>(lParam);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->pid)
        return TRUE;
    search->window = window;
    return FALSE;
}

// Whether the clock's thread takes its messages: one that does not within
// the time a later start waits (a hung clock) would never show its window.
// A clock whose window is not made yet is given the benefit of the doubt.
bool answers(DWORD pid)
{
    if (!pid)
        return true;
    Search search = { pid, nullptr };
    EnumWindows(findWindowOf, reinterpret_cast<LPARAM>(&search));
    if (!search.window)
        return true;
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(search.window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK,
                               AnswerTimeoutMs, &result) != 0;
}

class WinSingleInstance : public SingleInstanceBackend
{
public:
    explicit WinSingleInstance(const QByteArray &key) : m_key(key) {}

    ~WinSingleInstance() override
    {
        delete m_notifier;
        delete m_quitNotifier;
        if (m_pid)
            UnmapViewOfFile(const_cast<LONG *>(m_pid));
        for (HANDLE handle : { m_mapping, m_quitEvent, m_event, m_mutex }) {
            if (handle)
                CloseHandle(handle);
        }
    }

    SingleInstance::Claim claim(const QByteArray &, const QByteArray &) override
    {
        // The event and the mapping first: whoever comes second finds them
        // made, whichever of two simultaneous starts wins the mutex.
        m_event = CreateEventW(nullptr, FALSE, FALSE, objectName(m_key, ".activate").c_str());
        m_mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                       sizeof(DWORD), objectName(m_key, ".pid").c_str());
        if (m_mapping)
            m_pid = static_cast<volatile LONG *>(
                    MapViewOfFile(m_mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(DWORD)));
        m_mutex = CreateMutexW(nullptr, FALSE, objectName(m_key, ".running").c_str());
        if (!m_mutex || GetLastError() != ERROR_ALREADY_EXISTS) {
            m_quitEvent = CreateEventW(nullptr, FALSE, FALSE, objectName(m_key, ".quit").c_str());
            if (m_pid)
                InterlockedExchange(m_pid, LONG(GetCurrentProcessId()));
            return SingleInstance::First;
        }
        if (!m_event)
            return SingleInstance::NoAnswer;

        // The running clock may not have written its id yet.
        const ULONGLONG start = GetTickCount64();
        DWORD pid = 0;
        while (m_pid && !(pid = DWORD(InterlockedCompareExchange(m_pid, 0, 0)))
               && GetTickCount64() - start < AnswerTimeoutMs)
            Sleep(20);
        // This start was made by the user and may take the foreground; it
        // passes that on to the clock that will show its window.
        AllowSetForegroundWindow(pid ? pid : ASFW_ANY);
        if (!SetEvent(m_event) || !answers(pid))
            return SingleInstance::NoAnswer;
        return SingleInstance::HandedOver;
    }

    void listen(SingleInstance *instance) override
    {
        if (!m_event)
            return;
        m_notifier = new QWinEventNotifier(m_event);
        QObject::connect(m_notifier, &QWinEventNotifier::activated, instance,
                         [instance] { emit instance->activationRequested({}, {}); });
        if (!m_quitEvent)
            return;
        m_quitNotifier = new QWinEventNotifier(m_quitEvent);
        QObject::connect(m_quitNotifier, &QWinEventNotifier::activated, instance,
                         &SingleInstance::quitRequested);
    }

private:
    QByteArray m_key;
    HANDLE m_mutex = nullptr;
    HANDLE m_event = nullptr;
    HANDLE m_quitEvent = nullptr;
    HANDLE m_mapping = nullptr;
    volatile LONG *m_pid = nullptr;
    QWinEventNotifier *m_notifier = nullptr;
    QWinEventNotifier *m_quitNotifier = nullptr;
};

} // namespace

SingleInstanceBackend *createSingleInstanceBackend(const QByteArray &key)
{
    return new WinSingleInstance(key);
}
