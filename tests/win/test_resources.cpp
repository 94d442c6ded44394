// Linked with the compiled app/timer.rc: the resources must be readable the
// way Windows reads them, and the manifest must actually take effect. Given
// the path of another program (the shipped timer.exe), it reads that one's
// resources instead, and its version resource, which must give the version
// named after the path; given a DLL (the shipped Glass.dll) or the console
// command (timer-next.exe), only that.
//   test_resources [FILE VERSION]

#include "check.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

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

std::string utf8(const wchar_t *text, int length = -1)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? size : 0, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr, nullptr);
    if (length < 0 && !out.empty())
        out.pop_back();
    return out;
}

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, colors, reserved;
    WORD planes, bits;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

void testIcon()
{
    check::Scope scope("icon");
    CHECK(FindResourceW(g_module, L"IDI_ICON1", MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */)
          != nullptr);

    // Explorer's large icons and the taskbar at high DPI take the 256-pixel
    // image, which the group lists with size 0 and which is a PNG.
    const std::string group = resourceText(L"IDI_ICON1", MAKEINTRESOURCEW(14));
    const int count = group.size() >= 6 ? *reinterpret_cast<const WORD *>(group.data() + 4) : 0;
    CHECK(group.size() >= 6 + sizeof(GroupIconEntry) * count);
    const GroupIconEntry *large = nullptr;
    for (int i = 0; i < count && group.size() >= 6 + sizeof(GroupIconEntry) * count; ++i) {
        const auto *entry = reinterpret_cast<const GroupIconEntry *>(
                group.data() + 6 + sizeof(GroupIconEntry) * i);
        if (entry->width == 0 && entry->height == 0)
            large = entry;
    }
    if (CHECK(large != nullptr)) {
        CHECK_EQ(large->bits, WORD(32));
        const std::string image = resourceText(MAKEINTRESOURCEW(large->id), MAKEINTRESOURCEW(3));
        CHECK_EQ(image.size(), size_t(large->bytes));
        CHECK(image.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0);
    }

    for (int size : {16, 32, 256}) {
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
        // Windows 10 and 11
        "<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>",
        "<dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">"
        "PerMonitorV2</dpiAwareness>",
        // Windows before 10 1607, which has no dpiAwareness
        "<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">"
        "true/pm</dpiAware>",
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

struct VersionString {
    const char *name;
    const char *korean;
    const char *english;
};

// The version resource as Windows reads it for the file's properties:
// version numbers, type, and the texts of both languages.
// The shipped binaries, each with its own description.
enum class Shipped { Clock, Command, Library };

void testVersion(const std::wstring &path, const std::string &version, Shipped shipped)
{
    const bool library = shipped == Shipped::Library;
    check::Scope scope("version of " + utf8(path.c_str()));
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (!CHECK(size != 0))
        return;
    std::vector<char> data(size);
    if (!CHECK(GetFileVersionInfoW(path.c_str(), 0, size, data.data())))
        return;

    unsigned major = 0, minor = 0, patch = 0;
    CHECK_EQ(std::sscanf(version.c_str(), "%u.%u.%u", &major, &minor, &patch), 3);
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    if (CHECK(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void **>(&fixed), &length))
        && CHECK(length >= sizeof *fixed)) {
        CHECK_EQ(fixed->dwSignature, DWORD(0xfeef04bd));
        CHECK_EQ(fixed->dwFileVersionMS, DWORD(MAKELONG(minor, major)));
        CHECK_EQ(fixed->dwFileVersionLS, DWORD(MAKELONG(0, patch)));
        CHECK_EQ(fixed->dwProductVersionMS, DWORD(MAKELONG(minor, major)));
        CHECK_EQ(fixed->dwProductVersionLS, DWORD(MAKELONG(0, patch)));
        CHECK_EQ(fixed->dwFileType, DWORD(library ? VFT_DLL : VFT_APP));
    }

    // Korean first: Windows takes the first language for a system in any
    // other language.
    WORD *languages = nullptr;
    if (CHECK(VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                             reinterpret_cast<void **>(&languages), &length))
        && CHECK_EQ(length, UINT(8))) {
        CHECK_EQ(languages[0], WORD(0x0412));
        CHECK_EQ(languages[1], WORD(1200));
        CHECK_EQ(languages[2], WORD(0x0409));
        CHECK_EQ(languages[3], WORD(1200));
    }

    const char *const files[] = {"timer.exe", "timer-next.exe", "Glass.dll"};
    const VersionString strings[] = {
        {"FileDescription",
         library ? "타르베넬 타이머 창 효과"
                 : shipped == Shipped::Command ? "타르베넬 타이머 일정 조회" : "타르베넬 타이머",
         library ? "Tarvenel Timer window effects"
                 : shipped == Shipped::Command ? "Tarvenel Timer coming events" : "Tarvenel Timer"},
        {"ProductName", "타르베넬 타이머", "Tarvenel Timer"},
        {"FileVersion", version.c_str(), version.c_str()},
        {"ProductVersion", version.c_str(), version.c_str()},
        {"CompanyName", "The Tarvenel Timer developers", "The Tarvenel Timer developers"},
        {"LegalCopyright", "© 2026 The Tarvenel Timer developers",
         "© 2026 The Tarvenel Timer developers"},
        {"OriginalFilename", files[int(shipped)], files[int(shipped)]},
    };
    for (const VersionString &row : strings) {
        for (const wchar_t *block : {L"041204b0", L"040904b0"}) {
            const std::string expected = block[3] == L'2' ? row.korean : row.english;
            check::Scope rowScope(std::string(row.name) + " in " + utf8(block));
            const std::wstring name = std::wstring(L"\\StringFileInfo\\") + block + L"\\"
                    + std::wstring(row.name, row.name + std::char_traits<char>::length(row.name));
            wchar_t *text = nullptr;
            if (CHECK(VerQueryValueW(data.data(), name.c_str(), reinterpret_cast<void **>(&text),
                                     &length)))
                CHECK_EQ(utf8(text), expected);
        }
    }
}

bool endsWith(const std::wstring &text, const std::wstring &end)
{
    if (text.size() < end.size())
        return false;
    std::wstring tail = text.substr(text.size() - end.size());
    CharLowerW(tail.data());
    return tail == end;
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    if (argc > 1 && !CHECK_EQ(argc, 3))
        return check::finish("test_resources");
    if (argc > 1 && (endsWith(argv[1], L".dll") || endsWith(argv[1], L"timer-next.exe"))) {
        testVersion(argv[1], utf8(argv[2]),
                    endsWith(argv[1], L".dll") ? Shipped::Library : Shipped::Command);
        return check::finish("test_resources");
    }
    if (argc > 1) {
        g_ownResources = false;
        g_module = LoadLibraryExW(argv[1], nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        if (!CHECK(g_module != nullptr))
            return check::finish("test_resources");
    }
    testIcon();
    testManifest();
    if (argc > 1)
        testVersion(argv[1], utf8(argv[2]), Shipped::Clock);
    return check::finish("test_resources");
}
