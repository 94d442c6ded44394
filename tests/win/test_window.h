#ifndef TEST_WINDOW_H
#define TEST_WINDOW_H

// A real top-level window for the style tests, created through Wine's null
// display driver (no X server needed).

#include <windows.h>

// Extended-style bits that Glass must leave alone. Wine keeps all of them on a
// plain popup window.
const LONG kUnrelatedExStyle = WS_EX_TOOLWINDOW | WS_EX_ACCEPTFILES | WS_EX_NOACTIVATE;

inline HWND createTestWindow(LONG exStyle = kUnrelatedExStyle)
{
    static ATOM atom = 0;
    if (!atom) {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"GlassTestWindow";
        atom = RegisterClassW(&wc);
    }
    return CreateWindowExW(exStyle, L"GlassTestWindow", L"glass test", WS_POPUP, 10, 10, 200,
                           100, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

inline LONG exStyleOf(HWND hwnd)
{
    return GetWindowLongW(hwnd, GWL_EXSTYLE);
}

inline bool isTopmost(HWND hwnd)
{
    return (exStyleOf(hwnd) & WS_EX_TOPMOST) != 0;
}

#endif
