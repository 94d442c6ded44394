// Topmost and click-through on real windows, read back through the window
// manager rather than from what Glass meant to do.

#include "../../glass/glass_win_native.h"
#include "check.h"
#include "test_window.h"

namespace {

const LONG kClickThrough = WS_EX_LAYERED | WS_EX_TRANSPARENT;
const LONG kManaged = kClickThrough | WS_EX_TOPMOST;

void checkLayeredOpaque(HWND hwnd)
{
    COLORREF key = 1;
    BYTE alpha = 0;
    DWORD flags = 0;
    CHECK(GetLayeredWindowAttributes(hwnd, &key, &alpha, &flags));
    CHECK_EQ(int(alpha), 255);
    CHECK_EQ(flags, DWORD(LWA_ALPHA));
}

void testSetTransparent(const GlassApi *api)
{
    const struct {
        const char *name;
        bool startTopmost;
        bool startClickThrough;
        bool topmost;
        bool transparent;
        bool expectTopmost;
    } rows[] = {
        // A click-through window is always put on top, whatever was asked.
        {"transparent, topmost not asked", false, false, false, true, true},
        {"transparent and topmost", false, false, true, true, true},
        {"back to opaque, stays topmost", true, true, true, false, true},
        {"back to opaque, leaves the top", true, true, false, false, false},
        {"opaque topmost window leaves the top", true, false, false, false, false},
        {"opaque window goes on top", false, false, true, false, true},
    };

    for (const auto &row : rows) {
        check::Scope scope(row.name);
        const LONG start = kUnrelatedExStyle | (row.startTopmost ? WS_EX_TOPMOST : 0)
                | (row.startClickThrough ? kClickThrough : 0);
        HWND hwnd = createTestWindow(start);
        if (!CHECK(hwnd != nullptr))
            continue;
        const LONG before = exStyleOf(hwnd);
        CHECK_EQ(before & kManaged, start & kManaged);

        glassSetTransparent(api, hwnd, row.topmost, row.transparent);

        const LONG after = exStyleOf(hwnd);
        CHECK_EQ(after & WS_EX_LAYERED, row.transparent ? WS_EX_LAYERED : 0);
        CHECK_EQ(after & WS_EX_TRANSPARENT, row.transparent ? WS_EX_TRANSPARENT : 0);
        CHECK_EQ(isTopmost(hwnd), row.expectTopmost);
        CHECK_EQ(after & ~kManaged, before & ~kManaged);
        // The attributes can only stick once the window is layered, so this
        // also shows they were set after the style.
        if (row.transparent)
            checkLayeredOpaque(hwnd);
        DestroyWindow(hwnd);
    }
}

void testSetTransparentWithoutLayeredAttributes(const GlassApi *api)
{
    check::Scope scope("no SetLayeredWindowAttributes");
    GlassApi stripped = *api;
    stripped.pfnSetLayeredWindowAttributes = nullptr;

    HWND hwnd = createTestWindow();
    if (!CHECK(hwnd != nullptr))
        return;
    glassSetTransparent(&stripped, hwnd, false, true);
    CHECK_EQ(exStyleOf(hwnd) & kClickThrough, kClickThrough);
    CHECK(isTopmost(hwnd));
    DestroyWindow(hwnd);
}

void testSetTopmost()
{
    check::Scope scope("SetTopmost");
    HWND hwnd = createTestWindow();
    if (!CHECK(hwnd != nullptr))
        return;
    const LONG before = exStyleOf(hwnd);
    CHECK(!isTopmost(hwnd));

    glassSetTopmost(hwnd, true);
    CHECK(isTopmost(hwnd));
    CHECK_EQ(exStyleOf(hwnd) & ~WS_EX_TOPMOST, before & ~WS_EX_TOPMOST);

    glassSetTopmost(hwnd, true);
    CHECK(isTopmost(hwnd));

    glassSetTopmost(hwnd, false);
    CHECK(!isTopmost(hwnd));
    CHECK_EQ(exStyleOf(hwnd), before);
    DestroyWindow(hwnd);
}

} // namespace

int main()
{
    GlassApi *api = glassApiCreate();
    CHECK(api->pfnSetLayeredWindowAttributes != nullptr);
    testSetTransparent(api);
    testSetTransparentWithoutLayeredAttributes(api);
    testSetTopmost();
    glassApiDestroy(api);
    return check::finish("test_window_styles");
}
