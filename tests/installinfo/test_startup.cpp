// The single-instance guard between real processes (the probe takes it).
#include <gtest/gtest.h>
#include <string>
#include "MultiStartupMgr.h"
#include "TestUtil.h"

namespace {

const std::string kPrefix = "__ZEV_SIMPLE_SYNCOBJECT_NAME__";

// An instance that takes the guard, signals ready and holds it until quit.
struct Instance {
    testutil::Event ready{"ready"}, quit{"quit"};
    testutil::Child child;
    explicit Instance(const std::string& exe, bool suspended = false)
        : child(testutil::CommandLine(exe, {"info", "mutex", ready.name(), quit.name()}), suspended) {}
    bool Holds() {
        HANDLE h[] = {ready.get(), child.process()};
        return WaitForMultipleObjects(2, h, FALSE, 30000) == WAIT_OBJECT_0;
    }
    DWORD Quit() { return SetEvent(quit.get()) ? child.Wait(30000) : 1; }
};

// WAIT_TIMEOUT (258) while another process holds the mutex of that name.
DWORD TryName(const std::string& name) { return CSimpleMutex(name.c_str(), TRUE, 0, nullptr).GetStatus(); }

}  // namespace

// Run from "info_ビ.exe": ビ is 83 72, and the byte walk upper-cases its trail
// byte 'r' (making コ, 83 52), the same in every instance.
TEST(SingleInstance, TwoAtOnceExactlyOneHolds) {
    testutil::TempDir dir("upper");
    const std::string exe = dir / "info_ビ.exe", name = "Global\\" + kPrefix + "INFO_コ.EXE";
    ASSERT_TRUE(testutil::Copy(testutil::ProbeExe(), exe));
    Instance a(exe, true), b(exe, true);
    for (Instance* i : {&a, &b}) i->child.Resume();
    const bool aHolds = a.Holds(), bHolds = b.Holds();
    ASSERT_NE(aHolds, bHolds);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), (aHolds ? b : a).child.Wait(30000));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), TryName(name));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), TryName("Local\\" + name.substr(7)));  // the switch decides
    EXPECT_EQ(0u, TryName("Global\\" + kPrefix + "INFO_ビ.EXE"));
    EXPECT_EQ(0u, (aHolds ? a : b).Quit());
    EXPECT_EQ(0u, TryName(name));  // released at a normal end
}

// A handle of this process keeps the mutex alive, so the killed holder leaves it abandoned.
TEST(SingleInstance, KilledHoldersMutexIsTakenByTheNext) {
    Instance first(testutil::ProbeExe());
    ASSERT_TRUE(first.Holds());
    HANDLE kept = OpenMutexA(SYNCHRONIZE, FALSE, ("Global\\" + kPrefix + "PROBE.EXE").c_str());
    first.child.Kill();
    Instance next(testutil::ProbeExe());
    EXPECT_TRUE(kept && next.Holds());
    EXPECT_EQ(0u, next.Quit());
    CloseHandle(kept);
}
