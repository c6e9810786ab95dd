// The agent's install information under HKLM\SOFTWARE\Corvane, in the
// registry view of the bench. The key is shared with other tests, so each
// test seeds it and removes it again.
#include <gtest/gtest.h>
#include <string>
#include "LIB/Util/OSVersion.h"
#include "LIB/Util/PellionUtil.h"
#include "TestUtil.h"

using testutil::ScopedRegKey;

namespace {

const char kKey[] = "SOFTWARE\\Corvane";

bool Win64() { return testutil::BenchKind() == "win64"; }

// The view the program must read: the native one.
REGSAM NativeView() { return Win64() ? KEY_WOW64_64KEY : 0; }

}  // namespace

TEST(InstallValue, ViewFollowsTheSystem) {
    OSVersionFacts f;
    EXPECT_EQ(static_cast<REGSAM>(KEY_WOW64_64KEY), InstallKeyView(COSVersion(f, TRUE)));
    EXPECT_EQ(0u, InstallKeyView(COSVersion(f, FALSE)));
    EXPECT_EQ(NativeView(), InstallKeyView(COSVersion()));
}

TEST(InstallValue, ReadsTheNativeViewOnWin64) {
    if (!Win64()) GTEST_SKIP() << "one registry view on 32-bit Windows";
    ScopedRegKey native(kKey, KEY_WOW64_64KEY);
    ScopedRegKey wow(kKey, KEY_WOW64_32KEY);
    native.SetString("Version", "9.9.9.64");
    wow.SetString("Version", "1.1.1.32");
    char buf[100] = {0};
    ASSERT_TRUE(ReadInstallValue(buf, "Version", sizeof(buf), nullptr));
    EXPECT_STREQ("9.9.9.64", buf);
}

TEST(InstallValue, IgnoresTheWow64ViewOnWin64) {
    if (!Win64()) GTEST_SKIP() << "one registry view on 32-bit Windows";
    ScopedRegKey::Delete(kKey, KEY_WOW64_64KEY);
    ScopedRegKey wow(kKey, KEY_WOW64_32KEY);
    wow.SetString("Version", "1.1.1.32");
    char buf[100] = {0};
    EXPECT_FALSE(ReadInstallValue(buf, "Version", sizeof(buf), nullptr));
}

TEST(InstallValue, ReadsValuesAndSubkeys) {
    ScopedRegKey key(kKey, NativeView());
    key.SetString("Version", "2.000.08");
    ScopedRegKey sub(std::string(kKey) + "\\Sub表", NativeView());
    sub.SetString("Version", "7.0");
    char buf[100] = {0};
    ASSERT_TRUE(ReadInstallValue(buf, "Version", 100, nullptr));
    EXPECT_STREQ("2.000.08", buf);
    ASSERT_TRUE(ReadInstallValue(buf, "Version", 100, "Sub表"));
    EXPECT_STREQ("7.0", buf);
    const char multi[] = "C:\\Agent\0second\0";
    RegSetValueExA(key.get(), "InstallPath", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(multi), sizeof(multi));
    ASSERT_TRUE(ReadInstallValue(buf, "InstallPath", 100, nullptr));
    EXPECT_STREQ("C:\\Agent", buf);
}

TEST(InstallValue, FailuresGiveFalse) {
    ScopedRegKey::Delete(kKey, NativeView());
    char buf[100] = {0};
    EXPECT_FALSE(ReadInstallValue(buf, "Version", 100, nullptr));  // no key
    ScopedRegKey key(kKey, NativeView());
    EXPECT_FALSE(ReadInstallValue(buf, "Version", 100, nullptr));  // no value
    key.SetDword("InstallPath", 1);
    EXPECT_FALSE(ReadInstallValue(buf, "InstallPath", 100, nullptr));  // code 13
    key.SetString("Version", "1.2.3.4");
    EXPECT_FALSE(ReadInstallValue(buf, "Version", 4, nullptr));  // code 234
    EXPECT_FALSE(ReadInstallValue(nullptr, "Version", 100, nullptr));
    EXPECT_FALSE(ReadInstallValue(buf, nullptr, 100, nullptr));
    EXPECT_FALSE(ReadInstallValue(buf, "Version", 100, "NoSuchSub"));
}

TEST(InstallFilePath, JoinsWithExactlyOneBackslash) {
    ScopedRegKey key(kKey, NativeView());
    std::string out;
    key.SetString("InstallPath", "C:\\Program Files\\Corvane\\");
    ASSERT_TRUE(GetInstallFilePath(out, nullptr, "PellionSys.ini"));
    EXPECT_EQ("C:\\Program Files\\Corvane\\PellionSys.ini", out);
    key.SetString("InstallPath", "C:\\Program Files\\Corvane");
    ASSERT_TRUE(GetInstallFilePath(out, nullptr, "PellionSys.ini"));
    EXPECT_EQ("C:\\Program Files\\Corvane\\PellionSys.ini", out);
    key.SetString("InstallPath", "C:\\表\\ソ");  // ends in a trail byte 0x5C
    ASSERT_TRUE(GetInstallFilePath(out, nullptr, "PellionSys.ini"));
    EXPECT_EQ("C:\\表\\ソ\\PellionSys.ini", out);
    key.SetString("InstallPath", "C:\\Agent\\");
    ASSERT_TRUE(GetInstallFilePath(out, nullptr, ""));
    EXPECT_EQ("C:\\Agent\\", out);
}

TEST(InstallFilePath, FailureLeavesOutputUnchanged) {
    ScopedRegKey::Delete(kKey, NativeView());
    std::string out = "unchanged";
    EXPECT_FALSE(GetInstallFilePath(out, nullptr, "PellionSys.ini"));
    EXPECT_EQ("unchanged", out);
    ScopedRegKey key(kKey, NativeView());
    key.SetDword("InstallPath", 3);
    EXPECT_FALSE(GetInstallFilePath(out, nullptr, "PellionSys.ini"));
    EXPECT_EQ("unchanged", out);
}
