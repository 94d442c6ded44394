// Composition and glass against the stand-in dwmapi.dll and uxtheme.dll next
// to this program (run with WINEDLLOVERRIDES=dwmapi,uxtheme=n), which answer
// as told and record what they are asked to do.

#include "../../glass/glass_win_native.h"
#include "check.h"
#include "fake_modules.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

struct FakeDwm {
    FakeDwmSetAnswerFn setAnswer = nullptr;
    FakeDwmCallsFn calls = nullptr;
    FakeDwmResetFn reset = nullptr;

    explicit FakeDwm(HMODULE module)
    {
        setAnswer = reinterpret_cast<FakeDwmSetAnswerFn>(
                reinterpret_cast<void *>(GetProcAddress(module, "FakeDwmSetAnswer")));
        calls = reinterpret_cast<FakeDwmCallsFn>(
                reinterpret_cast<void *>(GetProcAddress(module, "FakeDwmCalls")));
        reset = reinterpret_cast<FakeDwmResetFn>(
                reinterpret_cast<void *>(GetProcAddress(module, "FakeDwmReset")));
    }
    bool valid() const { return setAnswer && calls && reset; }

    std::vector<FakeDwmCall> recorded() const
    {
        FakeDwmCall buffer[16];
        const int count = calls(buffer, 16);
        return std::vector<FakeDwmCall>(buffer, buffer + (count < 16 ? count : 16));
    }
};

struct Answer {
    HRESULT result;
    BOOL enabled;
};
const Answer kOn = {S_OK, TRUE};
const Answer kOff = {S_OK, FALSE};
const Answer kFailing = {E_FAIL, TRUE};

FakeDwmCall blurCall(DWORD flags, BOOL enable, BOOL transition)
{
    FakeDwmCall call = {};
    call.kind = FakeDwmBlurBehind;
    call.blur.dwFlags = flags;
    call.blur.fEnable = enable;
    call.blur.hRgnBlur = nullptr;
    call.blur.fTransitionOnMaximized = transition;
    return call;
}

FakeDwmCall marginCall(int left, int right, int top, int bottom)
{
    FakeDwmCall call = {};
    call.kind = FakeDwmExtendFrame;
    call.margins = {left, right, top, bottom};
    return call;
}

void checkCalls(const std::vector<FakeDwmCall> &actual, const std::vector<FakeDwmCall> &expected,
                HWND hwnd)
{
    CHECK_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size() && i < expected.size(); ++i) {
        check::Scope scope("call " + std::to_string(i));
        const FakeDwmCall &a = actual[i];
        const FakeDwmCall &e = expected[i];
        CHECK_EQ(a.kind, e.kind);
        CHECK_EQ(a.hwnd, hwnd);
        if (a.kind != e.kind)
            continue;
        if (e.kind == FakeDwmBlurBehind) {
            CHECK_EQ(a.blur.dwFlags, e.blur.dwFlags);
            CHECK_EQ(a.blur.fEnable, e.blur.fEnable);
            CHECK_EQ(a.blur.hRgnBlur, e.blur.hRgnBlur);
            CHECK_EQ(a.blur.fTransitionOnMaximized, e.blur.fTransitionOnMaximized);
        } else {
            CHECK_EQ(a.margins.cxLeftWidth, e.margins.cxLeftWidth);
            CHECK_EQ(a.margins.cxRightWidth, e.margins.cxRightWidth);
            CHECK_EQ(a.margins.cyTopHeight, e.margins.cyTopHeight);
            CHECK_EQ(a.margins.cyBottomHeight, e.margins.cyBottomHeight);
        }
    }
}

void testCompositionAnswers(const GlassApi *api, const FakeDwm &dwm)
{
    const struct {
        const char *name;
        HRESULT result;
        BOOL enabled;
        BOOL write;
        bool expected;
    } rows[] = {
        {"S_OK, TRUE", S_OK, TRUE, TRUE, true},
        {"S_OK, FALSE", S_OK, FALSE, TRUE, false},
        {"E_FAIL, TRUE written anyway", E_FAIL, TRUE, TRUE, false},
        {"E_FAIL, FALSE", E_FAIL, FALSE, TRUE, false},
        {"S_FALSE is a success too", S_FALSE, TRUE, TRUE, true},
        {"any non-zero flag counts", S_OK, 2, TRUE, true},
        // The flag must start out FALSE, not as whatever the stack held.
        {"S_OK, flag not written", S_OK, TRUE, FALSE, false},
    };
    for (const auto &row : rows) {
        check::Scope scope(row.name);
        dwm.reset();
        dwm.setAnswer(row.result, row.enabled, row.write);
        CHECK_EQ(glassIsCompositionEnabled(api), row.expected);
    }
}

enum Strip { KeepAll, NoBlurBehind, NoExtendFrame, NoQuery };

