// The resources of the built AgentUninstaller_Win.exe read back the way the
// system reads them: version resource through the version API, manifest,
// dialog templates, bitmaps and icon from the module loaded as an image
// resource, and the import table from the file itself.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "resource.h"

namespace {

std::string AgentExe() {
    char buf[MAX_PATH] = {0};
    GetEnvironmentVariableA("AGENT_EXE", buf, sizeof(buf));
    return buf;
}

std::string ToCp932(const wchar_t* s, size_t n) {
    if (!n) return std::string();
    int len = WideCharToMultiByte(932, 0, s, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
    std::string out(len, '\0');
    WideCharToMultiByte(932, 0, s, static_cast<int>(n), &out[0], len, nullptr, nullptr);
    return out;
}

std::string Hex(DWORD v) {
    char buf[16];
    snprintf(buf, sizeof(buf), "0x%08lX", static_cast<unsigned long>(v));
    return buf;
}

// The program loaded for its resources only (no code runs, no imports bound).
class ResourceModule : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(AgentExe().empty()) << "AGENT_EXE is not set";
        m_module = LoadLibraryExA(AgentExe().c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(m_module, nullptr) << "error " << GetLastError();
    }
    void TearDown() override {
        if (m_module) FreeLibrary(m_module);
    }
    // The bytes of one resource; empty when it is missing.
    std::string Bytes(LPCSTR type, UINT id) const {
        HRSRC r = FindResourceA(m_module, MAKEINTRESOURCEA(id), type);
        if (!r) return std::string();
        HGLOBAL g = LoadResource(m_module, r);
        const char* p = g ? static_cast<const char*>(LockResource(g)) : nullptr;
        return p ? std::string(p, SizeofResource(m_module, r)) : std::string();
    }
    std::vector<UINT> Names(LPCSTR type) const {
        std::vector<UINT> ids;
        EnumResourceNamesA(m_module, type, CollectName, reinterpret_cast<LONG_PTR>(&ids));
        return ids;
    }
    HMODULE m_module = nullptr;

private:
    static BOOL CALLBACK CollectName(HMODULE, LPCSTR, LPSTR name, LONG_PTR out) {
        reinterpret_cast<std::vector<UINT>*>(out)->push_back(
            IS_INTRESOURCE(name) ? static_cast<UINT>(reinterpret_cast<ULONG_PTR>(name)) : 0xFFFFFFFFu);
        return TRUE;
    }
};

// ---- version resource ----

class VersionResource : public ::testing::Test {
protected:
    void SetUp() override {
        DWORD handle = 0;
        DWORD size = GetFileVersionInfoSizeA(AgentExe().c_str(), &handle);
        ASSERT_GT(size, 0u) << "error " << GetLastError();
        m_data.resize(size);
        ASSERT_TRUE(GetFileVersionInfoA(AgentExe().c_str(), 0, size, m_data.data()));
    }
    // A string of the Japanese table as the ANSI API gives it; "<none>" when missing.
    std::string Value(const char* name) {
        std::string path = std::string("\\StringFileInfo\\041104b0\\") + name;
        char* p = nullptr;
        UINT len = 0;
        if (!VerQueryValueA(m_data.data(), path.c_str(), reinterpret_cast<void**>(&p), &len) || !p)
            return "<none>";
        return p;
    }
    std::vector<char> m_data;
};

TEST_F(VersionResource, FixedVersionIs2_0_0_8) {
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    ASSERT_TRUE(VerQueryValueA(m_data.data(), "\\", reinterpret_cast<void**>(&fixed), &len));
    ASSERT_EQ(len, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00020000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000008u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00020000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000008u);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
    EXPECT_EQ(fixed->dwFileFlags & fixed->dwFileFlagsMask & VS_FF_DEBUG, 0u);
}

TEST_F(VersionResource, JapaneseStringTable) {
    EXPECT_EQ(Value("FileVersion"), "2.000.08");
    EXPECT_EQ(Value("ProductVersion"), "2.000.08");
    EXPECT_EQ(Value("ProductName"), "Corvane");
    EXPECT_EQ(Value("FileDescription"), "Corvane");
    EXPECT_EQ(Value("LegalTrademarks"), "Corvane");
    EXPECT_EQ(Value("OriginalFilename"), "AgentUninstaller_Win.exe");
    EXPECT_EQ(Value("CompanyName"), "Zev");
    EXPECT_EQ(Value("LegalCopyright"), "Copyright (C) Zev");
}

TEST_F(VersionResource, OneTranslationJapaneseUnicode) {
    WORD* tr = nullptr;
    UINT len = 0;
    ASSERT_TRUE(VerQueryValueA(m_data.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&tr), &len));
    ASSERT_EQ(len, 4u);
    EXPECT_EQ(tr[0], 0x411);
    EXPECT_EQ(tr[1], 1200);
}

