// Run once by the prefix set-up: creating a window starts Wine's desktop
// process outside any test, and fails early if the display driver setting
// did not take.

#include "test_window.h"

#include <cstdio>

int main()
{
    HWND hwnd = createTestWindow();
    if (!hwnd) {
        std::fprintf(stderr, "CreateWindowExW failed: %lu\n", GetLastError());
        return 1;
    }
    DestroyWindow(hwnd);
    return 0;
}
