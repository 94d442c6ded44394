// Stand-in uxtheme.dll: hands out one theme for "ControlPanelStyle" and, in
// DrawThemeTextEx, records what it was given and paints two known pixels in
// device coordinates, so the test can see how the caller's buffer, the DIB and
// the DC line up.

#include "fake_modules.h"

namespace {

FakeThemeState g_state;

const int kCapacity = 8;
FakeDrawCall g_draws[kCapacity];
int g_drawCount = 0;

} // namespace

extern "C" {

HTHEME WINAPI fakeOpenThemeData(HWND hwnd, LPCWSTR classList)
{
    fakeAppendEvent("uxtheme:open");
    ++g_state.opens;
    g_state.openWindow = hwnd;
    lstrcpynW(g_state.openClass, classList ? classList : L"", 64);
    return classList && lstrcmpW(classList, L"ControlPanelStyle") == 0 ? FAKE_THEME_HANDLE
                                                                       : nullptr;
}

HRESULT WINAPI fakeCloseThemeData(HTHEME theme)
{
    fakeAppendEvent(theme == FAKE_THEME_HANDLE ? "uxtheme:close(theme)" : "uxtheme:close(other)");
    ++g_state.closes;
    g_state.closedTheme = theme;
    return S_OK;
}

HRESULT WINAPI fakeDrawThemeTextEx(HTHEME theme, HDC dc, int partId, int stateId, LPCWSTR text,
                                   int charCount, DWORD flags, LPRECT rect,
                                   const DTTOPTS *options)
{
    FakeDrawCall call = {};
    call.theme = theme;
    call.partId = partId;
    call.stateId = stateId;
    lstrcpynW(call.text, text ? text : L"", 64);
    call.charCount = charCount;
    call.flags = flags;
    call.rect = *rect;
    call.options = *options;
    call.dc = dc;
    call.bitmap = GetCurrentObject(dc, OBJ_BITMAP);
    call.font = GetCurrentObject(dc, OBJ_FONT);

    DIBSECTION dib = {};
    call.isDibSection = GetObjectW(call.bitmap, sizeof dib, &dib) == int(sizeof dib);
    if (call.isDibSection) {
        call.dibWidth = dib.dsBm.bmWidth;
        call.dibHeight = dib.dsBm.bmHeight;
        call.dibBitCount = dib.dsBm.bmBitsPixel;
        const unsigned int *bits = static_cast<const unsigned int *>(dib.dsBm.bmBits);
        for (int i = 0; i < 4 && i < dib.dsBm.bmWidth; ++i)
            call.firstPixels[i] = bits[i];
        call.topLeft = GetPixel(dc, 0, 0);
        call.bottomLeft = GetPixel(dc, 0, dib.dsBm.bmHeight - 1);
        SetPixelV(dc, 5, 5, FAKE_MARK_COLOR);
        SetPixelV(dc, dib.dsBm.bmWidth - 1, dib.dsBm.bmHeight - 1, FAKE_CORNER_COLOR);
    }

    if (g_drawCount < kCapacity)
        g_draws[g_drawCount] = call;
    ++g_drawCount;
    return S_OK;
}

// Imported by Qt's own DLLs, which load this stand-in in a Qt test. No
// visual style is active, so the toolkit draws its classic look and never
// asks for more.
BOOL WINAPI fakeIsThemeActive()
{
    return FALSE;
}

HRESULT WINAPI fakeDrawThemeBackground(HTHEME, HDC, int, int, LPCRECT, LPCRECT)
{
    return E_NOTIMPL;
}

HRESULT WINAPI fakeGetThemeColor(HTHEME, int, int, int, COLORREF *)
{
    return E_NOTIMPL;
}

HRESULT WINAPI fakeGetThemeSysFont(HTHEME, int, LOGFONTW *)
{
    return E_NOTIMPL;
}

HRESULT WINAPI fakeSetWindowThemeAttribute(HWND, int, PVOID, DWORD)
{
    return E_NOTIMPL;
}

void WINAPI FakeThemeGetState(FakeThemeState *state)
{
    *state = g_state;
}

int WINAPI FakeThemeDrawCalls(FakeDrawCall *calls, int capacity)
{
    for (int i = 0; i < g_drawCount && i < capacity && i < kCapacity; ++i)
        calls[i] = g_draws[i];
    return g_drawCount;
}

void WINAPI FakeThemeReset()
{
    g_state = FakeThemeState();
    g_drawCount = 0;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_DETACH)
        fakeAppendEvent("uxtheme:unload");
    return TRUE;
}

} // extern "C"
