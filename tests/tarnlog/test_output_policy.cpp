// The output policy on fresh policy objects beside real marker and settings
// files. The minute between re-evaluations is stepped with a test clock.
#include <windows.h>
#include <gtest/gtest.h>

#include "TarnLog/TarnLog.h"
#include "TarnLog/TarnLogOutputPolicy.h"
#include "TestUtil.h"

using logging::COutputPolicy;
using testutil::WriteBytes;

namespace {

class CSteppedPolicy : public COutputPolicy {
public:
    DWORD now = 1000;

protected:
    DWORD GetTick() const override { return now; }
};

struct PolicyDir {
    testutil::TempDir dir{"tlpol"};
    std::string log = dir / "policy.exe.log";
    std::string settings = log + ".chk";
    std::string global = dir / "global.log.chk";
    std::string outputSwitch = dir / "LogOutput.txt";
};

// A fresh policy for the log, initialised with mode.
bool ResearchOn(const PolicyDir& d, int mode = 0) {
    COutputPolicy policy;
    policy.Initialize(d.log.c_str(), NULL, mode);
    return policy.IsOutput(TARNLOG_RESEARCH);
}

int Backups(const PolicyDir& d) {
    COutputPolicy policy;
    policy.Initialize(d.log.c_str(), NULL, 0);
    policy.IsOutput(TARNLOG_INFO);
    return policy.GetMaxBackupIndex();
}

}  // namespace

TEST(TarnLogOutputPolicy, BeforeInitializeEverythingButResearch) {
    COutputPolicy policy;
    for (int kind = TARNLOG_INFO; kind <= TARNLOG_SYSTEM; ++kind) EXPECT_TRUE(policy.IsOutput(kind)) << kind;
    EXPECT_FALSE(policy.IsOutput(TARNLOG_RESEARCH));
    EXPECT_EQ(1, policy.GetMaxBackupIndex());
}

TEST(TarnLogOutputPolicy, ResearchNeedsGlobalMarkerWithoutSettings) {
    PolicyDir d;
    EXPECT_FALSE(ResearchOn(d));
    WriteBytes(d.global, "");
    EXPECT_TRUE(ResearchOn(d));
}

TEST(TarnLogOutputPolicy, SettingsLevelDecidesResearch) {
    PolicyDir d;
    WriteBytes(d.global, "");  // ignored while settings exist
    WriteBytes(d.settings, "[Config]\r\nLevel=Normal\r\n");
    EXPECT_FALSE(ResearchOn(d));
    WriteBytes(d.settings, "[Config]\r\nLevel=rEsEaRcH\r\n");
    EXPECT_TRUE(ResearchOn(d));
    // A longer word must not shrink into "Research" in a short buffer.
    WriteBytes(d.settings, "[Config]\r\nLevel=ResearchOff\r\n");
    EXPECT_FALSE(ResearchOn(d));
    WriteBytes(d.settings, "[Config]\r\nMaxBackupIndex=2\r\n");  // Level defaults to Research
    EXPECT_TRUE(ResearchOn(d));
    DeleteFileA(d.global.c_str());
    WriteBytes(d.settings, "");  // an empty settings file switches research on
    EXPECT_TRUE(ResearchOn(d));
}

TEST(TarnLogOutputPolicy, MaxBackupIndexIsAtLeastOne) {
    PolicyDir d;
    EXPECT_EQ(1, Backups(d));
    WriteBytes(d.settings, "[Config]\r\nMaxBackupIndex=3\r\n");
    EXPECT_EQ(3, Backups(d));
    WriteBytes(d.settings, "[Config]\r\nMaxBackupIndex=0\r\n");
    EXPECT_EQ(1, Backups(d));
    WriteBytes(d.settings, "[Config]\r\nMaxBackupIndex=-2\r\n");
    EXPECT_EQ(1, Backups(d));
    WriteBytes(d.settings, "");
    EXPECT_EQ(1, Backups(d));
}

TEST(TarnLogOutputPolicy, GatedLogOnlyWhileSwitchedOn) {
    PolicyDir d;
    {
        COutputPolicy policy;
        policy.Initialize(d.log.c_str(), NULL, 2);
        EXPECT_FALSE(policy.IsOutput(TARNLOG_INFO));
        EXPECT_FALSE(policy.IsOutput(TARNLOG_ERROR));
    }
    WriteBytes(d.outputSwitch, "");
    {
        COutputPolicy policy;
        policy.Initialize(d.log.c_str(), NULL, 2);
        EXPECT_TRUE(policy.IsOutput(TARNLOG_INFO));
    }
    DeleteFileA(d.outputSwitch.c_str());
    {
        // The installer's mutex switches every program on while it exists.
        HANDLE installer = CreateMutexA(NULL, FALSE, "Global\\InstallCommonMutexName");
        ASSERT_NE(nullptr, installer);
        COutputPolicy policy;
        policy.Initialize(d.log.c_str(), NULL, 2);
        EXPECT_TRUE(policy.IsOutput(TARNLOG_INFO));
        CloseHandle(installer);
    }
}

