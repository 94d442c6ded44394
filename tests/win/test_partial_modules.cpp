// Against stand-ins that lack some entry points (fake_*_partial.def): the
// missing ones stay null, and nothing that needs them is attempted.

#include "../../glass/glass_win_native.h"
#include "check.h"
#include "fake_modules.h"

#include <cstring>

namespace {

template <typename Fn>
Fn lookup(HMODULE module, const char *name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void *>(GetProcAddress(module, name)));
}

void testPartialDwm(const GlassApi *api)
{
    check::Scope scope("dwmapi without the effects");
    auto setAnswer = lookup<FakeDwmSetAnswerFn>(api->hDwmApi, "FakeDwmSetAnswer");
    auto calls = lookup<FakeDwmCallsFn>(api->hDwmApi, "FakeDwmCalls");
    if (!CHECK(setAnswer && calls))
        return;

    CHECK(api->pfnDwmIsCompositionEnabled != nullptr);
    CHECK(api->pfnDwmEnableBlurBehindWindow == nullptr);
    CHECK(api->pfnDwmExtendFrameIntoClientArea == nullptr);

    setAnswer(S_OK, TRUE, TRUE);
    CHECK(glassIsCompositionEnabled(api));
    HWND hwnd = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x2000));
    for (int mode : {0, 1, 2})
        glassSetGlass(api, hwnd, mode);
    CHECK_EQ(calls(nullptr, 0), 0);
}

void testThemeNeedsClose(const GlassApi *api)
{
    check::Scope scope("uxtheme without CloseThemeData");
    auto getState = lookup<FakeThemeGetStateFn>(api->hUxTheme, "FakeThemeGetState");
    auto draws = lookup<FakeThemeDrawCallsFn>(api->hUxTheme, "FakeThemeDrawCalls");
    if (!CHECK(getState && draws))
        return;

    CHECK(api->pfnOpenThemeData != nullptr);
    CHECK(api->pfnDrawThemeTextEx != nullptr);
    CHECK(api->pfnCloseThemeData == nullptr);
    CHECK(api->hTheme == nullptr);
    FakeThemeState state = {};
    getState(&state);
    CHECK_EQ(state.opens, 0);

    unsigned int pixels[4 * 4];
    for (unsigned int &p : pixels)
        p = 0xff336699u;
    HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    CHECK(!glassDrawGlowText(api, font, L"1:00", 4, 4, pixels));
    for (unsigned int p : pixels)
        CHECK_EQ(p, 0xff336699u);
    CHECK_EQ(draws(nullptr, 0), 0);
}

} // namespace

int main()
{
    GlassApi *api = glassApiCreate();
    if (CHECK(api->hDwmApi != nullptr))
        testPartialDwm(api);
    if (CHECK(api->hUxTheme != nullptr))
        testThemeNeedsClose(api);
    glassApiDestroy(api);
    CHECK(GetModuleHandleA("dwmapi.dll") == nullptr);
    CHECK(GetModuleHandleA("uxtheme.dll") == nullptr);
    return check::finish("test_partial_modules");
}
