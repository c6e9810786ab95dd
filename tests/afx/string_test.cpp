#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "afxwin.h"

namespace {

TEST(CStringTest, ConstructsAssignsAndConcatenates) {
    CString empty;
    EXPECT_TRUE(empty.IsEmpty());
    EXPECT_STREQ("", empty);
    CString fromNull(static_cast<const char*>(nullptr));
    EXPECT_TRUE(fromNull.IsEmpty());

    CString s("ソ表");
    EXPECT_EQ(4, s.GetLength());
    CString t = s + "能" + CString("x") + 'y';
    EXPECT_STREQ("ソ表能xy", t);
    CString u = "前" + s;
    EXPECT_STREQ("前ソ表", u);
    u += t;
    u += 'z';
    u += "!";
    EXPECT_STREQ("前ソ表ソ表能xyz!", u);
    u = "abc";
    EXPECT_STREQ("abc", u);
    u = 'q';
    EXPECT_STREQ("q", u);
    u.Empty();
    EXPECT_TRUE(u.IsEmpty());
    EXPECT_EQ(0, u.GetLength());
}

TEST(CStringTest, ConvertsWideTextWithTheAnsiCodePage) {
    CString s(L"ソ表能abc");
    EXPECT_STREQ("ソ表能abc", s);
    EXPECT_EQ(9, s.GetLength());
    s = L"";
    EXPECT_TRUE(s.IsEmpty());
    s = static_cast<const wchar_t*>(nullptr);
    EXPECT_TRUE(s.IsEmpty());
}

TEST(CStringTest, FindNeverMatchesATrailByte) {
    // ソ is 83 5C: its trail byte is a backslash.
    CString s("ソ表\\能x");
    EXPECT_EQ(4, s.Find('\\'));
    EXPECT_EQ(4, s.Find("\\"));
    EXPECT_EQ(5, s.Find("能"));
    EXPECT_EQ(7, s.Find('x'));
    EXPECT_EQ(-1, s.Find('y'));
    EXPECT_EQ(-1, s.Find("\\", 5));
    // A start inside ソ does not make its trail byte a character.
    EXPECT_EQ(4, s.Find('\\', 1));
    EXPECT_EQ(4, s.Find("\\", 1));
    // A lone lead byte is not a character either.
    EXPECT_EQ(-1, s.Find('\x83'));
    EXPECT_EQ(-1, CString("ソ").Find("\\"));
    EXPECT_EQ(0, s.Find(""));
    EXPECT_EQ(-1, s.Find("x", -1));
    EXPECT_EQ(-1, s.Find("x", 100));
}

TEST(CStringTest, ComparesBytewiseAndWithoutCase) {
    CString s("ABCソ");
    EXPECT_EQ(0, s.Compare("ABCソ"));
    EXPECT_NE(0, s.Compare("abcソ"));
    EXPECT_LT(CString("A").Compare("B"), 0);
    EXPECT_GT(CString("B").Compare("A"), 0);
    EXPECT_EQ(0, s.CompareNoCase("abcソ"));
    EXPECT_NE(0, s.CompareNoCase("abcソx"));
    // ア (83 41) and ヂ (83 61) differ only in a trail byte that looks like 'A' and 'a':
    // a byte-wise case-insensitive comparison would call them equal.
    EXPECT_NE(0, CString("ア").CompareNoCase("ヂ"));
    EXPECT_EQ(0, CString("x表").CompareNoCase("X表"));

    // Equality compares the text, never the addresses.
    CString a("ソ表"), b("ソ表");
    EXPECT_TRUE(a == b);
    EXPECT_TRUE(a == "ソ表");
    EXPECT_TRUE("ソ表" == a);
    EXPECT_FALSE(a != b);
    EXPECT_TRUE(a != "ソ");
    EXPECT_TRUE("x" != a);
}

TEST(CStringTest, MidAndLengthsAreInBytes) {
    CString s("ab表cd");
    EXPECT_STREQ("表cd", s.Mid(2));
    EXPECT_STREQ("表", s.Mid(2, 2));
    EXPECT_STREQ("cd", s.Mid(4, 100));
    EXPECT_STREQ("", s.Mid(10));
    EXPECT_STREQ("ab", s.Mid(-3, 2));
    EXPECT_STREQ("", s.Mid(1, -1));
}

TEST(CStringTest, FormatsTextOfAnyLength) {
    CString s;
    s.Format("%d%%", 25);
    EXPECT_STREQ("25%", s);
    s.Format("%d / %d %s", 3, 10, "件");
    EXPECT_STREQ("3 / 10 件", s);
    CString arg("能力");
    s.Format("[%s][%lu]", arg, 123456789UL);  // a CString argument is passed as its text
    EXPECT_STREQ("[能力][123456789]", s);

    std::string longText(20000, 'x');
    longText += "ソ";
    s.Format("<%s>", longText.c_str());
    EXPECT_EQ(static_cast<int>(longText.size()) + 2, s.GetLength());
    EXPECT_EQ(0, strcmp(s.Mid(1, s.GetLength() - 2), longText.c_str()));
}

TEST(CStringTest, BufferAccess) {
    CString s("abc");
    char* p = s.GetBuffer(100);
    EXPECT_STREQ("abc", p);
    strcpy(p, "ソ表とても長いテキスト");
    s.ReleaseBuffer();
    EXPECT_STREQ("ソ表とても長いテキスト", s);
    p = s.GetBuffer(0);
    p[2] = '\0';
    s.ReleaseBuffer();
    EXPECT_STREQ("ソ", s);
    s.GetBuffer(10);
    s.ReleaseBuffer(1);
    EXPECT_EQ(1, s.GetLength());
}

TEST(CStringTest, AllocSysStringRoundTrip) {
    CString s("ソ表能abc");
    BSTR b = s.AllocSysString();
    ASSERT_NE(nullptr, b);
    EXPECT_EQ(6u, SysStringLen(b));
    EXPECT_STREQ(L"ソ表能abc", b);
    CString back(b);
    SysFreeString(b);
    EXPECT_STREQ("ソ表能abc", back);

    BSTR e = CString().AllocSysString();
    ASSERT_NE(nullptr, e);
    EXPECT_EQ(0u, SysStringLen(e));
    SysFreeString(e);
}

}  // namespace
