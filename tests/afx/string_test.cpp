// CString: multibyte text of code page 932. ソ (83 5C) and 表 (95 5C) end in a
// backslash byte; ア (83 41) and ヂ (83 61) end in bytes that look like 'A' and 'a'.
#include <gtest/gtest.h>
#include <string>
#include "afxwin.h"

namespace {

TEST(CStringTest, FindWalksWholeCharacters) {
    const struct { const char *text, *sub; int start, found; } cases[] = {  // sub is one byte: Find(char) must agree
        {"ソ表\\能x", "\\", 0, 4},  {"ソ表\\能x", "\\", 1, 4},  // a start inside ソ finds no trail byte
        {"ソ表\\能x", "\\", 5, -1}, {"ソ", "\\", 0, -1},       {"ソ表\\能x", "x", 0, 7},
        {"ソ表\\能x", "y", 0, -1},  {"ab", "b", -1, -1},       {"ab", "b", 100, -1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.found, CString(c.text).Find(c.sub, c.start)) << c.text << " " << c.start;
        EXPECT_EQ(c.found, CString(c.text).Find(c.sub[0], c.start)) << c.text << " " << c.start;
    }
    EXPECT_EQ(5, CString("ソ表\\能x").Find("能"));
    EXPECT_EQ(-1, CString("ソ表\\能x").Find('\x83'));  // a lead byte alone is no character
}

TEST(CStringTest, CompareIsBytewiseAndCompareNoCaseIsMultibyte) {
    auto sign = [](int v) { return (v > 0) - (v < 0); };
    const struct { const char *a, *b; int compare, noCase; } cases[] = {
        {"ABCソ", "ABCソ", 0, 0},    {"ABCソ", "abcソ", -1, 0}, {"B", "A", 1, 1},
        {"ABCソ", "abcソx", -1, -1}, {"ア", "ヂ", -1, -1},  // not equal without case: trail bytes are no letters
        {"x表", "X表", 1, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.compare, sign(CString(c.a).Compare(c.b))) << c.a << " " << c.b;
        EXPECT_EQ(c.noCase, sign(CString(c.a).CompareNoCase(c.b))) << c.a << " " << c.b;
        EXPECT_EQ(c.compare == 0, CString(c.a) == CString(c.b));  // the text, never the addresses
    }
}

TEST(CStringTest, CutsConvertsAndFormats) {
    const struct { int first, count; const char* part; } mids[] = {
        {2, 100, "表cd"}, {2, 2, "表"}, {4, 100, "cd"}, {10, 1, ""}, {-3, 2, "ab"}, {1, -1, ""}};
    for (const auto& m : mids) EXPECT_STREQ(m.part, CString("ab表cd").Mid(m.first, m.count)) << m.first;
    EXPECT_STREQ("前ソ表x", "前" + CString("ソ表") + 'x');  // a char is appended, never added to a pointer
    EXPECT_STREQ("ソ表能abc", CString(L"ソ表能abc"));
    EXPECT_TRUE(CString(static_cast<const wchar_t*>(nullptr)).IsEmpty());
    EXPECT_TRUE(CString(static_cast<const char*>(nullptr)).IsEmpty());
    CString s;
    s.Format("[%s][%d]", CString("能力"), 25);  // a CString goes in as its text
    EXPECT_STREQ("[能力][25]", s);
    const std::string longText = std::string(20000, 'x') + "ソ";
    s.Format("<%s>", longText.c_str());
    EXPECT_EQ("<" + longText + ">", std::string(s));
    for (const wchar_t* wide : {L"ソ表能abc", L""}) {  // there and back; the UTF-16 copy is the receiver's to free
        BSTR b = CString(wide).AllocSysString();
        ASSERT_NE(nullptr, b);
        EXPECT_EQ(std::wstring(wide), std::wstring(b, SysStringLen(b)));
        SysFreeString(b);
    }
}

}  // namespace
