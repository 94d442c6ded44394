// Holds what a running clock holds in the session, its "running" mutex and
// the mapping with its process id, but has no quit event, like the clocks up
// to 0.3.1; with "deaf" it makes the event and never looks at it; with
// "hung" it has a window too, whose messages it never takes, as a clock
// that hangs. Prints "ready" once they exist, then waits until it is killed.
//   clock_stand_in KEY [deaf|hung]

#include <windows.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t **argv)
{
    if (argc < 2) {
        std::fputs("usage: clock_stand_in KEY [deaf|hung]\n", stderr);
        return 2;
    }
    const std::wstring name = std::wstring(L"Local\\") + argv[1];
    HANDLE mutex = CreateMutexW(nullptr, FALSE, (name + L".running").c_str());
    if (!mutex || GetLastError() == ERROR_ALREADY_EXISTS) {
        std::fputs("clock_stand_in: a clock already runs\n", stderr);
        return 1;
    }
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                        sizeof(DWORD), (name + L".pid").c_str());
    auto *pid = mapping ? static_cast<DWORD *>(
                        MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(DWORD)))
                        : nullptr;
    if (!pid) {
        std::fputs("clock_stand_in: no process id mapping\n", stderr);
        return 1;
    }
    *pid = GetCurrentProcessId();
    if (argc > 2 && std::wstring(argv[2]) == L"deaf"
        && !CreateEventW(nullptr, FALSE, FALSE, (name + L".quit").c_str())) {
        std::fputs("clock_stand_in: no quit event\n", stderr);
        return 1;
    }
    if (argc > 2 && std::wstring(argv[2]) == L"hung"
        && !CreateWindowExW(0, L"STATIC", L"clock_stand_in", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                            nullptr, nullptr, nullptr, nullptr)) {
        std::fputs("clock_stand_in: no window\n", stderr);
        return 1;
    }
    std::puts("ready");
    std::fflush(stdout);
    Sleep(INFINITE);
    return 0;
}
