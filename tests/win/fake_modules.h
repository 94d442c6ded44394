#ifndef FAKE_MODULES_H
#define FAKE_MODULES_H

// The interface between the tests and the stand-in dwmapi.dll / uxtheme.dll
// built next to them. Each stand-in exports the system entry points Glass
// looks up, plus a few Fake* functions that the tests find with GetProcAddress
// to steer the answers and read back what was called.

#include <windows.h>
#include <uxtheme.h>
#include <dwmapi.h>

// Both stand-ins append "module:event;" here, so that the order of closing and
// unloading can still be read after the modules are gone.
#define FAKE_EVENT_LOG "GLASS_FAKE_EVENTS"

inline void fakeAppendEvent(const char *event)
{
    char log[1024] = "";
    GetEnvironmentVariableA(FAKE_EVENT_LOG, log, sizeof log);
    if (lstrlenA(log) + lstrlenA(event) + 2 > int(sizeof log))
        return;
    lstrcatA(log, event);
    lstrcatA(log, ";");
    SetEnvironmentVariableA(FAKE_EVENT_LOG, log);
}

enum FakeDwmCallKind { FakeDwmBlurBehind = 1, FakeDwmExtendFrame = 2 };

struct FakeDwmCall {
    int kind;
    HWND hwnd;
    DWM_BLURBEHIND blur;  // valid for FakeDwmBlurBehind
    MARGINS margins;      // valid for FakeDwmExtendFrame
};

// What DwmIsCompositionEnabled answers: its result, and the flag it writes
// (or leaves alone when write is FALSE).
typedef void(WINAPI *FakeDwmSetAnswerFn)(HRESULT result, BOOL enabled, BOOL write);
// Copies up to capacity recorded calls, oldest first; returns how many there are.
typedef int(WINAPI *FakeDwmCallsFn)(FakeDwmCall *calls, int capacity);
typedef void(WINAPI *FakeDwmResetFn)();

// What the stand-in OpenThemeData returns for the class list "ControlPanelStyle"
// (and only for that one).
#define FAKE_THEME_HANDLE (reinterpret_cast<HTHEME>(static_cast<ULONG_PTR>(0x7e570001)))

struct FakeThemeState {
    int opens;
    HWND openWindow;
    wchar_t openClass[64];
    int closes;
    HTHEME closedTheme;
};

// The stand-in DrawThemeTextEx paints these two pixels with SetPixelV, in
// device coordinates: MARK at (5, 5), CORNER at (width - 1, height - 1). Read
// back from a 32-bit DIB (blue in the low byte) they are the *_PIXEL values.
#define FAKE_MARK_COLOR RGB(0x40, 0x20, 0x10)
#define FAKE_MARK_PIXEL 0x00402010u
#define FAKE_CORNER_COLOR RGB(0x0a, 0x0b, 0x0c)
#define FAKE_CORNER_PIXEL 0x000a0b0cu

struct FakeDrawCall {
    HTHEME theme;
    int partId;
    int stateId;
    wchar_t text[64];
    int charCount;
    DWORD flags;
    RECT rect;
    DTTOPTS options;
    HDC dc;
    HGDIOBJ bitmap;        // the bitmap selected into the DC during the call
    HGDIOBJ font;          // the font selected into the DC during the call
    BOOL isDibSection;     // the DC's bitmap is a DIB section
    LONG dibWidth;
    LONG dibHeight;
    WORD dibBitCount;
    unsigned int firstPixels[4];  // the DIB's first four pixels in memory, before drawing
    COLORREF topLeft;      // GetPixel at (0, 0) and (0, height - 1), before drawing
    COLORREF bottomLeft;
};

typedef void(WINAPI *FakeThemeGetStateFn)(FakeThemeState *state);
// Copies up to capacity recorded draws, oldest first; returns how many there are.
typedef int(WINAPI *FakeThemeDrawCallsFn)(FakeDrawCall *calls, int capacity);
typedef void(WINAPI *FakeThemeResetFn)();

#endif
