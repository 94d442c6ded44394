#ifndef GLASS_WIN_NATIVE_H
#define GLASS_WIN_NATIVE_H

// The Windows half of Glass, in plain Win32 so that it builds and is tested
// without Qt. Nothing here links against dwmapi or uxtheme: both are missing on
// older systems and in stripped-down installs, so every entry point is looked
// up at run time and a missing one simply turns the matching effect off.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// Only for the structure and constant definitions; none of their functions
// are called directly.
#include <uxtheme.h>
#include <vssym32.h>
#include <dwmapi.h>

typedef HTHEME(WINAPI *GlassOpenThemeDataFn)(HWND hwnd, LPCWSTR classList);
typedef HRESULT(WINAPI *GlassCloseThemeDataFn)(HTHEME theme);
typedef HRESULT(WINAPI *GlassDrawThemeTextExFn)(HTHEME theme, HDC dc, int partId, int stateId,
                                                LPCWSTR text, int charCount, DWORD flags,
                                                LPRECT rect, const DTTOPTS *options);
typedef BOOL(WINAPI *GlassSetLayeredWindowAttributesFn)(HWND hwnd, COLORREF key, BYTE alpha,
                                                        DWORD flags);
typedef HRESULT(WINAPI *GlassDwmIsCompositionEnabledFn)(BOOL *enabled);
typedef HRESULT(WINAPI *GlassDwmExtendFrameIntoClientAreaFn)(HWND hwnd, const MARGINS *margins);
typedef HRESULT(WINAPI *GlassDwmEnableBlurBehindWindowFn)(HWND hwnd,
                                                          const DWM_BLURBEHIND *blurBehind);

// What was found at start-up. A null field means "not available here".
struct GlassApi {
    HANDLE hTheme;
    HMODULE hUxTheme;
    HMODULE hDwmApi;
    GlassOpenThemeDataFn pfnOpenThemeData;
    GlassCloseThemeDataFn pfnCloseThemeData;
    GlassDrawThemeTextExFn pfnDrawThemeTextEx;
    // Taken from the already loaded user32, which is never freed.
    GlassSetLayeredWindowAttributesFn pfnSetLayeredWindowAttributes;
    GlassDwmIsCompositionEnabledFn pfnDwmIsCompositionEnabled;
    GlassDwmExtendFrameIntoClientAreaFn pfnDwmExtendFrameIntoClientArea;
    GlassDwmEnableBlurBehindWindowFn pfnDwmEnableBlurBehindWindow;
};

GlassApi *glassApiCreate();
void glassApiDestroy(GlassApi *api);

bool glassIsCompositionEnabled(const GlassApi *api);
// mode: 0 no glass, 1 blur behind the window, 2 glass over the whole client area.
void glassSetGlass(const GlassApi *api, HWND hwnd, int mode);
void glassSetTopmost(HWND hwnd, bool topmost);
// A transparent window lets the mouse through and always stays on top.
void glassSetTransparent(const GlassApi *api, HWND hwnd, bool topmost, bool transparent);

// Draws text with the theme's glow into a caller's width x height buffer of
// 32-bit premultiplied ARGB pixels (top-down rows, already filled with the
// background), inside the box (5,5)-(width,height). Returns false and leaves
// the buffer untouched when the theme or DrawThemeTextEx is missing.
bool glassDrawGlowText(const GlassApi *api, HFONT font, const wchar_t *text, int width,
                       int height, unsigned int *pixels);

#endif
