// Path joins, OS facts, registry reads and version compares, row by row.
// ソ 83 5C, 表 95 5C and 能 94 5C end in a byte that is no backslash.
#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include "INC/OSVersion.h"
#include "LIB/Util/PellionUtil.h"
#include "TestUtil.h"
#include "Util/KDXGlobal.h"
#include "Util/Registry.h"
#include "INC/VersionInfo.h"

TEST(Tables, PathJoins) {
    enum Op { Append, Make, Join, AddBs, RemoveSpec };
    const std::string longName(300, 'n'), longPath = "C:\\d\\" + longName;
    // expected: "<failed>" + the buffer left as it was when the call fails; size 0: MAX_PATH
    const struct { Op op; const char *base, *name, *expected; size_t size; } rows[] = {
        {Append, "C:", "x", "C:\\x"},                       {Append, "C:\\a\\", "\\b", "C:\\a\\b"},
        {Append, "C:\\a\\b", "..\\c", "C:\\a\\c"},          {Append, "C:\\a", ".\\b\\.\\c", "C:\\a\\b\\c"},
        {Append, "C:\\a", "..\\..\\..\\x", "C:\\x"},        {Append, "C:\\a", "..", "C:\\"},
        {Append, "C:\\a", "\\\\server\\share\\x\\..", "\\\\server\\share"},
        {Append, "C:\\ソ", "表", "C:\\ソ\\表"},              {Append, "C:\\ソ", "..\\表", "C:\\表"},
        {Append, "C:\\能", ".", "C:\\能"},                   {Append, "C:\\ソ表\\能\\y", "..\\x", "C:\\ソ表\\能\\x"},
        {Append, "C:\\a", "", "C:\\a"},                     {Append, "C:\\abc", "defghijk", "<failed>C:\\abc", 12},
        {Append, "C:\\abc", "def", "C:\\abc\\def", 11},     {Make, "C:\\ソ", "表.txt", "C:\\ソ\\表.txt"},
        {Make, "C:\\d", longName.c_str(), longPath.c_str()}, {Make, nullptr, "x", ""},
        {Join, "C:\\a\\", "\\b", "C:\\a\\b"},               {Join, "C:\\a", "b", "C:\\a\\b"},
        {Join, "C:\\ソ", "x.lnk", "C:\\ソ\\x.lnk"},          {Join, "C:\\表\\", "能", "C:\\表\\能"},
        {Join, "C:\\a", "..\\b", "C:\\a\\..\\b"},           {Join, "", "x", "x"},
        {Join, nullptr, nullptr, ""},                       {AddBs, "C:\\ソ", nullptr, "C:\\ソ\\"},
        {AddBs, "C:\\ソ\\", nullptr, "C:\\ソ\\"},            {AddBs, "C:x", nullptr, "<failed>C:x", 4},
        {RemoveSpec, "C:\\表\\能.exe", nullptr, "C:\\表"},   {RemoveSpec, "C:\\表", nullptr, "C:\\"},
    };
    for (const auto& r : rows) {
        char buf[MAX_PATH] = {0};
        strcpy(buf, r.base ? r.base : "");
        std::string out = "junk";
        bool ok = true;
        switch (r.op) {
        case Append: ok = PathAppendInPlace(buf, r.name, r.size ? r.size : MAX_PATH); break;
        case Make: out = MakePath(r.base, r.name); break;
        case Join: JoinPath(out, r.base, r.name); break;
        case AddBs: ok = AddBackslash(buf, r.size ? r.size : MAX_PATH); break;
        case RemoveSpec: RemoveFileSpec(buf); break;
        }
        if (r.op != Make && r.op != Join) out = (ok ? "" : "<failed>") + std::string(buf);
        EXPECT_EQ(r.expected, out) << r.op << ": " << (r.base ? r.base : "null") << " + " << (r.name ? r.name : "");
    }
}

// Only the rows at the edges of the kind ranges other code asks about.
TEST(Tables, OSFactsAtTheKindBoundaries) {
    const DWORD nt = VER_PLATFORM_WIN32_NT, ws = VER_NT_WORKSTATION, dc = VER_NT_DOMAIN_CONTROLLER;
    // facts: queried, platform, major, minor, csd, ex, type, suite, product info, product;
    // ranges: c classified, n object namespaces, v Vista or later, 8 Windows 8 or later
    const struct { OSVersionFacts facts; int kind; const char* ranges; } rows[] = {
        {{false, nt, 6, 1}, -1, ""},                {{true, 3, 6, 1}, -1, ""},  // not queried; Windows CE
        {{true, VER_PLATFORM_WIN32s, 3, 1}, 0, "c"}, {{true, VER_PLATFORM_WIN32_WINDOWS, 4, 90}, 5, "c"},
        {{true, nt, 4, 0, 0, true, dc}, 11, "c"},   {{true, nt, 5, 0, 0, true, ws}, 12, "cn"},
        {{true, nt, 5, 2, 0, true, dc}, 19, "cn"},  {{true, nt, 6, 0, 0, true, ws, 0, true, 6}, 20, "cnv"},
        {{true, nt, 6, 1, 0, true, ws, 0, true, 1}, 32, "cnv"}, {{true, nt, 10, 0}, 47, "cnv8"},
        {{true, nt, 6, 2, 0, true, ws, 0, true, 98}, 33, "cnv8"},
    };
    for (const auto& r : rows) {
        const COSVersion os(r.facts, FALSE);
        EXPECT_EQ(r.kind, os.GetKind());
        EXPECT_EQ(r.ranges, std::string(os.IsClassified() ? "c" : "") + (os.HasObjectNamespaces() ? "n" : "") +
                                (os.IsVistaOrLater() ? "v" : "") + (os.IsWindows8OrLater() ? "8" : ""))
            << r.kind;
    }
}

