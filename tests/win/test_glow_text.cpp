// Glow text drawing.
//   builtin: Wine's own uxtheme with its default theme, which has no
//            ControlPanelStyle class, so nothing may be drawn.
//   theme:   Wine's own uxtheme with glass_test_theme.msstyles selected, so the
//            text is really drawn by the theme engine.
//   fake:    the stand-in uxtheme.dll next to this program, which records the
//            call and paints marker pixels through the DC, so the buffer <->
//            DIB <-> DC plumbing can be checked exactly.

#include "../../glass/glass_win_native.h"
#include "check.h"
#include "fake_modules.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <vector>

namespace {

std::vector<unsigned int> background(int width, int height)
{
    std::vector<unsigned int> pixels(size_t(width) * size_t(height));
    // Opaque and scrambled, so that a pixel landing in the wrong place shows.
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = 0xff000000u | ((unsigned(i) * 2654435761u) & 0x00ffffffu);
    return pixels;
}

COLORREF asColorRef(unsigned int pixel)
{
    return RGB((pixel >> 16) & 0xff, (pixel >> 8) & 0xff, pixel & 0xff);
}

HFONT makeFont()
{
    return CreateFontW(-14, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                       DEFAULT_PITCH, L"Tahoma");
}

void testBuiltinHasNoTheme()
{
    check::Scope scope("builtin uxtheme");
    GlassApi *api = glassApiCreate();
    CHECK(api->hUxTheme != nullptr);
    // Present, so the refusal below is down to the missing theme.
    CHECK(api->pfnDrawThemeTextEx != nullptr);
    CHECK(api->hTheme == nullptr);

    const int width = 32, height = 16;
    std::vector<unsigned int> pixels = background(width, height);
    const std::vector<unsigned int> before = pixels;
    HFONT font = makeFont();
    CHECK(!glassDrawGlowText(api, font, L"12:34", width, height, pixels.data()));
    CHECK(pixels == before);
    DeleteObject(font);
    glassApiDestroy(api);
}

// While alive, HKEY_CURRENT_USER of this process (only) is a scratch key whose
// ThemeManager entries select glass_test_theme.msstyles next to this program.
// Wine's uxtheme reads them when it loads.
class TestThemeSelected
{
public:
    TestThemeSelected()
    {
        wchar_t theme[MAX_PATH] = L"";
        GetModuleFileNameW(nullptr, theme, MAX_PATH);
        wchar_t *slash = std::wcsrchr(theme, L'\\');
        if (!slash || lstrlenW(theme) + 32 > MAX_PATH)
            return;
        lstrcpyW(slash + 1, L"glass_test_theme.msstyles");
        std::swprintf(m_name, 64, L"Software\\GlassTest\\%lu", GetCurrentProcessId());

        if (RegCreateKeyExW(HKEY_CURRENT_USER, m_name, 0, nullptr, REG_OPTION_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &m_root, nullptr) != ERROR_SUCCESS)
            return;
        HKEY manager = nullptr;
        if (RegCreateKeyExW(m_root, L"Software\\Microsoft\\Windows\\CurrentVersion\\ThemeManager",
                            0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &manager,
                            nullptr) != ERROR_SUCCESS)
            return;
        const wchar_t *values[][2] = {
            {L"ThemeActive", L"1"},
            {L"DllName", theme},
            {L"ColorName", L"NormalColor"},
            {L"SizeName", L"NormalSize"},
        };
        bool written = true;
        for (const auto &value : values) {
            written = written
                    && RegSetValueExW(manager, value[0], 0, REG_SZ,
                                      reinterpret_cast<const BYTE *>(value[1]),
                                      DWORD(lstrlenW(value[1]) + 1) * sizeof(wchar_t))
                            == ERROR_SUCCESS;
        }
        RegCloseKey(manager);
        m_ok = written && RegOverridePredefKey(HKEY_CURRENT_USER, m_root) == ERROR_SUCCESS;
    }

    ~TestThemeSelected()
    {
        RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        if (m_root) {
            RegCloseKey(m_root);
            RegDeleteTreeW(HKEY_CURRENT_USER, m_name);
            RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\GlassTest");  // fails while others use it
        }
    }

    TestThemeSelected(const TestThemeSelected &) = delete;
    TestThemeSelected &operator=(const TestThemeSelected &) = delete;

