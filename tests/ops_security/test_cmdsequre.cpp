// CmdSequre: the lists of the security types, its refusals and skips, its
// privilege bracket and its detail codes. The lists written are recorded
// through the seam (Wine stores none); one run uses the real calls.
#include <gtest/gtest.h>

#include "Ins/InsCmn/SetSequreType.h"
#include "LIB/Util/OSVersion.h"
#include "SecurityTestUtil.h"
#include "TestUtil.h"

#include <string>
#include <vector>

using sectest::RecordingCalls;
using Entries = std::vector<std::string>;

namespace {

const char kSystem[] = "S-1-5-18";
const char kAdmins[] = "S-1-5-32-544";
const char kEveryone[] = "S-1-1-0";

std::string E(const char* sid, const char* mask) { return std::string(sid) + ":" + mask + ":3"; }

bool Windows8() { return COSVersion().IsWindows8OrLater(); }

class CmdSequreTest : public ::testing::Test {
protected:
    CmdSequreTest() : dir("ops-sequre") {
        testutil::WriteBytes(dir / "f.txt", "");
        SetTakeOwnership(0);
    }
    // The list the walk wrote onto the file, after a successful run.
    Entries Run(const char* type) {
        RecordingCalls rec;
        std::string code = "000";
        EXPECT_EQ(0, CmdSequre(dir.path().c_str(), type, code)) << type;
        EXPECT_EQ("000", code);
        int i = rec.Find("dacl", dir / "f.txt");
        return i < 0 ? Entries{"(none)"} : sectest::Sorted(rec.calls[i].acl);
    }
    testutil::TempDir dir;
};

TEST_F(CmdSequreTest, TypeLists) {
    EXPECT_EQ(Entries{E(kSystem, "1F01FF")}, Run("Type3"));
    EXPECT_EQ(sectest::Sorted(Entries{E(kSystem, "1F01FF"), E(kAdmins, "1F01FF")}), Run("Type4"));
    EXPECT_EQ(sectest::Sorted(Entries{E(kSystem, "1F01FF"), E(kEveryone, "12019F")}), Run("Type6"));
    EXPECT_EQ(sectest::Sorted(Entries{E(kSystem, "1F01FF"), E(kAdmins, "1F01FF"), E(kEveryone, "12019F")}),
              Run("Type7"));
    EXPECT_EQ(sectest::Sorted(Entries{E(kSystem, "1F01FF"), E(kAdmins, "1F01FF")}), Run("type4"));
}

TEST_F(CmdSequreTest, TypeListsBeforeWindows8) {
    if (Windows8()) GTEST_SKIP() << "from Windows 8 on these types add the app-package entry";
    EXPECT_EQ(Entries{E(kEveryone, "1F01FF")}, Run("Type1"));
    EXPECT_EQ(sectest::Sorted(Entries{E(kSystem, "1F01FF"), E(kEveryone, "1200A9")}), Run("Type2"));
    EXPECT_EQ(sectest::Sorted(Entries{E(kSystem, "1F01FF"), E(kAdmins, "1F01FF"), E(kEveryone, "1200A9")}),
              Run("Type5"));
    EXPECT_EQ(Entries{E(kEveryone, "1F01FF")}, Run("tYPE1"));
}

TEST_F(CmdSequreTest, UnknownTypeIsLoggedAndGivesEveryoneFullControl) {
    testutil::LogCapture log;
    EXPECT_EQ(Entries{E(kEveryone, "1F01FF")}, Run("Type9"));
    EXPECT_TRUE(log.Has("CmdSequre [Act=Type9]"));
    EXPECT_TRUE(log.Has("Sequre:[Type9]" + dir.path()));
}

TEST_F(CmdSequreTest, PrivilegeIsOnDuringTheWalkAndRestored) {
    {
        RecordingCalls rec;
        std::string code = "000";
        ASSERT_EQ(0, CmdSequre(dir.path().c_str(), "Type3", code));
        ASSERT_FALSE(rec.calls.empty());
        for (const auto& c : rec.calls) EXPECT_TRUE(c.privilegeEnabled) << c.kind << " " << c.path;
    }
    BOOL enabled = TRUE;
    ASSERT_EQ(0u, IsTakeOwnershipEnabled(&enabled));
    EXPECT_FALSE(enabled);

    ASSERT_EQ(0u, SetTakeOwnership(1));
    std::string code = "000";
    {
        RecordingCalls rec;
        ASSERT_EQ(0, CmdSequre(dir.path().c_str(), "Type3", code));
    }
    ASSERT_EQ(0u, IsTakeOwnershipEnabled(&enabled));
    EXPECT_TRUE(enabled);  // was on before: stays on
    SetTakeOwnership(0);
}

TEST_F(CmdSequreTest, WalkFailureIs059) {
    RecordingCalls rec;
    rec.failSuffix = "f.txt";
    testutil::LogCapture log;
    std::string code = "000";
    EXPECT_EQ(-1, CmdSequre(dir.path().c_str(), "Type3", code));
    EXPECT_EQ("059", code);
    EXPECT_TRUE(log.Has("アクセス権設定失敗("));
    // A .tmp file whose owner stays is no failure.
    rec.failSuffix = "x.tmp";
    testutil::WriteBytes(dir / "x.tmp", "");
    code = "000";
    EXPECT_EQ(0, CmdSequre(dir.path().c_str(), "Type3", code));
    EXPECT_EQ("000", code);
}

TEST_F(CmdSequreTest, MissingPathIsSkipped) {
    RecordingCalls rec;
    testutil::LogCapture log;
    std::string code = "000";
    EXPECT_EQ(0, CmdSequre((dir / "none").c_str(), "Type1", code));
    EXPECT_EQ(0, CmdSequre((dir / "none\\deeper").c_str(), "Type1", code));
    EXPECT_TRUE(rec.calls.empty());
    EXPECT_TRUE(log.Has("権限設定無視(2)"));
    EXPECT_TRUE(log.Has("権限設定無視(3)"));
    EXPECT_EQ("000", code);
}

TEST_F(CmdSequreTest, ProtectedFoldersAreRefused) {
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, MAX_PATH);
    for (const std::string& path : {std::string("C:\\"), std::string(windows), std::string(windows) + "\\system32",
                                   std::string("C:\\Program Files")}) {
        RecordingCalls rec;
        testutil::LogCapture log;
        std::string code = "000";
        EXPECT_EQ(-1, CmdSequre(path.c_str(), "Type1", code)) << path;
        EXPECT_TRUE(rec.calls.empty()) << path;
        EXPECT_TRUE(log.Has("保護されたフォルダなので権限設定しません。[" + path + "]")) << path;
        EXPECT_EQ("000", code);
    }
}

