// The single-instance guard: object names, and the exclusion between real
// processes (the probe program takes the guard).
#include <gtest/gtest.h>
#include <string>
#include "TestUtil.h"
#include "MultiStartupMgr.h"

namespace {

const std::string kPrefix = "__ZEV_SIMPLE_SYNCOBJECT_NAME__";
const std::string kHelperMutex = "Global\\" + kPrefix + "PROBE.EXE";

std::string NameOf(const char* name, BOOL global) {
    CSimpleSyncObject o(name, global);
    EXPECT_EQ(0u, o.GetStatus());
    return o.GetName() ? o.GetName() : "<null>";
}

OSVersionFacts NT(DWORD major) {
    OSVersionFacts f;
    f.queryOk = true;
    f.platformId = VER_PLATFORM_WIN32_NT;
    f.major = major;
    f.exOk = true;
    f.productType = VER_NT_WORKSTATION;
    return f;
}

// A helper instance that takes the guard; its own ready and quit events.
class Instance {
public:
    explicit Instance(const std::string& exe = testutil::ProbeExe(), bool suspended = false)
        : ready_("ready"), quit_("quit"),
          child_("\"" + exe + "\" info mutex " + ready_.name() + " " + quit_.name(), suspended) {}
    testutil::Child& child() { return child_; }
    bool Holds(DWORD ms = 30000) {
        HANDLE h[] = {ready_.get(), child_.process()};
        return WaitForMultipleObjects(2, h, FALSE, ms) == WAIT_OBJECT_0;
    }
    DWORD Quit() {
        SetEvent(quit_.get());
        return child_.Wait(30000);
    }

private:
    testutil::Event ready_, quit_;
    testutil::Child child_;
};

// 258 when another process holds the mutex of that name.
DWORD TryName(const std::string& name) { return CSimpleMutex(name.c_str(), TRUE, 0, nullptr).GetStatus(); }

}  // namespace

TEST(SyncObjectName, DefaultIsTheUpperCasedProgramName) {
    EXPECT_EQ("Global\\" + kPrefix + "INSTALLINFO_TESTS.EXE", NameOf(nullptr, TRUE));
    EXPECT_EQ("Local\\" + kPrefix + "INSTALLINFO_TESTS.EXE", NameOf(nullptr, FALSE));
    EXPECT_EQ("Global\\" + kPrefix + "INSTALLINFO_TESTS.EXE", NameOf("", TRUE));
}

TEST(SyncObjectName, GivenPrefixIsReplacedBySwitch) {
    EXPECT_EQ("Local\\abc", NameOf("Global\\abc", FALSE));
    EXPECT_EQ("Global\\Abc", NameOf("local\\Abc", TRUE));
    EXPECT_EQ("Global\\x", NameOf("GLOBAL\\x", TRUE));
    EXPECT_EQ("Global\\plain", NameOf("plain", TRUE));
    EXPECT_EQ("Global\\" + kPrefix + "INSTALLINFO_TESTS.EXE", NameOf("Global\\", TRUE));
    EXPECT_EQ("Local\\" + kPrefix + "INSTALLINFO_TESTS.EXE", NameOf("Local\\", FALSE));
}

TEST(SyncObjectName, NoNamespacesBeforeWindows2000) {
    CSimpleSyncObject nt4(nullptr, TRUE, COSVersion(NT(4), FALSE));
    EXPECT_EQ(0u, nt4.GetStatus());
    EXPECT_STREQ((kPrefix + "INSTALLINFO_TESTS.EXE").c_str(), nt4.GetName());
    CSimpleSyncObject w2k("Local\\n", TRUE, COSVersion(NT(5), FALSE));
    EXPECT_STREQ("Global\\n", w2k.GetName());
}

TEST(SyncObjectName, UnclassifiedSystemGetsNoNameAndNoMutex) {
    const COSVersion unknown(OSVersionFacts(), FALSE);
    CSimpleSyncObject o("x", TRUE, unknown);
    EXPECT_EQ(0x800401FAu, o.GetStatus());
    EXPECT_EQ(nullptr, o.GetName());
    CSimpleMutex m("x", TRUE, 0, nullptr, unknown);
    EXPECT_EQ(0x800401FAu, m.GetStatus());
    EXPECT_FALSE(m.IsHeld());
}

TEST(SingleInstance, TwoAtOnceExactlyOneHolds) {
    Instance a(testutil::ProbeExe(), true);
    Instance b(testutil::ProbeExe(), true);
    ASSERT_TRUE(a.child().started() && b.child().started());
    a.child().Resume();
    b.child().Resume();
    const bool aHolds = a.Holds(), bHolds = b.Holds();
    EXPECT_NE(aHolds, bHolds);
    Instance& loser = aHolds ? b : a;
    Instance& winner = aHolds ? a : b;
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), loser.child().Wait(30000));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), TryName(kHelperMutex));  // the helper's own name
    EXPECT_EQ(0u, winner.Quit());
    EXPECT_EQ(0u, TryName(kHelperMutex));  // released at a normal end
}

TEST(SingleInstance, KilledInstanceLeavesAnAbandonedMutexTheNextTakes) {
    Instance first;
    ASSERT_TRUE(first.Holds());
    first.child().Kill();
    Instance next;
    EXPECT_TRUE(next.Holds());
    EXPECT_EQ(0u, next.Quit());
}

TEST(SingleInstance, NameIsUpperCasedByteByByte) {
    // ビ is 83 72: its trail byte is an ASCII 'r', so the byte walk makes it
    // 83 52 (コ). Every instance does the same, so the name still matches.
    testutil::TempDir dir("upper");
    const std::string exe = dir / "info_ビ.exe";
    ASSERT_TRUE(CopyFileA(testutil::ProbeExe().c_str(), exe.c_str(), FALSE));
    Instance holder(exe);
    ASSERT_TRUE(holder.Holds());
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), TryName("Global\\" + kPrefix + "INFO_コ.EXE"));
    EXPECT_EQ(0u, TryName("Global\\" + kPrefix + "INFO_ビ.EXE"));
    EXPECT_EQ(0u, holder.Quit());
}
