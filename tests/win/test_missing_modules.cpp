// Run with WINEDLLOVERRIDES disabling one module, named on the command line:
// "dwmapi" or "uxtheme". Whatever is missing must turn into quiet nulls while
// the rest keeps working.

#include "../../glass/glass_win_native.h"
#include "check.h"
#include "test_window.h"

#include <cstdio>
#include <cstring>

namespace {

void checkWindowCallsStillWork(const GlassApi *api)
{
    check::Scope scope("window calls");
    HWND hwnd = createTestWindow();
    if (!CHECK(hwnd != nullptr))
        return;
    const LONG before = GetWindowLongW(hwnd, GWL_EXSTYLE);

    for (int mode : {0, 1, 2})
        glassSetGlass(api, hwnd, mode);
    CHECK_EQ(GetWindowLongW(hwnd, GWL_EXSTYLE), before);

    glassSetTopmost(hwnd, true);
    CHECK(isTopmost(hwnd));
    glassSetTopmost(hwnd, false);
    CHECK(!isTopmost(hwnd));

    glassSetTransparent(api, hwnd, false, true);
    CHECK_EQ(exStyleOf(hwnd) & (WS_EX_LAYERED | WS_EX_TRANSPARENT),
             LONG(WS_EX_LAYERED | WS_EX_TRANSPARENT));
    CHECK(isTopmost(hwnd));
    glassSetTransparent(api, hwnd, false, false);
    CHECK_EQ(exStyleOf(hwnd), before);
    DestroyWindow(hwnd);
}

void testWithoutDwm()
{
    // Without this the test would pass against a present dwmapi too.
    CHECK(LoadLibraryA("dwmapi.dll") == nullptr);

    GlassApi *api = glassApiCreate();
    CHECK(api->hDwmApi == nullptr);
    CHECK(api->pfnDwmIsCompositionEnabled == nullptr);
    CHECK(api->pfnDwmExtendFrameIntoClientArea == nullptr);
    CHECK(api->pfnDwmEnableBlurBehindWindow == nullptr);
    CHECK(!glassIsCompositionEnabled(api));

    CHECK(api->hUxTheme != nullptr);
    CHECK(api->pfnDrawThemeTextEx != nullptr);
    CHECK(api->pfnSetLayeredWindowAttributes != nullptr);

    checkWindowCallsStillWork(api);
    glassApiDestroy(api);
}

void testWithoutUxTheme()
{
    CHECK(LoadLibraryA("uxtheme.dll") == nullptr);

    GlassApi *api = glassApiCreate();
    CHECK(api->hUxTheme == nullptr);
    CHECK(api->hTheme == nullptr);
    CHECK(api->pfnOpenThemeData == nullptr);
    CHECK(api->pfnCloseThemeData == nullptr);
    CHECK(api->pfnDrawThemeTextEx == nullptr);

    CHECK(api->hDwmApi != nullptr);
    CHECK(api->pfnDwmIsCompositionEnabled != nullptr);

    const int width = 8, height = 6;
    unsigned int pixels[width * height];
    unsigned int expected[width * height];
    for (int i = 0; i < width * height; ++i)
        pixels[i] = expected[i] = 0x80000000u | unsigned(i * 0x010203);
    HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    CHECK(!glassDrawGlowText(api, font, L"12:34", width, height, pixels));
    CHECK(std::memcmp(pixels, expected, sizeof pixels) == 0);

    checkWindowCallsStillWork(api);
    glassApiDestroy(api);
}

} // namespace

int main(int argc, char **argv)
{
    const char *missing = argc > 1 ? argv[1] : "";
    if (std::strcmp(missing, "dwmapi") == 0) {
        testWithoutDwm();
    } else if (std::strcmp(missing, "uxtheme") == 0) {
        testWithoutUxTheme();
    } else {
        std::fprintf(stderr, "usage: test_missing_modules dwmapi|uxtheme\n");
        return 2;
    }
    return check::finish("test_missing_modules");
}
