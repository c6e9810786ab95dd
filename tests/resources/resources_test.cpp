// The built AgentUninstaller_Win.exe read back: resources against the values it must carry, imports.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::string AgentExe() { return getenv("AGENT_EXE") ? getenv("AGENT_EXE") : ""; }

// The program loaded for its resources only: no code runs, no imports are bound.
class Resources : public ::testing::Test {
protected:
    void SetUp() override {
        m_module =
            LoadLibraryExA(AgentExe().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(nullptr, m_module) << "AGENT_EXE=" << AgentExe() << " error " << GetLastError();
    }
    void TearDown() override { FreeLibrary(m_module); }
    std::string Bytes(LPCSTR type, UINT id) const {
        HRSRC r = FindResourceA(m_module, MAKEINTRESOURCEA(id), type);
        const char* p = r ? static_cast<const char*>(LockResource(LoadResource(m_module, r))) : nullptr;
        return p ? std::string(p, SizeofResource(m_module, r)) : std::string();
    }
    HMODULE m_module = nullptr;
};

TEST_F(Resources, VersionOf2_0_0_8WithTheJapaneseStrings) {
    DWORD ignored = 0, size = GetFileVersionInfoSizeA(AgentExe().c_str(), &ignored);
    std::vector<char> data(size);
    ASSERT_TRUE(size && GetFileVersionInfoA(AgentExe().c_str(), 0, size, data.data()));
    UINT n = 0;
    auto query = [&](const std::string& path) {
        void* p = nullptr;
        return VerQueryValueA(data.data(), path.c_str(), &p, &n) ? p : nullptr;
    };
    auto* fixed = static_cast<VS_FIXEDFILEINFO*>(query("\\"));
    ASSERT_NE(nullptr, fixed);
    EXPECT_EQ((std::vector<DWORD>{0x20000, 8, 0x20000, 8}),
              (std::vector<DWORD>{fixed->dwFileVersionMS, fixed->dwFileVersionLS, fixed->dwProductVersionMS,
                                  fixed->dwProductVersionLS}));
    auto* translation = static_cast<WORD*>(query("\\VarFileInfo\\Translation"));
    EXPECT_TRUE(translation && n == 4 && translation[0] == 0x411 && translation[1] == 1200) << "Japanese only";
    const struct {
        const char *name, *value;  // null: the maker's text, any but empty
    } strings[] = {
        {"FileVersion", "2.000.08"},    {"ProductVersion", "2.000.08"},
        {"ProductName", "Corvane"},     {"FileDescription", "Corvane"},
        {"LegalTrademarks", "Corvane"}, {"OriginalFilename", "AgentUninstaller_Win.exe"},
        {"CompanyName", nullptr},       {"LegalCopyright", nullptr},
    };
    for (const auto& s : strings) {
        auto* text = static_cast<const char*>(query(std::string("\\StringFileInfo\\041104b0\\") + s.name));
        EXPECT_TRUE(text && (s.value ? std::string(text) == s.value : *text != 0))
            << s.name << ": " << (text ? text : "none");
    }
}

TEST_F(Resources, ManifestAsksForAdministratorsAndCommonControls6) {
    const std::string xml = Bytes(RT_MANIFEST, 1);
    for (const char* part :
         {"name=\"Zev.Kdm2.Inst\"", "<description>KDM</description>", "level=\"requireAdministrator\"",
          "uiAccess=\"false\"", "name=\"Microsoft.Windows.Common-Controls\"", "version=\"6.0.0.0\"",
          "{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
          "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
          "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"})
        EXPECT_NE(std::string::npos, xml.find(part)) << part;
}

// A DLGTEMPLATEEX as text, a line for the dialog and one per control: "id class style exstyle
// x,y cx x cy text" (the dialog: its point size for the id, its font for the class).
std::string Template(const std::string& bytes) {
    const char* p = bytes.data();
    auto take = [&](size_t size) {  // a little-endian WORD or DWORD
        DWORD v = 0;
        memcpy(&v, p, size);
        p += size;
        return v;
    };
    auto text = [&] {
        const wchar_t* s = reinterpret_cast<const wchar_t*>(p);
        p += (wcslen(s) + 1) * 2;
        char out[512] = {0};
        WideCharToMultiByte(932, 0, s, -1, out, sizeof(out), nullptr, nullptr);
        return std::string(out);
    };
    auto line = [](long id, const std::string& cls, DWORD style, DWORD exStyle, const short* g, const std::string& t) {
        char head[96];
        snprintf(head, sizeof(head), "%ld %s 0x%08lX 0x%lX %d,%d %dx%d ", id, cls.c_str(), style, exStyle, g[0], g[1],
                 g[2], g[3]);
        return head + t + "\n";
    };
    if (bytes.size() < 26 || take(4) != 0xFFFF0001) return "not an extended template";
    [[maybe_unused]] DWORD help = take(4), exStyle = take(4), style = take(4), count = take(2);
    short g[4];
    for (short& v : g) v = static_cast<short>(take(2));
    take(4);  // no menu, no class
    std::string caption = text();
    DWORD points = take(2);
    take(4);  // weight, italic, character set
    std::string lines = line(points, text(), style, exStyle, g, caption);
    static const char* const kClasses[] = {"button", "edit", "static"};
    for (DWORD i = 0; i < count; ++i) {
        p = bytes.data() + ((p - bytes.data() + 3) & ~3);
        help = take(4), exStyle = take(4), style = take(4);
        for (short& v : g) v = static_cast<short>(take(2));
        long id = static_cast<long>(take(4));
        std::string cls = take(2) == 0xFFFF ? kClasses[take(2) & 3] : (p -= 2, text());
        CharLowerA(&cls[0]);
        lines += line(id, cls, style, exStyle, g, text());
        p += take(2);  // creation data
    }
    return lines;
}

TEST_F(Resources, DialogTemplates) {
    EXPECT_EQ(
        "9 MS UI Gothic 0x90C800C0 0x40000 0,0 230x90 エージェント端末アンインストーラー\n"
        "-1 static 0x50020000 0x0 10,7 204x19 エージェント端末をアンインストールします。\r\n"
        "契約書ＮＯを入力して[アンインストール]ボタンを押してください。\n"
        "-1 static 0x50020002 0x0 18,33 42x8 契約書ＮＯ：\n"
        "1000 edit 0x50810080 0x0 62,30 162x14 \n"
        "-1 static 0x50020000 0x0 62,48 141x8 ※半角英大文字、半角数字で入力してください。\n"
        "1001 static 0x50000012 0x0 2,61 226x1 \n"
        "1 button 0x50010000 0x0 117,67 55x15 アンインストール\n"
        "2 button 0x50010000 0x0 174,67 50x15 閉じる\n",
        Template(Bytes(RT_DIALOG, 102)));
    EXPECT_EQ(
        "9 ＭＳ Ｐゴシック 0x80C000C0 0x0 0,0 267x79 \n"
        "101 static 0x50020000 0x0 9,5 247x27 ファイル\n"
        "103 msctls_progress32 0x50800000 0x0 5,50 252x14 Progress1\n"
        "102 static 0x50000001 0x0 6,40 252x8 \n",
        Template(Bytes(RT_DIALOG, 103)));
}

TEST_F(Resources, ButtonFacesAndIcon) {
    for (UINT id = 129; id <= 133; ++id) {  // disabled, hover, mask, normal, pushed: 60 x 25
        const std::string bitmap = Bytes(RT_BITMAP, id);
        const auto* h = reinterpret_cast<const BITMAPINFOHEADER*>(bitmap.data());
        EXPECT_TRUE(bitmap.size() > sizeof(*h) && h->biWidth == 60 && abs(h->biHeight) == 25) << id;
    }
    EXPECT_NE(nullptr, FindResourceA(m_module, MAKEINTRESOURCEA(128), RT_GROUP_ICON));
}

// Only DLLs the loader takes from the system whatever lies beside the program: known
// DLLs, and comctl32, which the manifest sends to the side-by-side store. Others could
// be planted beside an elevated program and are loaded at run time from the system folder.
TEST(Imports, SystemDllsOnly) {
    std::ifstream in(AgentExe(), std::ios::binary);
    const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(file.size(), sizeof(IMAGE_DOS_HEADER));
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(
        file.data() + reinterpret_cast<const IMAGE_DOS_HEADER*>(file.data())->e_lfanew);
    ASSERT_EQ(IMAGE_NT_SIGNATURE, nt->Signature);
    EXPECT_EQ(0u, nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT].Size);
    auto at = [&](DWORD rva) -> const char* {  // file bytes at a virtual address
        const IMAGE_SECTION_HEADER* s = IMAGE_FIRST_SECTION(nt);
        for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++s)
            if (rva >= s->VirtualAddress && rva < s->VirtualAddress + std::max(s->Misc.VirtualSize, s->SizeOfRawData))
                return file.data() + (rva - s->VirtualAddress + s->PointerToRawData);
        return nullptr;
    };
    const std::string system =
        " advapi32.dll comctl32.dll gdi32.dll imm32.dll kernel32.dll msvcrt.dll ole32.dll "
        "oleaut32.dll shell32.dll shlwapi.dll user32.dll ";
    auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(
        at(nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress));
    ASSERT_TRUE(d && d->Name);
    for (; d->Name; ++d) {
        std::string name = at(d->Name);
        CharLowerA(&name[0]);
        EXPECT_NE(std::string::npos, system.find(" " + name + " ")) << name << " is no system DLL";
    }
}

}  // namespace
