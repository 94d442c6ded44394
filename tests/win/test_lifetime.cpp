// The shared record under Wine's own dwmapi and uxtheme: what gets loaded and
// resolved, and that the last release really unloads dwmapi. (uxtheme cannot
// be watched the same way: Wine's keeps a reference to itself.)

#include "../../glass/glass_win_native.h"
#include "../../glass/sharedrecord_p.h"
#include "check.h"

namespace {

void checkEntryPoints(const GlassApi *api)
{
    // Each field against the export it should hold: catches a swapped or
    // misspelt lookup, which a null test would not.
    HMODULE user32 = GetModuleHandleA("user32.dll");
    const struct {
        const void *field;
        HMODULE module;
        const char *name;
    } rows[] = {
        {reinterpret_cast<const void *>(api->pfnOpenThemeData), api->hUxTheme, "OpenThemeData"},
        {reinterpret_cast<const void *>(api->pfnCloseThemeData), api->hUxTheme, "CloseThemeData"},
        {reinterpret_cast<const void *>(api->pfnDrawThemeTextEx), api->hUxTheme,
         "DrawThemeTextEx"},
        {reinterpret_cast<const void *>(api->pfnSetLayeredWindowAttributes), user32,
         "SetLayeredWindowAttributes"},
        {reinterpret_cast<const void *>(api->pfnDwmIsCompositionEnabled), api->hDwmApi,
         "DwmIsCompositionEnabled"},
        {reinterpret_cast<const void *>(api->pfnDwmExtendFrameIntoClientArea), api->hDwmApi,
         "DwmExtendFrameIntoClientArea"},
        {reinterpret_cast<const void *>(api->pfnDwmEnableBlurBehindWindow), api->hDwmApi,
         "DwmEnableBlurBehindWindow"},
    };
    for (const auto &row : rows) {
        check::Scope scope(row.name);
        const void *expected = reinterpret_cast<const void *>(GetProcAddress(row.module, row.name));
        CHECK(expected != nullptr);
        CHECK_EQ(row.field, expected);
    }
}

void testFirstAcquireLoadsEverything()
{
    check::Scope scope("first acquire");
    CHECK(GetModuleHandleA("dwmapi.dll") == nullptr);

    SharedRecord<GlassApi> shared(glassApiCreate, glassApiDestroy);
    shared.acquire();
    const GlassApi *api = shared.record();
    CHECK(api != nullptr);
    if (!api)
        return;

    CHECK(api->hDwmApi != nullptr);
    CHECK(api->hUxTheme != nullptr);
    CHECK_EQ(GetModuleHandleA("dwmapi.dll"), api->hDwmApi);
    CHECK_EQ(GetModuleHandleA("uxtheme.dll"), api->hUxTheme);
    checkEntryPoints(api);

    // Wine answers S_OK with FALSE, and its default theme has no
    // ControlPanelStyle class.
    CHECK(!glassIsCompositionEnabled(api));
    CHECK(api->hTheme == nullptr);

    shared.release();
    CHECK(GetModuleHandleA("dwmapi.dll") == nullptr);
}

void testCountedLoadAndUnload()
{
    check::Scope scope("counting");
    SharedRecord<GlassApi> shared(glassApiCreate, glassApiDestroy);

    shared.acquire();
    const GlassApi *first = shared.record();
    HMODULE module = first ? first->hDwmApi : nullptr;
    CHECK(module != nullptr);

    shared.acquire();
    CHECK_EQ(shared.count(), 2);
    CHECK_EQ(shared.record(), first);
    CHECK_EQ(shared.record()->hDwmApi, module);
    CHECK_EQ(GetModuleHandleA("dwmapi.dll"), module);

    shared.release();
    CHECK_EQ(shared.count(), 1);
    CHECK_EQ(shared.record(), first);
    CHECK_EQ(GetModuleHandleA("dwmapi.dll"), module);

    shared.release();
    CHECK_EQ(shared.count(), 0);
    CHECK(shared.record() == nullptr);
    CHECK(GetModuleHandleA("dwmapi.dll") == nullptr);

    // Coming back after everything was freed starts from scratch.
    shared.acquire();
    CHECK(shared.record() != nullptr);
    if (shared.record()) {
        CHECK(shared.record()->hDwmApi != nullptr);
        CHECK_EQ(GetModuleHandleA("dwmapi.dll"), shared.record()->hDwmApi);
        CHECK(shared.record()->pfnDwmIsCompositionEnabled != nullptr);
    }
    shared.release();
    CHECK(GetModuleHandleA("dwmapi.dll") == nullptr);
}

// Before the first acquire and after the last release the record is null;
// nothing may dereference it.
void testNullRecord()
{
    check::Scope scope("null record");
    unsigned int pixel = 0x12345678u;
    CHECK(!glassIsCompositionEnabled(nullptr));
    CHECK(!glassDrawGlowText(nullptr, nullptr, L"x", 1, 1, &pixel));
    CHECK_EQ(pixel, 0x12345678u);
    glassSetGlass(nullptr, nullptr, 1);
    glassApiDestroy(nullptr);
}

} // namespace

int main()
{
    testFirstAcquireLoadsEverything();
    testCountedLoadAndUnload();
    testNullRecord();
    return check::finish("test_lifetime");
}