// The raw resource holds exactly one string table, "041104b0", with exactly
// the nine names (so nothing stray that another language would pick up).
TEST_F(ResourceModule, VersionResourceHasOnlyTheJapaneseTable) {
    std::string raw = Bytes(RT_VERSION, 1);
    ASSERT_GT(raw.size(), 40u);
    struct Node {
        const char* base;
        WORD length, valueLength, type;
        std::wstring key;
        const char* value;
        const char* children;
        const char* end;
    };
    auto parse = [](const char* p) {
        Node n;
        n.base = p;
        memcpy(&n.length, p, 2);
        memcpy(&n.valueLength, p + 2, 2);
        memcpy(&n.type, p + 4, 2);
        const wchar_t* k = reinterpret_cast<const wchar_t*>(p + 6);
        n.key = k;
        size_t off = (6 + (n.key.size() + 1) * 2 + 3) & ~3u;
        n.value = p + off;
        size_t valueBytes = n.type ? n.valueLength * 2 : n.valueLength;
        n.children = p + ((off + valueBytes + 3) & ~3u);
        n.end = p + n.length;
        return n;
    };
    auto children = [&](const Node& n) {
        std::vector<Node> out;
        for (const char* c = n.children; c + 6 <= n.end;) {
            Node k = parse(c);
            if (k.length == 0) break;
            out.push_back(k);
            c += (k.length + 3) & ~3u;
        }
        return out;
    };
    Node root = parse(raw.data());
    EXPECT_EQ(root.key, L"VS_VERSION_INFO");
    std::vector<Node> top = children(root);
    ASSERT_EQ(top.size(), 2u);
    EXPECT_EQ(top[0].key, L"StringFileInfo");
    EXPECT_EQ(top[1].key, L"VarFileInfo");
    std::vector<Node> tables = children(top[0]);
    ASSERT_EQ(tables.size(), 1u);
    EXPECT_EQ(tables[0].key, L"041104b0");
    std::map<std::wstring, std::string> strings;
    for (const Node& s : children(tables[0])) {
        size_t chars = s.valueLength;
        const wchar_t* v = reinterpret_cast<const wchar_t*>(s.value);
        while (chars && v[chars - 1] == 0) --chars;
        strings[s.key] = ToCp932(v, chars);
    }
    std::map<std::wstring, std::string> expected = {
        {L"CompanyName", "Zev"},
        {L"FileDescription", "Corvane"},
        {L"FileVersion", "2.000.08"},
        {L"LegalCopyright", "Copyright (C) Zev"},
        {L"LegalTrademarks", "Corvane"},
        {L"OriginalFilename", "AgentUninstaller_Win.exe"},
        {L"ProductName", "Corvane"},
        {L"ProductVersion", "2.000.08"},
    };
    EXPECT_EQ(strings, expected);
}

// ---- manifest ----