    bool ok() const { return m_ok; }

private:
    wchar_t m_name[64] = L"";
    HKEY m_root = nullptr;
    bool m_ok = false;
};

struct Ink {
    int changed = 0;
    int outsideBox = 0;
    int notThemeRed = 0;
    int top = -1;
    int bottom = -1;
};

Ink inkOf(const std::vector<unsigned int> &pixels, unsigned int background, int width, int height)
{
    Ink ink;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const unsigned int p = pixels[size_t(y) * width + x];
            if (p == background)
                continue;
            ++ink.changed;
            if (x < 5 || y < 5)
                ++ink.outsideBox;
            if ((p & 0x00ffffffu) != 0x00ff0000u)
                ++ink.notThemeRed;
            if (ink.top < 0)
                ink.top = y;
            ink.bottom = y;
        }
    }
    return ink;
}

void testTestThemeDraws()
{
    check::Scope scope("glass_test_theme.msstyles");
    // Wine's uxtheme picks its theme once, when it loads, and never unloads.
    if (!CHECK(GetModuleHandleA("uxtheme.dll") == nullptr))
        return;
    GlassApi *api = nullptr;
    {
        TestThemeSelected selected;
        if (!CHECK(selected.ok()))
            return;
        api = glassApiCreate();
    }
    if (!CHECK(api->hTheme != nullptr)) {
        glassApiDestroy(api);
        return;
    }

    const int width = 120, height = 80;
    const unsigned int background = 0xff203040u;
    // Not antialiased, so every drawn pixel is exactly the theme's text colour.
    const struct {
        const char *name;
        int pixelHeight;
    } fonts[] = {{"small font", 12}, {"large font", 36}};
    int spans[2] = {0, 0};
    for (int i = 0; i < 2; ++i) {
        check::Scope fontScope(fonts[i].name);
        HFONT font = CreateFontW(-fonts[i].pixelHeight, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE,
                                 DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                 NONANTIALIASED_QUALITY, DEFAULT_PITCH, L"Tahoma");
        std::vector<unsigned int> pixels(size_t(width) * height, background);
        CHECK(glassDrawGlowText(api, font, L"12:34", width, height, pixels.data()));
        const Ink ink = inkOf(pixels, background, width, height);
        CHECK(ink.changed > 20);
        CHECK_EQ(ink.outsideBox, 0);
        CHECK_EQ(ink.notThemeRed, 0);
        // Drawn from the top of the box down: a row order mix-up would put
        // the text at the bottom.
        CHECK(ink.top >= 5 && ink.top < height / 3);
        spans[i] = ink.bottom - ink.top + 1;
        DeleteObject(font);
    }
    // The caller's font is the one the theme drew with.
    CHECK(spans[1] >= 2 * spans[0]);
    glassApiDestroy(api);
}

struct FakeTheme {
    FakeThemeDrawCallsFn draws = nullptr;
    FakeThemeResetFn reset = nullptr;

    explicit FakeTheme(HMODULE module)
    {
        draws = reinterpret_cast<FakeThemeDrawCallsFn>(
                reinterpret_cast<void *>(GetProcAddress(module, "FakeThemeDrawCalls")));
        reset = reinterpret_cast<FakeThemeResetFn>(
                reinterpret_cast<void *>(GetProcAddress(module, "FakeThemeReset")));
    }
    bool valid() const { return draws && reset; }
    int count() const { return draws(nullptr, 0); }
};

void checkOptions(const DTTOPTS &o)
{
    check::Scope scope("DTTOPTS");
    CHECK_EQ(o.dwSize, UINT(sizeof(DTTOPTS)));
    CHECK_EQ(o.dwFlags, DWORD(DTT_COMPOSITED | DTT_GLOWSIZE | DTT_SHADOWTYPE));
    CHECK_EQ(o.iTextShadowType, int(TST_CONTINUOUS));
    CHECK_EQ(o.iGlowSize, 5);
    // Everything else zero.
    DTTOPTS rest = o;
    rest.dwSize = 0;
    rest.dwFlags = 0;
    rest.iTextShadowType = 0;
    rest.iGlowSize = 0;
    const DTTOPTS zero = {};
    CHECK(std::memcmp(&rest, &zero, sizeof rest) == 0);
}