TEST(Tables, RegistryErrors) {
    testutil::ScopedRegKey key("SOFTWARE\\InfoRegistryTest");
    key.SetString("Name", "表示ソフト");
    RegSetValueExA(key.get(), "Dword", 0, REG_DWORD, reinterpret_cast<const BYTE*>("\5\0\0"), 4);
    RegSetValueExA(key.get(), "Multi", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>("first\0second\0"), 14);
    RegSetValueExA(key.get(), "Expand", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>("%TEMP%"), 7);
    RegSetValueExA(key.get(), "Raw", 0, REG_SZ, reinterpret_cast<const BYTE*>("abcd"), 4);  // no terminator
    const char kKey[] = "hklm\\SOFTWARE\\InfoRegistryTest", kOpen[] = "レジストリを開くことができませんでした。(path: ";
    const std::string kType = "データ型が異なっています。(expected: REG_MULTI_SZ or REG_SZ, actual: ";
    // path null: never opened; text: the value read, or the error's text without its place
    const struct { const char *path, *value; DWORD size, code; std::string text; } rows[] = {
        {kKey, "Name", 64, 0, "表示ソフト"}, {kKey, "Raw", 5, 0, "abcd"},
        {"HKEY_LOCAL_MACHINE\\SOFTWARE\\InfoRegistryTest", "Multi", 64, 0, "first"},
        {kKey, "Raw", 4, ERROR_MORE_DATA, "値を取得することができませんでした。(entry: Raw, type: REG_SZ)"},
        {kKey, "None", 64, ERROR_FILE_NOT_FOUND, "値を取得することができませんでした。(entry: None, type: REG_NONE)"},
        {kKey, "Dword", 64, 13, kType + "REG_DWORD)"},
        {kKey, "Expand", 64, 13, kType + "REG_EXPAND_SZ)"},
        {"HKLM\\SOFTWARE\\InfoNoSuchKey\\表", "x", 64, 2, kOpen + std::string("SOFTWARE\\InfoNoSuchKey\\表)")},
        {"HKEY_CURRENT_USER\\Software\\No", "x", 64, 2, kOpen + std::string("Software\\No)")},
        {nullptr, "x", 64, ERROR_INVALID_HANDLE, "キーが開かれていません。"},
    };
    for (const auto& r : rows) {
        char buf[64];
        memset(buf, 'Z', sizeof(buf));
        std::string text;
        try {
            CRegistry reg;
            if (r.path) reg.Open(r.path);
            reg.GetStringValue(r.value, buf, r.size);
            text = buf;
            EXPECT_EQ(0u, r.code) << text;
        } catch (const CWin32Error& e) {
            EXPECT_EQ(r.code, e.GetErrorCode()) << e.what();
            text = e.what();
            EXPECT_NE(std::string::npos, text.find("(Registry.cpp:")) << text;
            text = text.substr(0, text.rfind("(Registry.cpp:"));
            EXPECT_TRUE(r.path != kKey || !buf[0]) << "a failed read leaves \"\"";
        }
        EXPECT_EQ(r.text, text) << (r.path ? r.path : "not open") << " " << r.value;
    }
}

// Fields are unsigned: "-1" wraps round to the largest.
TEST(Tables, VersionCompare) {
    const struct { const char *a, *b; int order; } rows[] = {  // order: a against b
        {"1.10", "1.9", 1},       {"2.0", "1.9.9.9", 1},       {"1.2.3.5", "1.2.3.4", 1}, {"1.-1", "1.99999", 1},
        {"0.0.0.1", "", 1},       {"", nullptr, 0},            {"1.2", "1.2.0.0", 0},     {"1.2.3.4.5", "1.2.3.4", 0},
        {"2.000.08", "2.0.8", 0}, {"1, 2, 3, 4", "1.2.3.4", 0}, {"1.2,3", "1.2", 0},      {" 2 .\t3\t", "2.3", 0},
        {"beta2.1", "0.1", 0},    {"1..3", "1.0.3", 0},        {"7", "7.0.0.1", -1},
    };
    for (const auto& r : rows) {
        const CVersionInfo a(r.a), b(r.b);
        const CVersionInfo& base = a;  // through the virtual operations
        EXPECT_EQ(r.order, (base < b) ? -1 : (base > b) ? 1 : 0) << r.a << " : " << (r.b ? r.b : "null");
        EXPECT_TRUE((base <= b) == (r.order <= 0) && (base >= b) == (r.order >= 0) && (base == b) == !r.order &&
                    (base != b) == (r.order != 0)) << r.a;
    }
}