// Attributes of every element with the given tag, in document order.
std::vector<std::map<std::string, std::string>> Elements(const std::string& xml, const std::string& tag) {
    std::vector<std::map<std::string, std::string>> out;
    for (size_t at = xml.find("<" + tag); at != std::string::npos; at = xml.find("<" + tag, at + 1)) {
        size_t after = at + 1 + tag.size();
        if (after >= xml.size() || !(xml[after] == ' ' || xml[after] == '\n' || xml[after] == '\r' ||
                                     xml[after] == '\t' || xml[after] == '/' || xml[after] == '>'))
            continue;
        size_t end = xml.find('>', at);
        std::string body = xml.substr(after, end - after);
        std::map<std::string, std::string> attrs;
        for (size_t eq = body.find("=\""); eq != std::string::npos; eq = body.find("=\"", eq + 2)) {
            size_t nameStart = body.find_last_of(" \t\r\n", eq) + 1;
            size_t close = body.find('"', eq + 2);
            attrs[body.substr(nameStart, eq - nameStart)] = body.substr(eq + 2, close - eq - 2);
            eq = close;
        }
        out.push_back(attrs);
    }
    return out;
}

std::string WithoutComments(std::string xml) {
    for (size_t at; (at = xml.find("<!--")) != std::string::npos;)
        xml.erase(at, xml.find("-->", at) + 3 - at);
    return xml;
}

TEST_F(ResourceModule, OneManifestWithIdentityElevationAndCommonControls6) {
    EXPECT_EQ(Names(RT_MANIFEST), std::vector<UINT>{1});
    std::string xml = WithoutComments(Bytes(RT_MANIFEST, 1));
    ASSERT_FALSE(xml.empty());

    auto ids = Elements(xml, "assemblyIdentity");
    ASSERT_EQ(ids.size(), 2u) << "the program's own identity and common controls only";
    EXPECT_EQ(ids[0]["name"], "Zev.Kdm2.Inst");
    EXPECT_EQ(ids[0]["version"], "1.0.0.0");
    EXPECT_EQ(ids[0]["processorArchitecture"], "x86");
    EXPECT_EQ(ids[0]["type"], "win32");
    EXPECT_EQ(ids[1]["name"], "Microsoft.Windows.Common-Controls");
    EXPECT_EQ(ids[1]["version"], "6.0.0.0");
    EXPECT_EQ(ids[1]["publicKeyToken"], "6595b64144ccf1df");
    EXPECT_NE(xml.find("<description>KDM</description>"), std::string::npos);

    auto level = Elements(xml, "requestedExecutionLevel");
    ASSERT_EQ(level.size(), 1u);
    EXPECT_EQ(level[0]["level"], "requireAdministrator");
    EXPECT_EQ(level[0]["uiAccess"], "false");

    std::vector<std::string> os;
    for (auto& e : Elements(xml, "supportedOS")) os.push_back(e["Id"]);
    EXPECT_EQ(os, (std::vector<std::string>{
                      "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  // Vista
                      "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // 7
                      "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  // 8
                      "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  // 8.1
                      "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  // 10
                  }));
}

// The loader accepts the manifest: an activation context built from it
// resolves comctl32 to the side-by-side version 6.
TEST(Manifest, ActivationContextLoadsCommonControls6) {
    std::string exe = AgentExe();
    ACTCTXA ctx;
    ZeroMemory(&ctx, sizeof(ctx));
    ctx.cbSize = sizeof(ctx);
    ctx.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    ctx.lpSource = exe.c_str();
    ctx.lpResourceName = MAKEINTRESOURCEA(1);
    HANDLE h = CreateActCtxA(&ctx);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    ULONG_PTR cookie = 0;
    ASSERT_TRUE(ActivateActCtx(h, &cookie));
    HMODULE cc = LoadLibraryA("comctl32.dll");
    char path[MAX_PATH] = {0};
    if (cc) GetModuleFileNameA(cc, path, MAX_PATH);
    DeactivateActCtx(0, cookie);
    ReleaseActCtx(h);
    ASSERT_NE(cc, nullptr);
    std::string lower(path);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return static_cast<char>(tolower(c)); });
    EXPECT_NE(lower.find("winsxs"), std::string::npos) << path;
    EXPECT_NE(lower.find("6.0"), std::string::npos) << path;
    FreeLibrary(cc);
}