TEST(TarnLogOutputPolicy, UngatedAndByNameDecisions) {
    PolicyDir d;
    COutputPolicy forced;
    forced.Initialize(d.log.c_str(), NULL, 1);
    EXPECT_TRUE(forced.IsOutput(TARNLOG_INFO));
    // The test program is no product program: mode 0 logs without a switch.
    COutputPolicy byName;
    byName.Initialize(d.log.c_str(), NULL, 0);
    EXPECT_TRUE(byName.IsOutput(TARNLOG_INFO));
    // A second Initialize changes nothing.
    byName.Initialize(d.log.c_str(), NULL, 2);
    EXPECT_TRUE(byName.IsOutput(TARNLOG_INFO));

    EXPECT_TRUE(logging::IsFamilyModuleName(L"kdmagent.EXE"));
    EXPECT_FALSE(logging::IsFamilyModuleName(L"AgentUninstaller_Win.exe"));
    EXPECT_FALSE(logging::IsFamilyModuleName(L"PexCli.exe"));
    EXPECT_FALSE(logging::IsFamilyModuleName(L""));
}

TEST(TarnLogOutputPolicy, ReevaluatesOnlyAfterAMinute) {
    PolicyDir d;
    CSteppedPolicy policy;
    policy.Initialize(d.log.c_str(), NULL, 2);
    EXPECT_FALSE(policy.IsOutput(TARNLOG_INFO));
    EXPECT_FALSE(policy.IsOutput(TARNLOG_RESEARCH));
    WriteBytes(d.outputSwitch, "");
    WriteBytes(d.global, "");
    policy.now += 59999;  // within the minute no file is looked at
    EXPECT_FALSE(policy.IsOutput(TARNLOG_INFO));
    policy.now += 1;
    EXPECT_TRUE(policy.IsOutput(TARNLOG_INFO));
    EXPECT_TRUE(policy.IsOutput(TARNLOG_RESEARCH));

    // Settings appear: read at the next re-evaluation, also across the tick wrap.
    WriteBytes(d.settings, "[Config]\r\nLevel=Normal\r\nMaxBackupIndex=4\r\n");
    policy.now = 0xFFFFFFF0u;
    EXPECT_FALSE(policy.IsOutput(TARNLOG_RESEARCH));
    EXPECT_EQ(4, policy.GetMaxBackupIndex());
    policy.now = 0xFFFFFFF0u + 60000u;  // wraps past zero
    DeleteFileA(d.settings.c_str());
    EXPECT_TRUE(policy.IsOutput(TARNLOG_RESEARCH));  // back to the global marker
    EXPECT_EQ(4, policy.GetMaxBackupIndex());        // kept from the last settings read

    DeleteFileA(d.outputSwitch.c_str());
    policy.now += 60000;
    EXPECT_FALSE(policy.IsOutput(TARNLOG_INFO));
}

TEST(TarnLogOutputPolicy, UnchangedSettingsAreNotReread) {
    PolicyDir d;
    WriteBytes(d.settings, "[Config]\r\nLevel=Normal\r\n");
    CSteppedPolicy policy;
    policy.Initialize(d.log.c_str(), NULL, 0);
    EXPECT_FALSE(policy.IsOutput(TARNLOG_RESEARCH));

    // New content under the old last-write time: the level read before stands,
    // and the global marker is not consulted while settings exist.
    FILETIME written = {};
    HANDLE file = CreateFileA(d.settings.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    GetFileTime(file, NULL, NULL, &written);
    CloseHandle(file);
    WriteBytes(d.settings, "[Config]\r\nLevel=Research\r\n");
    file = CreateFileA(d.settings.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    SetFileTime(file, NULL, NULL, &written);
    CloseHandle(file);
    WriteBytes(d.global, "");
    policy.now += 60000;
    EXPECT_FALSE(policy.IsOutput(TARNLOG_RESEARCH));

    // A newer time is read.
    written.dwLowDateTime += 10000000;
    if (written.dwLowDateTime < 10000000) ++written.dwHighDateTime;
    file = CreateFileA(d.settings.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    SetFileTime(file, NULL, NULL, &written);
    CloseHandle(file);
    policy.now += 60000;
    EXPECT_TRUE(policy.IsOutput(TARNLOG_RESEARCH));
}

TEST(TarnLogOutputPolicy, OnePolicyPerLowerCasedFileName) {
    COutputPolicy* a = logging::GetOutputPolicy("C:\\one\\PolicyTableCase.LOG");
    COutputPolicy* b = logging::GetOutputPolicy("D:\\two\\policytablecase.log");
    COutputPolicy* c = logging::GetOutputPolicy("C:\\one\\PolicyTableOther.log");
    ASSERT_NE(nullptr, a);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    EXPECT_EQ(nullptr, logging::GetOutputPolicy(""));
    EXPECT_EQ(nullptr, logging::GetOutputPolicy(nullptr));
}
