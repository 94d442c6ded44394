// Stand-in dwmapi.dll: composition answers as the test says, and every blur
// or margin request is recorded instead of reaching a compositor.

#include "fake_modules.h"

namespace {

HRESULT g_result = S_OK;
BOOL g_enabled = TRUE;
BOOL g_write = TRUE;

const int kCapacity = 64;
FakeDwmCall g_calls[kCapacity];
int g_count = 0;

void record(const FakeDwmCall &call)
{
    // Counted even when full, so an overflow shows up as a wrong count.
    if (g_count < kCapacity)
        g_calls[g_count] = call;
    ++g_count;
}

} // namespace

extern "C" {

HRESULT WINAPI fakeDwmIsCompositionEnabled(BOOL *enabled)
{
    if (g_write)
        *enabled = g_enabled;
    return g_result;
}

HRESULT WINAPI fakeDwmEnableBlurBehindWindow(HWND hwnd, const DWM_BLURBEHIND *blur)
{
    FakeDwmCall call = {};
    call.kind = FakeDwmBlurBehind;
    call.hwnd = hwnd;
    call.blur = *blur;
    record(call);
    return S_OK;
}

HRESULT WINAPI fakeDwmExtendFrameIntoClientArea(HWND hwnd, const MARGINS *margins)
{
    FakeDwmCall call = {};
    call.kind = FakeDwmExtendFrame;
    call.hwnd = hwnd;
    call.margins = *margins;
    record(call);
    return S_OK;
}

// Imported by Qt's own DLLs, which load this stand-in in a Qt test; they
// cope with the answer "not implemented", as on a system without a DWM.
HRESULT WINAPI fakeDwmGetWindowAttribute(HWND, DWORD, PVOID, DWORD)
{
    return E_NOTIMPL;
}

HRESULT WINAPI fakeDwmSetWindowAttribute(HWND, DWORD, LPCVOID, DWORD)
{
    return E_NOTIMPL;
}

BOOL WINAPI fakeDwmDefWindowProc(HWND, UINT, WPARAM, LPARAM, LRESULT *)
{
    return FALSE;
}

void WINAPI FakeDwmSetAnswer(HRESULT result, BOOL enabled, BOOL write)
{
    g_result = result;
    g_enabled = enabled;
    g_write = write;
}

int WINAPI FakeDwmCalls(FakeDwmCall *calls, int capacity)
{
    for (int i = 0; i < g_count && i < capacity && i < kCapacity; ++i)
        calls[i] = g_calls[i];
    return g_count;
}

void WINAPI FakeDwmReset()
{
    g_count = 0;
    g_result = S_OK;
    g_enabled = TRUE;
    g_write = TRUE;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_DETACH)
        fakeAppendEvent("dwmapi:unload");
    return TRUE;
}

} // extern "C"