// ---- dialog templates ----

const WORD kButton = 0x80, kEdit = 0x81, kStatic = 0x82;

struct Item {
    DWORD id;
    WORD classOrdinal;        // 0 when the class is a name
    std::string className;    // when not an ordinal
    std::string text;         // CP932
    DWORD style, exStyle;
    short x, y, cx, cy;
};

struct Dialog {
    DWORD style = 0, exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::string caption, face;
    WORD pointSize = 0, weight = 0;
    BYTE italic = 0, charset = 0;
    bool hasMenu = false, hasClass = false;
    std::vector<Item> items;
};

// Parses a DLGTEMPLATEEX; fails the test on any other format.
Dialog ParseDialogEx(const std::string& bytes) {
    Dialog d;
    const char* p = bytes.data();
    const char* end = p + bytes.size();
    auto word = [&](const char*& q) { WORD w; memcpy(&w, q, 2); q += 2; return w; };
    auto dword = [&](const char*& q) { DWORD v; memcpy(&v, q, 4); q += 4; return v; };
    auto text = [&](const char*& q) {
        const wchar_t* s = reinterpret_cast<const wchar_t*>(q);
        size_t n = wcslen(s);
        q += (n + 1) * 2;
        return ToCp932(s, n);
    };
    auto align = [&](const char*& q) { q = bytes.data() + ((q - bytes.data() + 3) & ~3); };
    EXPECT_EQ(word(p), 1);       // dlgVer
    EXPECT_EQ(word(p), 0xFFFF);  // signature of the extended template
    EXPECT_EQ(dword(p), 0u);     // helpID
    d.exStyle = dword(p);
    d.style = dword(p);
    WORD count = word(p);
    d.x = word(p), d.y = word(p), d.cx = word(p), d.cy = word(p);
    d.hasMenu = word(p) != 0;
    d.hasClass = word(p) != 0;
    d.caption = text(p);
    if (d.style & DS_SETFONT) {
        d.pointSize = word(p);
        d.weight = word(p);
        d.italic = static_cast<BYTE>(*p++);
        d.charset = static_cast<BYTE>(*p++);
        d.face = text(p);
    }
    for (WORD i = 0; i < count && p < end; ++i) {
        align(p);
        Item it;
        EXPECT_EQ(dword(p), 0u);  // helpID
        it.exStyle = dword(p);
        it.style = dword(p);
        it.x = word(p), it.y = word(p), it.cx = word(p), it.cy = word(p);
        it.id = dword(p);
        it.classOrdinal = 0;
        if (*reinterpret_cast<const WORD*>(p) == 0xFFFF) {
            p += 2;
            it.classOrdinal = word(p);
        } else {
            it.className = text(p);
        }
        if (*reinterpret_cast<const WORD*>(p) == 0xFFFF) {
            p += 4;
            it.text = "<ordinal>";
        } else {
            it.text = text(p);
        }
        WORD extra = word(p);
        EXPECT_EQ(extra, 0) << "no creation data";
        p += extra;
        d.items.push_back(it);
    }
    EXPECT_EQ(d.items.size(), count);
    return d;
}

