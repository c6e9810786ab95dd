// The built AgentUninstaller_Win.exe read back: resources against the values it must carry, imports.
#include <gtest/gtest.h>
#include <windows.h>
#include <imagehlp.h>
#include <shlwapi.h>

#include <string>
#include <vector>

namespace {

const char* AgentExe() { return getenv("AGENT_EXE") ? getenv("AGENT_EXE") : ""; }
// The program mapped as an image for its resources and headers only: no code runs, no imports are bound.
const HMODULE kProgram = LoadLibraryExA(AgentExe(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);

std::string Resource(LPCSTR type, UINT id) {
    HRSRC r = FindResourceA(kProgram, MAKEINTRESOURCEA(id), type);
    const char* p = r ? static_cast<const char*>(LockResource(LoadResource(kProgram, r))) : nullptr;
    return p ? std::string(p, SizeofResource(kProgram, r)) : std::string();
}

// 2.0.0.8 in numbers and the Japanese strings (the program reads its own through the translation entry: end to end).
TEST(Resources, Version) {
    DWORD ignored = 0, size = GetFileVersionInfoSizeA(AgentExe(), &ignored);
    std::vector<char> data(size);
    ASSERT_TRUE(size && GetFileVersionInfoA(AgentExe(), 0, size, data.data())) << "AGENT_EXE=" << AgentExe();
    void* p = nullptr;
    UINT n = 0;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\", &p, &n));
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(p);
    EXPECT_EQ((std::vector<DWORD>{0x20000, 8, 0x20000, 8}),
              (std::vector<DWORD>{fixed->dwFileVersionMS, fixed->dwFileVersionLS, fixed->dwProductVersionMS,
                                  fixed->dwProductVersionLS}));
    const char* const strings[][2] = {
        {"FileVersion", "2.000.08"},    {"ProductVersion", "2.000.08"},
        {"ProductName", "Corvane"},     {"FileDescription", "Corvane"},
        {"LegalTrademarks", "Corvane"}, {"OriginalFilename", "AgentUninstaller_Win.exe"},
    };
    for (const auto& s : strings) {
        const std::string path = std::string("\\StringFileInfo\\041104b0\\") + s[0];
        EXPECT_STREQ(s[1], VerQueryValueA(data.data(), path.c_str(), &p, &n) ? static_cast<char*>(p) : "none");
    }
}

// The button faces at 60 x 25 and the icon; a manifest that asks for elevation and the controls of version 6, and
// names the newest systems, so that they report their true version.
TEST(Resources, FacesIconAndManifest) {
    for (UINT id = 129; id <= 133; ++id) {  // disabled, hover, mask, normal, pushed
        const std::string bitmap = Resource(RT_BITMAP, id);
        const auto* h = reinterpret_cast<const BITMAPINFOHEADER*>(bitmap.data());
        EXPECT_TRUE(bitmap.size() > sizeof(*h) && h->biWidth == 60 && abs(h->biHeight) == 25) << id;
    }
    EXPECT_FALSE(Resource(RT_GROUP_ICON, 128).empty());
    const std::string xml = Resource(RT_MANIFEST, 1);
    for (const char* part : {"level=\"requireAdministrator\" uiAccess=\"false\"",
                             "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
                             "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"})
        EXPECT_NE(std::string::npos, xml.find(part)) << part;
}

// A DLGTEMPLATEEX as text, a line for the dialog and one per control: "id class style exstyle
// x,y cx x cy text" (the dialog: its point size for the id, its font for the class).
std::wstring Template(const std::string& bytes) {
    const char* p = bytes.data();
    auto take = [&](size_t size) {  // a little-endian WORD or DWORD
        DWORD v = 0;
        memcpy(&v, p, size);
        p += size;
        return v;
    };
    auto text = [&] {
        const std::wstring s = reinterpret_cast<const wchar_t*>(p);
        p += (s.size() + 1) * 2;
        return s;
    };
    auto line = [](long id, const wchar_t* cls, DWORD style, DWORD exStyle, const short* g, const std::wstring& t) {
        wchar_t head[96];
        swprintf(head, 96, L"%ld %ls 0x%08lX 0x%lX %d,%d %dx%d ", id, cls, style, exStyle, g[0], g[1], g[2], g[3]);
        return head + t + L"\n";
    };
    if (bytes.size() < 26 || take(4) != 0xFFFF0001) return L"not an extended template";
    [[maybe_unused]] DWORD help = take(4), exStyle = take(4), style = take(4), count = take(2);
    short g[4];
    for (short& v : g) v = static_cast<short>(take(2));
    take(4);  // no menu, no class
    std::wstring caption = text();
    DWORD points = take(2);
    take(4);  // weight, italic, character set
    std::wstring lines = line(points, text().c_str(), style, exStyle, g, caption);
    static const wchar_t* const kClasses[] = {L"button", L"edit", L"static"};
    for (DWORD i = 0; i < count; ++i) {
        p = bytes.data() + ((p - bytes.data() + 3) & ~3);
        help = take(4), exStyle = take(4), style = take(4);
        for (short& v : g) v = static_cast<short>(take(2));
        long id = static_cast<long>(take(4));
        std::wstring cls = take(2) == 0xFFFF ? kClasses[take(2) & 3] : (p -= 2, text());
        lines += line(id, cls.c_str(), style, exStyle, g, text());
        p += take(2);  // creation data
    }
    return lines;
}

TEST(Resources, DialogTemplates) {
    EXPECT_EQ(
        L"9 MS UI Gothic 0x90C800C0 0x40000 0,0 230x90 エージェント端末アンインストーラー\n"
        L"-1 static 0x50020000 0x0 10,7 204x19 エージェント端末をアンインストールします。\r\n"
        L"契約書ＮＯを入力して[アンインストール]ボタンを押してください。\n"
        L"-1 static 0x50020002 0x0 18,33 42x8 契約書ＮＯ：\n"
        L"1000 edit 0x50810080 0x0 62,30 162x14 \n"
        L"-1 static 0x50020000 0x0 62,48 141x8 ※半角英大文字、半角数字で入力してください。\n"
        L"1001 static 0x50000012 0x0 2,61 226x1 \n"
        L"1 button 0x50010000 0x0 117,67 55x15 アンインストール\n"
        L"2 button 0x50010000 0x0 174,67 50x15 閉じる\n",
        Template(Resource(RT_DIALOG, 102)));
    EXPECT_EQ(
        L"9 ＭＳ Ｐゴシック 0x80C000C0 0x0 0,0 267x79 \n"
        L"101 static 0x50020000 0x0 9,5 247x27 ファイル\n"
        L"103 MSCTLS_PROGRESS32 0x50800000 0x0 5,50 252x14 Progress1\n"
        L"102 static 0x50000001 0x0 6,40 252x8 \n",
        Template(Resource(RT_DIALOG, 103)));
}

// Only DLLs the loader takes from the system whatever lies beside the program: known DLLs, and comctl32, which the
// manifest sends to the side-by-side store. Others, which could be planted there, are loaded at run time.
TEST(Imports, SystemDllsOnly) {
    // Mapped as an image, the headers give addresses from the base; the handle's low bits are flags.
    char* base = reinterpret_cast<char*>(reinterpret_cast<ULONG_PTR>(kProgram) & ~ULONG_PTR(3));
    ULONG size = 0;
    EXPECT_EQ(nullptr, ImageDirectoryEntryToData(base, TRUE, IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT, &size));
    auto* d = static_cast<const IMAGE_IMPORT_DESCRIPTOR*>(
        ImageDirectoryEntryToData(base, TRUE, IMAGE_DIRECTORY_ENTRY_IMPORT, &size));
    ASSERT_TRUE(d && d->Name) << "AGENT_EXE=" << AgentExe();
    const char* const system =
        " advapi32.dll comctl32.dll gdi32.dll imm32.dll kernel32.dll msvcrt.dll ole32.dll "
        "oleaut32.dll shell32.dll shlwapi.dll user32.dll ";
    for (; d->Name; ++d)
        EXPECT_NE(nullptr, StrStrIA(system, (" " + std::string(base + d->Name) + " ").c_str())) << base + d->Name;
}

}  // namespace
