// CString: multibyte text of code page 932; ソ (83 5C) and 表 (95 5C) end in a backslash byte.
#include <gtest/gtest.h>
#include <string>
#include "afxwin.h"

namespace {

// What the program uses of it: text built, formatted, handed on as UTF-16.
TEST(CStringTest, ConvertsAndFormats) {
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