void ExpectItem(const Item& got, const Item& want) {
    SCOPED_TRACE("control id " + std::to_string(static_cast<int>(want.id)));
    EXPECT_EQ(got.id, want.id);
    EXPECT_EQ(got.classOrdinal, want.classOrdinal);
    // Window classes match without regard to case; windres stores named ones upper-cased.
    EXPECT_EQ(lstrcmpiA(got.className.c_str(), want.className.c_str()), 0) << got.className;
    EXPECT_EQ(got.text, want.text);
    EXPECT_EQ(Hex(got.style), Hex(want.style));
    EXPECT_EQ(Hex(got.exStyle), Hex(want.exStyle));
    EXPECT_EQ(got.x, want.x);
    EXPECT_EQ(got.y, want.y);
    EXPECT_EQ(got.cx, want.cx);
    EXPECT_EQ(got.cy, want.cy);
}

TEST_F(ResourceModule, ContractDialogTemplate) {
    EXPECT_EQ(IDD_CONTRACT, 102);
    std::string raw = Bytes(RT_DIALOG, IDD_CONTRACT);
    ASSERT_FALSE(raw.empty());
    Dialog d = ParseDialogEx(raw);
    EXPECT_EQ(Hex(d.style), "0x90C800C0");
    EXPECT_EQ(Hex(d.exStyle), "0x00040000");
    EXPECT_EQ(d.x, 0);
    EXPECT_EQ(d.y, 0);
    EXPECT_EQ(d.cx, 230);
    EXPECT_EQ(d.cy, 90);
    EXPECT_FALSE(d.hasMenu);
    EXPECT_FALSE(d.hasClass);
    EXPECT_EQ(d.caption, "エージェント端末アンインストーラー");
    EXPECT_EQ(d.face, "MS UI Gothic");
    EXPECT_EQ(d.pointSize, 9);
    EXPECT_EQ(d.weight, FW_NORMAL);
    EXPECT_EQ(d.italic, 0);
    EXPECT_EQ(d.charset, SHIFTJIS_CHARSET);

    const std::vector<Item> want = {
        {0xFFFFFFFF, kStatic, "",
         "エージェント端末をアンインストールします。\r\n契約書ＮＯを入力して[アンインストール]ボタンを押してください。",
         0x50020000, 0, 10, 7, 204, 19},
        {0xFFFFFFFF, kStatic, "", "契約書ＮＯ：", 0x50020002, 0, 18, 33, 42, 8},
        {1000, kEdit, "", "", 0x50810080, 0, 62, 30, 162, 14},
        {0xFFFFFFFF, kStatic, "", "※半角英大文字、半角数字で入力してください。", 0x50020000, 0, 62, 48, 141, 8},
        {1001, kStatic, "", "", 0x50000012, 0, 2, 61, 226, 1},
        {IDOK, kButton, "", "アンインストール", 0x50010000, 0, 117, 67, 55, 15},
        {IDCANCEL, kButton, "", "閉じる", 0x50010000, 0, 174, 67, 50, 15},
    };
    ASSERT_EQ(d.items.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) ExpectItem(d.items[i], want[i]);
    EXPECT_EQ(static_cast<DWORD>(IDC_CONTRACT_NO), d.items[2].id);
    EXPECT_EQ(static_cast<DWORD>(IDC_SEPARATOR), d.items[4].id);
}

TEST_F(ResourceModule, ProgressDialogTemplate) {
    EXPECT_EQ(IDD_PROGRESS, 103);
    std::string raw = Bytes(RT_DIALOG, IDD_PROGRESS);
    ASSERT_FALSE(raw.empty());
    Dialog d = ParseDialogEx(raw);
    EXPECT_EQ(Hex(d.style), "0x80C000C0");
    EXPECT_EQ(d.style & WS_SYSMENU, 0u) << "no close box";
    EXPECT_EQ(d.exStyle, 0u);
    EXPECT_EQ(d.cx, 267);
    EXPECT_EQ(d.cy, 79);
    EXPECT_EQ(d.caption, "");
    EXPECT_EQ(d.face, "ＭＳ Ｐゴシック");
    EXPECT_EQ(d.pointSize, 9);
    EXPECT_EQ(d.charset, SHIFTJIS_CHARSET);

    const std::vector<Item> want = {
        {101, kStatic, "", "ファイル", 0x50020000, 0, 9, 5, 247, 27},
        {103, 0, "msctls_progress32", "Progress1", 0x50800000, 0, 5, 50, 252, 14},
        {102, kStatic, "", "", 0x50000001, 0, 6, 40, 252, 8},
    };
    ASSERT_EQ(d.items.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) ExpectItem(d.items[i], want[i]);
    EXPECT_EQ(static_cast<DWORD>(IDC_PROGRESS_TEXT), d.items[0].id);
    EXPECT_EQ(static_cast<DWORD>(IDC_PROGRESS_BAR), d.items[1].id);
    EXPECT_EQ(static_cast<DWORD>(IDC_PROGRESS_PERCENT), d.items[2].id);
}

