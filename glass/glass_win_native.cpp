#include "glass_win_native.h"

#include <cstring>

namespace {

template <typename Fn>
Fn resolve(HMODULE module, const char *name)
{
    // Through void * so that GCC accepts the FARPROC conversion silently.
    return reinterpret_cast<Fn>(reinterpret_cast<void *>(GetProcAddress(module, name)));
}

void placeWindow(HWND hwnd, HWND position)
{
    SetWindowPos(hwnd, position, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

const LONG kClickThrough = WS_EX_LAYERED | WS_EX_TRANSPARENT;

} // namespace

GlassApi *glassApiCreate()
{
    GlassApi *api = new GlassApi();

    api->hDwmApi = LoadLibraryA("dwmapi.dll");
    api->hUxTheme = LoadLibraryA("uxtheme.dll");

    if (HMODULE user32 = GetModuleHandleA("user32.dll"))
        api->pfnSetLayeredWindowAttributes =
                resolve<GlassSetLayeredWindowAttributesFn>(user32, "SetLayeredWindowAttributes");

    if (api->hDwmApi) {
        api->pfnDwmIsCompositionEnabled =
                resolve<GlassDwmIsCompositionEnabledFn>(api->hDwmApi, "DwmIsCompositionEnabled");
        api->pfnDwmExtendFrameIntoClientArea = resolve<GlassDwmExtendFrameIntoClientAreaFn>(
                api->hDwmApi, "DwmExtendFrameIntoClientArea");
        api->pfnDwmEnableBlurBehindWindow = resolve<GlassDwmEnableBlurBehindWindowFn>(
                api->hDwmApi, "DwmEnableBlurBehindWindow");
    }

    if (api->hUxTheme) {
        api->pfnOpenThemeData = resolve<GlassOpenThemeDataFn>(api->hUxTheme, "OpenThemeData");
        api->pfnCloseThemeData = resolve<GlassCloseThemeDataFn>(api->hUxTheme, "CloseThemeData");
        api->pfnDrawThemeTextEx =
                resolve<GlassDrawThemeTextExFn>(api->hUxTheme, "DrawThemeTextEx");
    }

    // Opened only when it can also be closed again.
    if (api->pfnOpenThemeData && api->pfnCloseThemeData)
        api->hTheme = api->pfnOpenThemeData(nullptr, L"ControlPanelStyle");

    return api;
}

void glassApiDestroy(GlassApi *api)
{
    if (!api)
        return;
    // The theme handle belongs to uxtheme, so it goes before the module does.
    if (api->hTheme)
        api->pfnCloseThemeData(api->hTheme);
    if (api->hUxTheme)
        FreeLibrary(api->hUxTheme);
    if (api->hDwmApi)
        FreeLibrary(api->hDwmApi);
    delete api;
}

bool glassIsCompositionEnabled(const GlassApi *api)
{
    if (!api || !api->hDwmApi || !api->pfnDwmIsCompositionEnabled)
        return false;
    BOOL enabled = FALSE;
    // A failed call says nothing, whatever it left in the flag.
    const HRESULT hr = api->pfnDwmIsCompositionEnabled(&enabled);
    return SUCCEEDED(hr) && enabled;
}

void glassSetGlass(const GlassApi *api, HWND hwnd, int mode)
{
    if (!glassIsCompositionEnabled(api))
        return;

    switch (mode) {
    case 0: {
        // Switching the blur off explicitly; only resetting the margins would
        // leave an earlier blur-behind in place.
        if (api->pfnDwmEnableBlurBehindWindow) {
            DWM_BLURBEHIND blur = {};
            blur.dwFlags = DWM_BB_ENABLE;
            blur.fEnable = FALSE;
            api->pfnDwmEnableBlurBehindWindow(hwnd, &blur);
        }
        if (api->pfnDwmExtendFrameIntoClientArea) {
            const MARGINS margins = {0, 0, 0, 0};
            api->pfnDwmExtendFrameIntoClientArea(hwnd, &margins);
        }
        break;
    }
    case 1:
        if (api->pfnDwmEnableBlurBehindWindow) {
            DWM_BLURBEHIND blur = {};
            blur.dwFlags = DWM_BB_ENABLE | DWM_BB_TRANSITIONONMAXIMIZED;
            blur.fEnable = TRUE;
            blur.hRgnBlur = nullptr;
            blur.fTransitionOnMaximized = TRUE;
            api->pfnDwmEnableBlurBehindWindow(hwnd, &blur);
        }
        break;
    case 2:
        if (api->pfnDwmExtendFrameIntoClientArea) {
            // A negative margin turns the whole client area into glass.
            const MARGINS margins = {-1, 0, 0, 0};
            api->pfnDwmExtendFrameIntoClientArea(hwnd, &margins);
        }
        break;
    default:
        break;
    }
}

void glassSetTopmost(HWND hwnd, bool topmost)
{
    placeWindow(hwnd, topmost ? HWND_TOPMOST : HWND_NOTOPMOST);
}

void glassSetTransparent(const GlassApi *api, HWND hwnd, bool topmost, bool transparent)
{
    LONG style = GetWindowLongW(hwnd, GWL_EXSTYLE);
    HWND position;
    if (transparent) {
        style |= kClickThrough;
        // A window the mouse passes through could not be brought forward again.
        position = HWND_TOPMOST;
    } else {
        style &= ~kClickThrough;
        position = topmost ? HWND_TOPMOST : HWND_NOTOPMOST;
    }
    placeWindow(hwnd, position);
    SetWindowLongW(hwnd, GWL_EXSTYLE, style);
    // A layered window stays invisible until its attributes have been set once.
    if (api && api->pfnSetLayeredWindowAttributes)
        api->pfnSetLayeredWindowAttributes(hwnd, 0, 255, LWA_ALPHA);
}

bool glassDrawGlowText(const GlassApi *api, HFONT font, const wchar_t *text, int width,
                       int height, unsigned int *pixels)
{
    if (!api || !api->hTheme || !api->pfnDrawThemeTextEx)
        return false;
    if (!text || !pixels || width <= 0 || height <= 0)
        return false;

    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc)
        return false;

    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down, the same row order as the caller's buffer
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;

    void *bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap || !bits) {
        if (bitmap)
            DeleteObject(bitmap);
        DeleteDC(dc);
        return false;
    }

    const size_t bytes = size_t(width) * size_t(height) * sizeof(unsigned int);
    // The glow is blended over whatever the DIB holds, so it has to hold the
    // caller's background.
    std::memcpy(bits, pixels, bytes);

    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    HGDIOBJ oldFont = font ? SelectObject(dc, font) : nullptr;

    DTTOPTS options = {};
    options.dwSize = sizeof(options);
    options.dwFlags = DTT_COMPOSITED | DTT_GLOWSIZE | DTT_SHADOWTYPE;
    options.iTextShadowType = TST_CONTINUOUS;
    options.iGlowSize = 5;

    RECT rect = {5, 5, width, height};
    api->pfnDrawThemeTextEx(api->hTheme, dc, 0, 0, text, -1, DT_WORDBREAK | DT_NOPREFIX, &rect,
                            &options);
    GdiFlush();

    std::memcpy(pixels, bits, bytes);

    if (oldFont)
        SelectObject(dc, oldFont);
    SelectObject(dc, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return true;
}