void testDrawThroughFake(const GlassApi *api, const FakeTheme &theme)
{
    const struct {
        int width;
        int height;
    } sizes[] = {{40, 20}, {7, 9}, {120, 33}};

    for (const auto &size : sizes) {
        const int width = size.width, height = size.height;
        char name[32];
        std::snprintf(name, sizeof name, "%dx%d", width, height);
        check::Scope scope(name);

        std::vector<unsigned int> pixels = background(width, height);
        const std::vector<unsigned int> before = pixels;
        HFONT font = makeFont();
        theme.reset();

        CHECK(glassDrawGlowText(api, font, L"12:34:56", width, height, pixels.data()));

        FakeDrawCall call = {};
        if (!CHECK_EQ(theme.draws(&call, 1), 1)) {
            DeleteObject(font);
            continue;
        }
        CHECK_EQ(call.theme, FAKE_THEME_HANDLE);
        CHECK_EQ(call.partId, 0);
        CHECK_EQ(call.stateId, 0);
        CHECK(lstrcmpW(call.text, L"12:34:56") == 0);
        CHECK_EQ(call.charCount, -1);
        CHECK_EQ(call.flags, DWORD(DT_WORDBREAK | DT_NOPREFIX));
        CHECK_EQ(call.rect.left, 5L);
        CHECK_EQ(call.rect.top, 5L);
        CHECK_EQ(call.rect.right, LONG(width));
        CHECK_EQ(call.rect.bottom, LONG(height));
        checkOptions(call.options);
        CHECK_EQ(call.font, static_cast<HGDIOBJ>(font));

        // What the theme drew on: a 32-bit DIB of the buffer's size, holding
        // the background, with row 0 of the buffer at the top of the DC.
        CHECK(call.isDibSection);
        CHECK_EQ(call.dibWidth, LONG(width));
        CHECK_EQ(std::labs(call.dibHeight), long(height));
        CHECK_EQ(call.dibBitCount, WORD(32));
        for (int i = 0; i < 4 && i < width; ++i)
            CHECK_EQ(call.firstPixels[i], before[i]);
        CHECK_EQ(call.topLeft, asColorRef(before[0]));
        CHECK_EQ(call.bottomLeft, asColorRef(before[size_t(height - 1) * width]));

        // What it drew comes back at the same place, and nothing else moves.
        const size_t mark = size_t(5) * width + 5;
        const size_t corner = size_t(width) * height - 1;
        CHECK_EQ(pixels[mark] & 0x00ffffffu, FAKE_MARK_PIXEL);
        CHECK_EQ(pixels[corner] & 0x00ffffffu, FAKE_CORNER_PIXEL);
        size_t changedElsewhere = 0;
        for (size_t i = 0; i < pixels.size(); ++i) {
            if (i != mark && i != corner && pixels[i] != before[i])
                ++changedElsewhere;
        }
        CHECK_EQ(changedElsewhere, size_t(0));

        // The DC and the DIB are freed again; the font still belongs to the
        // caller.
        CHECK_EQ(GetObjectType(call.dc), DWORD(0));
        CHECK_EQ(GetObjectType(call.bitmap), DWORD(0));
        CHECK_EQ(GetObjectType(font), DWORD(OBJ_FONT));
        DeleteObject(font);
    }
}

void testRefusals(const GlassApi *api, const FakeTheme &theme)
{
    GlassApi noDraw = *api;
    noDraw.pfnDrawThemeTextEx = nullptr;
    GlassApi noTheme = *api;
    noTheme.hTheme = nullptr;

    const struct {
        const char *name;
        const GlassApi *api;
        int width;
        int height;
    } rows[] = {
        {"no DrawThemeTextEx", &noDraw, 16, 8},
        {"no theme", &noTheme, 16, 8},
        {"zero width", api, 0, 8},
        {"zero height", api, 16, 0},
    };
    HFONT font = makeFont();
    for (const auto &row : rows) {
        check::Scope scope(row.name);
        std::vector<unsigned int> pixels = background(16, 8);
        const std::vector<unsigned int> before = pixels;
        theme.reset();
        CHECK(!glassDrawGlowText(row.api, font, L"12:34", row.width, row.height, pixels.data()));
        CHECK(pixels == before);
        CHECK_EQ(theme.count(), 0);
    }
    DeleteObject(font);
}

void testFakeTheme()
{
    check::Scope scope("stand-in uxtheme");
    GlassApi *api = glassApiCreate();
    FakeTheme theme(api->hUxTheme);
    if (CHECK(api->hUxTheme && theme.valid())) {
        CHECK_EQ(api->hTheme, static_cast<HANDLE>(FAKE_THEME_HANDLE));
        testDrawThroughFake(api, theme);
        testRefusals(api, theme);
    }
    glassApiDestroy(api);
}

} // namespace

int main(int argc, char **argv)
{
    const char *which = argc > 1 ? argv[1] : "";
    if (std::strcmp(which, "builtin") == 0) {
        testBuiltinHasNoTheme();
    } else if (std::strcmp(which, "theme") == 0) {
        testTestThemeDraws();
    } else if (std::strcmp(which, "fake") == 0) {
        testFakeTheme();
    } else {
        std::fprintf(stderr, "usage: test_glow_text builtin|theme|fake\n");
        return 2;
    }
    return check::finish("test_glow_text");
}