// ---- bitmaps and icon ----

struct Bitmap {
    BITMAPINFOHEADER header;
    std::vector<RGBQUAD> palette;
    const BYTE* bits;
    // Colour of pixel (x, y), y counted from the top.
    COLORREF At(int x, int y) const {
        int rows = header.biHeight;
        int row = rows > 0 ? rows - 1 - y : y;
        int stride = ((header.biWidth * header.biBitCount + 31) / 32) * 4;
        const BYTE* p = bits + row * stride;
        if (header.biBitCount == 8) {
            const RGBQUAD& q = palette[p[x]];
            return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
        }
        return RGB(p[x * 3 + 2], p[x * 3 + 1], p[x * 3]);
    }
};

Bitmap ParseBitmap(const std::string& raw) {
    Bitmap b;
    memcpy(&b.header, raw.data(), sizeof(b.header));
    size_t colours = b.header.biBitCount <= 8 ? (b.header.biClrUsed ? b.header.biClrUsed : 1u << b.header.biBitCount) : 0;
    const RGBQUAD* pal = reinterpret_cast<const RGBQUAD*>(raw.data() + b.header.biSize);
    b.palette.assign(pal, pal + colours);
    b.bits = reinterpret_cast<const BYTE*>(pal + colours);
    return b;
}

TEST_F(ResourceModule, ButtonFacesAre60x25With8BitsAndMaskWith24) {
    const struct {
        UINT id;
        WORD bits;
    } faces[] = {{IDB_BUTTON_DISABLE, 8}, {IDB_BUTTON_HOVER, 8}, {IDB_BUTTON_MASK, 24},
                 {IDB_BUTTON_NORMAL, 8}, {IDB_BUTTON_PUSH, 8}};
    EXPECT_EQ(IDB_BUTTON_DISABLE, 129);
    EXPECT_EQ(IDB_BUTTON_PUSH, 133);
    for (const auto& f : faces) {
        SCOPED_TRACE("bitmap " + std::to_string(f.id));
        std::string raw = Bytes(RT_BITMAP, f.id);
        ASSERT_GE(raw.size(), sizeof(BITMAPINFOHEADER));
        Bitmap b = ParseBitmap(raw);
        EXPECT_EQ(b.header.biSize, sizeof(BITMAPINFOHEADER));
        EXPECT_EQ(b.header.biWidth, 60);
        EXPECT_EQ(abs(b.header.biHeight), 25);
        EXPECT_EQ(b.header.biBitCount, f.bits);
        EXPECT_EQ(b.header.biCompression, static_cast<DWORD>(BI_RGB));
        size_t stride = ((60 * f.bits + 31) / 32) * 4;
        EXPECT_GE(raw.size(), b.header.biSize + b.palette.size() * 4 + stride * 25);

        // What the program does with them: LoadBitmapA gives a 60 x 25 bitmap.
        HBITMAP h = LoadBitmapA(m_module, MAKEINTRESOURCEA(f.id));
        ASSERT_NE(h, nullptr);
        BITMAP bm;
        ASSERT_EQ(GetObjectA(h, sizeof(bm), &bm), static_cast<int>(sizeof(bm)));
        EXPECT_EQ(bm.bmWidth, 60);
        EXPECT_EQ(bm.bmHeight, 25);
        DeleteObject(h);
    }
}