TEST_F(CmdSequreTest, RealCallsUnderWine) {
    // Wine accepts and drops the lists; the result and the bracket are real.
    std::string code = "000";
    int result = CmdSequre(dir.path().c_str(), "Type5", code);
    if (Windows8()) {
        // Wine resolves "ALL APPLICATION PACKAGES" by name only as 87.
        EXPECT_EQ(-1, result);
        EXPECT_EQ("057", code);
    } else {
        EXPECT_EQ(0, result);
        EXPECT_EQ("000", code);
    }
}

TEST_F(CmdSequreTest, AppPackagesEntryOnWindows8) {
    if (!Windows8()) GTEST_SKIP() << "needs a bench that reports Windows 8 or later";
    RecordingCalls rec;
    testutil::LogCapture log;
    std::string code = "000";
    int result = CmdSequre(dir.path().c_str(), "Type1", code);
    // Windows resolves the name (S-1-15-2-1) and writes two entries; Wine
    // refuses it with 87, which fails the type with its code.
    CAclHolder probe;
    if (AddAccessEntry(probe.out(), 0x1F01FF, "ALL APPLICATION PACKAGES") == ERROR_SUCCESS) {
        EXPECT_EQ(0, result);
        int i = rec.Find("dacl", dir / "f.txt");
        ASSERT_GE(i, 0);
        EXPECT_EQ(sectest::Sorted({E(kEveryone, "1F01FF"), E("S-1-15-2-1", "1F01FF")}), sectest::Sorted(rec.calls[i].acl));
    } else {
        EXPECT_EQ(-1, result);
        EXPECT_EQ("049", code);
        EXPECT_TRUE(log.Has("(ALL APPLICATION PACKAGES)アクセス権設定失敗(87)" + dir.path()));
        EXPECT_TRUE(rec.calls.empty());
    }
}

}  // namespace
