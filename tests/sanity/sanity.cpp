// The bench itself: the code page and the prefix kind every other test relies on.
#include <windows.h>

#include <gtest/gtest.h>

#include "TestUtil.h"

TEST(Bench, JapaneseCodePageAndShiftJisLiterals) {
    EXPECT_EQ(932u, GetACP());
    EXPECT_STREQ("\x83\x5c", "ソ");  // a trail byte 0x5C survives compilation
    EXPECT_STREQ("\x95\x5c", "表");
}

TEST(Bench, PrefixKindMatchesTheRegistryViewsTheProgramSees) {
    // A 32-bit program under 64-bit Windows runs under WoW64; under 32-bit Windows it does not.
    EXPECT_EQ(testutil::BenchKind() == "win64", testutil::IsWow64Process());
}

TEST(Bench, UserFoldersAreInsideThePrefix) {
    // Tests delete shortcuts on the desktops: they must not reach the unix home.
    char desktop[MAX_PATH] = {0};
    ASSERT_TRUE(GetEnvironmentVariableA("USERPROFILE", desktop, MAX_PATH));
    lstrcatA(desktop, "\\Desktop");
    DWORD attrs = GetFileAttributesA(desktop);
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, attrs);
    EXPECT_FALSE(attrs & FILE_ATTRIBUTE_REPARSE_POINT);
}