// The mask is black where a face is opaque and white where the background
// shows; every face is uniform (its corner colour) outside that shape.
TEST_F(ResourceModule, MaskMatchesTheShapeOfEveryFace) {
    std::string maskRaw = Bytes(RT_BITMAP, IDB_BUTTON_MASK);
    ASSERT_FALSE(maskRaw.empty());
    Bitmap mask = ParseBitmap(maskRaw);
    EXPECT_EQ(mask.At(0, 0), RGB(255, 255, 255));
    EXPECT_EQ(mask.At(30, 12), RGB(0, 0, 0));
    for (UINT id : {IDB_BUTTON_DISABLE, IDB_BUTTON_HOVER, IDB_BUTTON_NORMAL, IDB_BUTTON_PUSH}) {
        SCOPED_TRACE("bitmap " + std::to_string(id));
        std::string raw = Bytes(RT_BITMAP, id);
        ASSERT_FALSE(raw.empty());
        Bitmap face = ParseBitmap(raw);
        COLORREF outside = face.At(0, 0);
        int mismatches = 0;
        for (int y = 0; y < 25; ++y)
            for (int x = 0; x < 60; ++x) {
                COLORREF m = mask.At(x, y);
                ASSERT_TRUE(m == RGB(0, 0, 0) || m == RGB(255, 255, 255));
                if (m == RGB(255, 255, 255) && face.At(x, y) != outside) ++mismatches;
                if (m == RGB(0, 0, 0) && face.At(x, y) == outside) ++mismatches;
            }
        EXPECT_EQ(mismatches, 0);
    }
}

TEST_F(ResourceModule, ProgramIconHasSmallAndLargeImages) {
    std::string group = Bytes(RT_GROUP_ICON, IDR_MAINFRAME);
    ASSERT_GE(group.size(), 6u);
    WORD type = 0, count = 0;
    memcpy(&type, group.data() + 2, 2);
    memcpy(&count, group.data() + 4, 2);
    EXPECT_EQ(type, 1);
    ASSERT_GE(count, 2);
    ASSERT_EQ(group.size(), 6u + 14u * count);
    std::vector<int> sizes;
    for (WORD i = 0; i < count; ++i) {
        const BYTE* e = reinterpret_cast<const BYTE*>(group.data() + 6 + 14 * i);
        WORD id = 0;
        memcpy(&id, e + 12, 2);
        sizes.push_back(e[0] ? e[0] : 256);
        EXPECT_FALSE(Bytes(RT_ICON, id).empty()) << "image " << id;
    }
    EXPECT_NE(std::find(sizes.begin(), sizes.end(), 16), sizes.end());
    EXPECT_NE(std::find(sizes.begin(), sizes.end(), 32), sizes.end());

    for (int size : {16, 32}) {
        int id = LookupIconIdFromDirectoryEx(reinterpret_cast<PBYTE>(&group[0]), TRUE, size, size, LR_DEFAULTCOLOR);
        ASSERT_NE(id, 0);
        std::string image = Bytes(RT_ICON, id);
        HICON icon = CreateIconFromResourceEx(reinterpret_cast<PBYTE>(&image[0]), static_cast<DWORD>(image.size()),
                                              TRUE, 0x00030000, size, size, LR_DEFAULTCOLOR);
        ASSERT_NE(icon, nullptr) << "size " << size;
        ICONINFO info;
        ASSERT_TRUE(GetIconInfo(icon, &info));
        BITMAP bm;
        GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof(bm), &bm);
        EXPECT_EQ(bm.bmWidth, size);
        if (info.hbmColor) DeleteObject(info.hbmColor);
        if (info.hbmMask) DeleteObject(info.hbmMask);
        DestroyIcon(icon);
    }
}

