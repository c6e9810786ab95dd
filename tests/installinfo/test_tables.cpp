// Path joins, OS facts, registry reads and version compares, row by row; ソ, 表 and 能 end in the byte 0x5C.
#include <gtest/gtest.h>
#include <cstring>
#include <map>
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
        {Append, "C:\\ソ", "表", "C:\\ソ\\表"},              {Append, "C:\\ソ表\\能\\y", "..\\x", "C:\\ソ表\\能\\x"},
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

// Every row of the design's table of OS kinds, with the design's numbers; the range tests at their edges.
TEST(Tables, OSKindsAsTheDesignNumbersThem) {
    const DWORD nt = VER_PLATFORM_WIN32_NT, w9x = VER_PLATFORM_WIN32_WINDOWS;
    const BYTE ws = VER_NT_WORKSTATION, srv = VER_NT_SERVER, dc = VER_NT_DOMAIN_CONTROLLER;
    const WORD home = VER_SUITE_PERSONAL;
    // type 0: the extended query failed; product -1: no GetProductInfo
    auto f = [](DWORD platform, DWORD major, DWORD minor, BYTE type = 0, int product = -1, wchar_t csd = 0,
                WORD suite = 0, bool tablet = false) {
        return OSVersionFacts{true, platform, major, minor, csd, type != 0, type, suite, product >= 0,
                              static_cast<DWORD>(product), tablet};
    };
    const struct { OSVersionFacts facts; int kind; } rows[] = {
        {OSVersionFacts(), -1}, {f(3, 6, 1), -1}, {f(w9x, 5, 0), -1}, {f(VER_PLATFORM_WIN32s, 3, 1), 0},
        {f(w9x, 4, 0), 1}, {f(w9x, 4, 3), 1}, {f(w9x, 4, 0, 0, -1, L'B'), 2}, {f(w9x, 4, 0, 0, -1, L'C'), 2},
        {f(w9x, 4, 10), 3}, {f(w9x, 4, 10, 0, -1, L'A'), 4}, {f(w9x, 4, 90), 5},
        {f(nt, 3, 51, ws), 6}, {f(nt, 3, 51, srv), 7}, {f(nt, 3, 51, dc), 8}, {f(nt, 4, 0, ws), 9},
        {f(nt, 4, 0, srv), 10}, {f(nt, 4, 0, dc), 11}, {f(nt, 5, 0, ws), 12}, {f(nt, 5, 0, srv), 13},
        {f(nt, 5, 0, dc), 14}, {f(nt, 5, 1, ws, -1, 0, home), 15}, {f(nt, 5, 1), 15}, {f(nt, 5, 1, ws), 16},
        {f(nt, 5, 2, ws), 16}, {f(nt, 5, 1, ws, -1, 0, 0, true), 17}, {f(nt, 5, 2, srv), 18}, {f(nt, 5, 2), 18},
        {f(nt, 5, 2, dc), 19}, {f(nt, 6, 0, ws, 6), 20}, {f(nt, 6, 0, ws, 16), 20}, {f(nt, 6, 0, ws, 4), 21},
        {f(nt, 6, 0, ws, 3), 22}, {f(nt, 6, 0, ws, 2), 23}, {f(nt, 6, 0, ws, 5), 23}, {f(nt, 6, 0, ws, 1), 24},
        {f(nt, 6, 0, ws, 48), 47}, {f(nt, 6, 0, ws), 47}, {f(nt, 6, 0, srv), 25}, {f(nt, 6, 1, srv), 25},
        {f(nt, 6, 0, dc), 26}, {f(nt, 6, 1, dc), 26}, {f(nt, 6, 1, ws, 11), 27}, {f(nt, 6, 1, ws, 47), 27},
        {f(nt, 6, 1, ws, 2), 28}, {f(nt, 6, 1, ws, 5), 28}, {f(nt, 6, 1, ws, 3), 29}, {f(nt, 6, 1, ws, 26), 29},
        {f(nt, 6, 1, ws, 48), 30}, {f(nt, 6, 1, ws, 49), 30}, {f(nt, 6, 1, ws, 98), 30}, {f(nt, 6, 1, ws), 30},
        {f(nt, 6, 1, ws, 4), 31}, {f(nt, 6, 1, ws, 27), 31}, {f(nt, 6, 1, ws, 1), 32}, {f(nt, 6, 1, ws, 28), 32},
        {f(nt, 6, 2, ws, 98), 33}, {f(nt, 6, 2, ws, 100), 33}, {f(nt, 6, 2, ws, 101), 33}, {f(nt, 6, 2, ws, 48), 34},
        {f(nt, 6, 2, ws, 49), 34}, {f(nt, 6, 2, ws, 103), 34}, {f(nt, 6, 2, ws, 4), 35}, {f(nt, 6, 2, ws, 27), 35},
        {f(nt, 6, 2, ws, 72), 35}, {f(nt, 6, 2, ws, 84), 35}, {f(nt, 6, 2, ws, 1), 47}, {f(nt, 6, 2, srv), 36},
        {f(nt, 6, 2, dc), 37}, {f(nt, 6, 1), 47}, {f(nt, 6, 3, ws, 48), 47}, {f(nt, 10, 0, ws), 47},
    };
    // c classified (0 to 47), n object namespaces (12 to 47), v Vista or later (20 to 47), 8 Windows 8 on (33 to 47)
    const std::map<int, std::string> edges = {{-1, ""},    {0, "c"},     {11, "c"},     {12, "cn"},  {19, "cn"},
                                              {20, "cnv"}, {32, "cnv"}, {33, "cnv8"}, {47, "cnv8"}};
    for (const auto& r : rows) {
        const COSVersion os(r.facts, FALSE);
        const auto& v = r.facts;
        EXPECT_EQ(r.kind, os.GetKind()) << v.platformId << " " << v.major << "." << v.minor << " type "
                                        << int(v.productType) << " product " << int(v.productInfoOk ? v.product : -1);
        if (!edges.count(r.kind)) continue;
        EXPECT_EQ(edges.at(r.kind), std::string(os.IsClassified() ? "c" : "") + (os.HasObjectNamespaces() ? "n" : "") +
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
    // text: the value read, or the error's text without its place
    const struct { const char *path, *value; DWORD size, code; std::string text; } rows[] = {
        {kKey, "Name", 64, 0, "表示ソフト"}, {kKey, "Raw", 5, 0, "abcd"},
        {"HKEY_LOCAL_MACHINE\\SOFTWARE\\InfoRegistryTest", "Multi", 64, 0, "first"},
        {kKey, "Raw", 4, ERROR_MORE_DATA, "値を取得することができませんでした。(entry: Raw, type: REG_SZ)"},
        {kKey, "None", 64, ERROR_FILE_NOT_FOUND, "値を取得することができませんでした。(entry: None, type: REG_NONE)"},
        {kKey, "Dword", 64, 13, kType + "REG_DWORD)"}, {kKey, "Expand", 64, 13, kType + "REG_EXPAND_SZ)"},
        {"HKLM\\SOFTWARE\\InfoNoSuchKey\\表", "x", 64, 2, kOpen + std::string("SOFTWARE\\InfoNoSuchKey\\表)")},
    };
    for (const auto& r : rows) {
        char buf[64];
        memset(buf, 'Z', sizeof(buf));
        std::string text;
        try {
            CRegistry reg;
            reg.Open(r.path);
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
        EXPECT_EQ(r.text, text) << r.path << " " << r.value;
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
