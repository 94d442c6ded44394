// Linked with the compiled app/timer.rc: the resources must be readable the
// way Windows reads them, and the manifest must actually take effect. Given
// the path of another program (the shipped timer.exe), it reads that one's
// resources instead.

#include "check.h"

#include <windows.h>

#include <string>

namespace {

// Whose resources are read: this program's, or the file's named on the
// command line.
HMODULE g_module = GetModuleHandleW(nullptr);
bool g_ownResources = true;

std::string resourceText(LPCWSTR name, LPCWSTR type)
{
    HRSRC info = FindResourceW(g_module, name, type);
    if (!info)
        return std::string();
    HGLOBAL data = LoadResource(g_module, info);
    const char *bytes = data ? static_cast<const char *>(LockResource(data)) : nullptr;
    return bytes ? std::string(bytes, SizeofResource(g_module, info)) : std::string();
}

void testIcon()
{
    check::Scope scope("icon");
    CHECK(FindResourceW(g_module, L"IDI_ICON1", MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */)
          != nullptr);

    for (int size : {16, 32}) {
        check::Scope sizeScope(std::to_string(size) + " px");
        HICON icon = static_cast<HICON>(
                LoadImageW(g_module, L"IDI_ICON1", IMAGE_ICON, size, size, 0));
        if (!CHECK(icon != nullptr))
            continue;
        ICONINFO info = {};
        CHECK(GetIconInfo(icon, &info));
        BITMAP bitmap = {};
        HBITMAP image = info.hbmColor ? info.hbmColor : info.hbmMask;
        CHECK(GetObjectW(image, sizeof bitmap, &bitmap) == int(sizeof bitmap));
        CHECK_EQ(bitmap.bmWidth, LONG(size));
        if (info.hbmColor)
            DeleteObject(info.hbmColor);
        if (info.hbmMask)
            DeleteObject(info.hbmMask);
        DestroyIcon(icon);
    }
}

void testManifest()
{
    check::Scope scope("manifest");
    const std::string manifest = resourceText(MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    CHECK(!manifest.empty());
    const char *wanted[] = {
        "level=\"asInvoker\"",
        "uiAccess=\"false\"",
        "name=\"Microsoft.Windows.Common-Controls\"",
        "version=\"6.0.0.0\"",
        "publicKeyToken=\"6595b64144ccf1df\"",
        "processorArchitecture=\"*\"",
        "language=\"*\"",
    };
    for (const char *text : wanted) {
        check::Scope textScope(text);
        CHECK(manifest.find(text) != std::string::npos);
    }
    // Only this program's own manifest is applied to this process.
    if (!g_ownResources)
        return;

    // The loader read it: this process gets the side-by-side common controls 6
    // instead of the system32 ones. (Wine's DllGetVersion says 5.81 for both,
    // so the file the module came from is what tells them apart.)
    HMODULE comctl = LoadLibraryW(L"comctl32.dll");
    if (CHECK(comctl != nullptr)) {
        wchar_t path[MAX_PATH] = L"";
        GetModuleFileNameW(comctl, path, MAX_PATH);
        CharLowerW(path);
        const std::wstring file(path);
        check::Scope pathScope(std::string(file.begin(), file.end()));
        CHECK(file.find(L"\\winsxs\\") != std::wstring::npos);
        CHECK(file.find(L"microsoft.windows.common-controls_6595b64144ccf1df_6.0.")
              != std::wstring::npos);
    }
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    if (argc > 1) {
        g_ownResources = false;
        g_module = LoadLibraryExW(argv[1], nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        if (!CHECK(g_module != nullptr))
            return check::finish("test_resources");
    }
    testIcon();
    testManifest();
    return check::finish("test_resources");
}