// ---- imports ----

class PeFile {
public:
    explicit PeFile(const std::string& path) {
        HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (f == INVALID_HANDLE_VALUE) return;
        DWORD size = GetFileSize(f, nullptr), got = 0;
        m_bytes.resize(size);
        if (!ReadFile(f, &m_bytes[0], size, &got, nullptr) || got != size) m_bytes.clear();
        CloseHandle(f);
    }
    const IMAGE_NT_HEADERS32* Nt() const {
        if (m_bytes.size() < sizeof(IMAGE_DOS_HEADER)) return nullptr;
        const IMAGE_DOS_HEADER* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(m_bytes.data());
        if (dos->e_magic != IMAGE_DOS_SIGNATURE ||
            static_cast<size_t>(dos->e_lfanew) + sizeof(IMAGE_NT_HEADERS32) > m_bytes.size())
            return nullptr;
        const IMAGE_NT_HEADERS32* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(m_bytes.data() + dos->e_lfanew);
        return nt->Signature == IMAGE_NT_SIGNATURE ? nt : nullptr;
    }
    // File bytes at a relative virtual address, or null outside every section.
    const char* At(DWORD rva) const {
        const IMAGE_NT_HEADERS32* nt = Nt();
        const IMAGE_SECTION_HEADER* s = IMAGE_FIRST_SECTION(nt);
        for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++s) {
            DWORD span = std::max(s->Misc.VirtualSize, s->SizeOfRawData);
            if (rva >= s->VirtualAddress && rva < s->VirtualAddress + span) {
                size_t off = rva - s->VirtualAddress + s->PointerToRawData;
                return off < m_bytes.size() ? m_bytes.data() + off : nullptr;
            }
        }
        return nullptr;
    }
    std::vector<std::string> ImportedDlls() const {
        std::vector<std::string> names;
        const IMAGE_DATA_DIRECTORY& dir = Nt()->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        const IMAGE_IMPORT_DESCRIPTOR* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(At(dir.VirtualAddress));
        for (; d && d->Name; ++d) {
            const char* name = At(d->Name);
            names.push_back(name ? name : "<bad>");
        }
        return names;
    }

private:
    std::string m_bytes;
};

TEST(Imports, GuiPe32ImportingSystemDllsOnly) {
    PeFile pe(AgentExe());
    const IMAGE_NT_HEADERS32* nt = pe.Nt();
    ASSERT_NE(nt, nullptr);
    EXPECT_EQ(nt->FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
    EXPECT_EQ(nt->OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR32_MAGIC);
    EXPECT_EQ(nt->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
    EXPECT_EQ(nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT].Size, 0u);

    // Only DLLs the loader takes from the system whatever lies beside the
    // program: the system's known DLLs, and comctl32, which the manifest sends
    // to the side-by-side store. Others (version, msimg32, dbghelp) could be
    // planted beside an elevated program and are loaded at run time instead.
    const char* system[] = {"ADVAPI32.DLL", "COMCTL32.DLL", "GDI32.DLL",   "IMM32.DLL",   "KERNEL32.DLL",
                            "MSVCRT.DLL",   "OLE32.DLL",    "OLEAUT32.DLL", "SHELL32.DLL", "SHLWAPI.DLL",
                            "USER32.DLL"};
    std::vector<std::string> dlls = pe.ImportedDlls();
    ASSERT_FALSE(dlls.empty());
    bool kernel32 = false;
    for (std::string name : dlls) {
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return static_cast<char>(toupper(c)); });
        kernel32 |= name == "KERNEL32.DLL";
        EXPECT_NE(std::find_if(std::begin(system), std::end(system), [&](const char* s) { return name == s; }),
                  std::end(system))
            << name << " is not a Windows system DLL";
    }
    EXPECT_TRUE(kernel32);
}

}  // namespace
