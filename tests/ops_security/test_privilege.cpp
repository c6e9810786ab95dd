// Privilege control against the bench's real token, accounts, files and
// registry. Wine returns success for owner changes but stores no owner, so
// the owner itself is not read back.
#include <gtest/gtest.h>

#include "Ins/InsCmn/CtrlPrivilege.h"
#include "SecurityTestUtil.h"
#include "TestUtil.h"

#include <string>
#include <vector>

namespace {

BOOL Enabled() {
    BOOL enabled = 2;
    EXPECT_EQ(0u, IsTakeOwnershipEnabled(&enabled));
    return enabled;
}

TEST(TakeOwnership, EnableAndDisable) {
    EXPECT_EQ(87u, IsTakeOwnershipEnabled(nullptr));
    ASSERT_EQ(0u, SetTakeOwnership(0));
    EXPECT_FALSE(Enabled());
    ASSERT_EQ(0u, SetTakeOwnership(1));
    EXPECT_TRUE(Enabled());
    ASSERT_EQ(0u, SetTakeOwnership(-5));  // not above 0: disables
    EXPECT_FALSE(Enabled());
}

// The bench's token holds the privilege only as present-and-disabled, so the
// attribute rules are checked on a token list built here.
TEST(TakeOwnership, OnlyExactlyEnabledCounts) {
    std::vector<BYTE> raw(sizeof(TOKEN_PRIVILEGES) + 2 * sizeof(LUID_AND_ATTRIBUTES));
    TOKEN_PRIVILEGES& privileges = *reinterpret_cast<TOKEN_PRIVILEGES*>(raw.data());
    privileges.PrivilegeCount = 3;
    const LUID_AND_ATTRIBUTES entries[3] = {{{5, 0}, SE_PRIVILEGE_ENABLED}, {{9, 0}, 0}, {{7, 1}, SE_PRIVILEGE_ENABLED}};
    for (int i = 0; i < 3; ++i) privileges.Privileges[i] = entries[i];
    EXPECT_FALSE(IsPrivilegeEnabledIn(privileges, LUID{9, 0}));
    EXPECT_TRUE(IsPrivilegeEnabledIn(privileges, LUID{5, 0}));
    EXPECT_FALSE(IsPrivilegeEnabledIn(privileges, LUID{7, 0}));  // both LUID halves compared
    EXPECT_TRUE(IsPrivilegeEnabledIn(privileges, LUID{7, 1}));
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED | SE_PRIVILEGE_ENABLED_BY_DEFAULT;
    EXPECT_FALSE(IsPrivilegeEnabledIn(privileges, LUID{5, 0}));
    privileges.PrivilegeCount = 0;
    EXPECT_FALSE(IsPrivilegeEnabledIn(privileges, LUID{7, 1}));
}

TEST(ChangeOwner, RealCalls) {
    testutil::TempDir dir("ops-owner");
    std::string file = dir / "ソ表能.txt";
    testutil::WriteBytes(file, "");
    EXPECT_EQ(87u, ChangeOwner(nullptr, file.c_str()));
    EXPECT_EQ(87u, ChangeOwner("Administrators", nullptr));
    EXPECT_EQ(0u, ChangeOwner("Administrators", file.c_str()));
    EXPECT_EQ(0u, ChangeOwner("Administrators", dir.path().c_str()));

    testutil::LogCapture log;
    EXPECT_EQ(0u, ChangeOwner("Administrators", (dir / "gone.txt").c_str()));
    EXPECT_EQ("", log.Text());  // a vanished file is done, silently
    const std::string tooLong = dir / std::string(MAX_PATH, 'a');  // cut, it would name a missing file
    EXPECT_EQ(206u, ChangeOwner("Administrators", tooLong.c_str()));
    EXPECT_TRUE(log.Has("所有者情報変更に失敗(206) " + tooLong));

    DWORD status = ChangeOwner("ops-no-such-account", file.c_str());
    EXPECT_EQ(static_cast<DWORD>(ERROR_NONE_MAPPED), status);
    EXPECT_TRUE(log.Has("LookupAccountName失敗(1332)"));
}

TEST(ChangeOwner, InvalidNameToleratedOnlyForUnneededUserSetFiles) {
    testutil::LogCapture log;
    DWORD outside = ChangeOwner("Administrators", "C:\\bench-tmp\\ops|bad");
    if (outside != ERROR_INVALID_NAME) GTEST_SKIP() << "this platform gives " << outside << " for a bad name";
    EXPECT_TRUE(log.Has("所有者情報変更に失敗(123) C:\\bench-tmp\\ops|bad GetFileAttributes:Return(-1) Error(123)"));
    EXPECT_FALSE(log.Has("!!!不要ファイルチェック"));

    char client[MAX_PATH];
    ASSERT_EQ(0u, GetClientViewFolder(client));
    std::string unneeded = std::string(client) + "\\UserSet\\WIN_ops|bad";
    testutil::LogCapture log2;
    EXPECT_EQ(0u, ChangeOwner("Administrators", unneeded.c_str()));
    EXPECT_TRUE(log2.Has("所有者情報変更に失敗(123) " + unneeded));
    EXPECT_TRUE(log2.Has("!!!不要ファイルチェック[" + unneeded + "]"));
}

TEST(ProgramFiles, Views) {
    char buffer[MAX_PATH];
    EXPECT_EQ(87u, GetProgramFilesDir(buffer, sizeof(buffer), 3));
    EXPECT_EQ(87u, GetProgramFilesDir(nullptr, sizeof(buffer), 0));
    EXPECT_EQ(87u, GetProgramFilesDir(buffer, 0, 0));

    ASSERT_EQ(0u, GetProgramFilesDir(buffer, sizeof(buffer), 2));
    std::string view32 = buffer;
    ASSERT_EQ(0u, GetProgramFilesDir(buffer, sizeof(buffer), 1));
    std::string view64 = buffer;
    if (testutil::BenchKind() == "win64") {
        EXPECT_STRCASEEQ("C:\\Program Files (x86)", view32.c_str());
        EXPECT_STRCASEEQ("C:\\Program Files", view64.c_str());
    } else {
        EXPECT_STRCASEEQ("C:\\Program Files", view32.c_str());
        EXPECT_EQ(view32, view64);  // one view only
    }
    char small[4];
    EXPECT_EQ(static_cast<DWORD>(ERROR_MORE_DATA), GetProgramFilesDir(small, sizeof(small), 2));

    char client[MAX_PATH];
    ASSERT_EQ(0u, GetClientViewFolder(client));
    EXPECT_EQ(view32 + "\\Zev Product\\VELMOR Client View", client);
}

TEST(UnneededUserSetFile, OnlyWinAndRazivUnderUserSet) {
    char client[MAX_PATH];
    ASSERT_EQ(0u, GetClientViewFolder(client));
    std::string userSet = std::string(client) + "\\UserSet\\";
    EXPECT_TRUE(IsUnneededUserSetFile((userSet + "WIN_abc\\x.dat").c_str()));
    EXPECT_TRUE(IsUnneededUserSetFile((userSet + "raziv_1").c_str()));
    EXPECT_FALSE(IsUnneededUserSetFile((userSet + "Other\\WIN_x").c_str()));
    EXPECT_FALSE(IsUnneededUserSetFile((std::string(client) + "\\WIN_x").c_str()));
    EXPECT_FALSE(IsUnneededUserSetFile("C:\\WIN_x"));
    EXPECT_FALSE(IsUnneededUserSetFile(""));
    EXPECT_FALSE(IsUnneededUserSetFile(nullptr));
}

}  // namespace