void testSetGlass(const GlassApi *api, const FakeDwm &dwm)
{
    const FakeDwmCall blurOff = blurCall(DWM_BB_ENABLE, FALSE, FALSE);
    const FakeDwmCall blurOn = blurCall(DWM_BB_ENABLE | DWM_BB_TRANSITIONONMAXIMIZED, TRUE, TRUE);
    const FakeDwmCall noMargins = marginCall(0, 0, 0, 0);
    const FakeDwmCall sheet = marginCall(-1, 0, 0, 0);

    const struct {
        const char *name;
        Answer answer;
        Strip strip;
        int mode;
        std::vector<FakeDwmCall> expected;
    } rows[] = {
        {"none: blur off, then margins reset", kOn, KeepAll, 0, {blurOff, noMargins}},
        {"blur behind", kOn, KeepAll, 1, {blurOn}},
        {"sheet", kOn, KeepAll, 2, {sheet}},
        {"mode 3", kOn, KeepAll, 3, {}},
        {"mode -1", kOn, KeepAll, -1, {}},
        {"composition off, none", kOff, KeepAll, 0, {}},
        {"composition off, blur behind", kOff, KeepAll, 1, {}},
        {"composition off, sheet", kOff, KeepAll, 2, {}},
        {"query failing, none", kFailing, KeepAll, 0, {}},
        {"query failing, blur behind", kFailing, KeepAll, 1, {}},
        {"query failing, sheet", kFailing, KeepAll, 2, {}},
        {"no blur entry, none", kOn, NoBlurBehind, 0, {noMargins}},
        {"no blur entry, blur behind", kOn, NoBlurBehind, 1, {}},
        {"no blur entry, sheet", kOn, NoBlurBehind, 2, {sheet}},
        {"no margin entry, none", kOn, NoExtendFrame, 0, {blurOff}},
        {"no margin entry, blur behind", kOn, NoExtendFrame, 1, {blurOn}},
        {"no margin entry, sheet", kOn, NoExtendFrame, 2, {}},
        {"no composition query, none", kOn, NoQuery, 0, {}},
        {"no composition query, blur behind", kOn, NoQuery, 1, {}},
        {"no composition query, sheet", kOn, NoQuery, 2, {}},
    };

    ULONG_PTR handle = 0x10010;
    for (const auto &row : rows) {
        check::Scope scope(row.name);
        GlassApi stripped = *api;
        if (row.strip == NoBlurBehind)
            stripped.pfnDwmEnableBlurBehindWindow = nullptr;
        else if (row.strip == NoExtendFrame)
            stripped.pfnDwmExtendFrameIntoClientArea = nullptr;
        else if (row.strip == NoQuery)
            stripped.pfnDwmIsCompositionEnabled = nullptr;

        // The stand-in never touches the window, so any distinct value shows
        // that the handle is passed through.
        HWND hwnd = reinterpret_cast<HWND>(handle += 0x10);
        dwm.reset();
        dwm.setAnswer(row.answer.result, row.answer.enabled, TRUE);
        glassSetGlass(&stripped, hwnd, row.mode);
        checkCalls(dwm.recorded(), row.expected, hwnd);
    }
}

// Closing the theme needs uxtheme still loaded, and the modules go in the
// reverse order of their use; the stand-ins log both into the environment,
// where the log outlives them.
void testDestroyOrder()
{
    check::Scope scope("destroy order");
    SetEnvironmentVariableA(FAKE_EVENT_LOG, "");
    GlassApi *api = glassApiCreate();
    CHECK_EQ(api->hTheme, static_cast<HANDLE>(FAKE_THEME_HANDLE));

    auto getState = reinterpret_cast<FakeThemeGetStateFn>(
            reinterpret_cast<void *>(GetProcAddress(api->hUxTheme, "FakeThemeGetState")));
    if (CHECK(getState != nullptr)) {
        FakeThemeState state = {};
        getState(&state);
        CHECK_EQ(state.opens, 1);
        CHECK(state.openWindow == nullptr);
        CHECK(lstrcmpW(state.openClass, L"ControlPanelStyle") == 0);
        CHECK_EQ(state.closes, 0);
    }

    glassApiDestroy(api);
    CHECK(GetModuleHandleA("uxtheme.dll") == nullptr);
    CHECK(GetModuleHandleA("dwmapi.dll") == nullptr);

    char log[256] = "";
    GetEnvironmentVariableA(FAKE_EVENT_LOG, log, sizeof log);
    CHECK_EQ(std::string(log),
             std::string("uxtheme:open;uxtheme:close(theme);uxtheme:unload;dwmapi:unload;"));
}

} // namespace

int main()
{
    GlassApi *api = glassApiCreate();
    FakeDwm dwm(api->hDwmApi);
    // Without the stand-in every check below would be meaningless.
    if (!CHECK(api->hDwmApi && dwm.valid())) {
        glassApiDestroy(api);
        return check::finish("test_composition");
    }
    CHECK(api->pfnDwmIsCompositionEnabled && api->pfnDwmEnableBlurBehindWindow
          && api->pfnDwmExtendFrameIntoClientArea);

    testCompositionAnswers(api, dwm);
    testSetGlass(api, dwm);
    glassApiDestroy(api);

    testDestroyOrder();
    return check::finish("test_composition");
}
