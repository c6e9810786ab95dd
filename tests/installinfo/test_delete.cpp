// Folder deletion on the real file system: read-only files, double-byte names, links, folders no deletion may touch
// (a held file: tests/e2e). The single-instance guard between real processes (the probe takes it).
#include <gtest/gtest.h>
#include <string>
#include "LIB/Util/PellionUtil.h"
#include "MultiStartupMgr.h"
#include "TestUtil.h"

using testutil::Exists;

namespace {

// root\表.txt (read-only), root\ソ\能.dll, root\ソ\深\b.txt, root\other\c.txt
void MakeTree(const std::string& root) {
    for (const char* d : {"", "\\ソ", "\\ソ\\深", "\\other"}) CreateDirectoryA((root + d).c_str(), nullptr);
    for (const char* f : {"\\表.txt", "\\ソ\\能.dll", "\\ソ\\深\\b.txt", "\\other\\c.txt"})
        testutil::WriteBytes(root + f, "x");
    SetFileAttributesA((root + "\\表.txt").c_str(), FILE_ATTRIBUTE_READONLY);
}

// Whether the delete-at-restart list names anything under dir.
bool Pending(const std::string& dir) {
    std::string list(65536, '\0');
    DWORD size = static_cast<DWORD>(list.size() - 2);
    RegGetValueA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                 "PendingFileRenameOperations", RRF_RT_REG_MULTI_SZ, nullptr, &list[0], &size);
    return list.find(dir) != std::string::npos;
}

const std::string kPrefix = "__ZEV_SIMPLE_SYNCOBJECT_NAME__";

// An instance that takes the guard, signals ready and holds it until quit.
struct Instance {
    testutil::Event ready{"ready"}, quit{"quit"};
    testutil::Child child;
    explicit Instance(const std::string& exe, bool suspended = false)
        : child(testutil::CommandLine(exe, {"info", "mutex", ready.name(), quit.name()}), suspended) {}
    bool Holds() {
        HANDLE h[] = {ready.get(), child.pi_.hProcess};
        return WaitForMultipleObjects(2, h, FALSE, 30000) == WAIT_OBJECT_0;
    }
    DWORD Quit() { return SetEvent(quit.get()) ? child.Wait(30000) : 1; }
};

// WAIT_TIMEOUT (258) while another process holds the mutex of that name.
DWORD TryName(const std::string& name) { return CSimpleMutex(name.c_str(), TRUE, 0, nullptr).GetStatus(); }

}  // namespace

TEST(DeleteTree, KeepsTheFolderOrDeletesItAtOnce) {
    testutil::TempDir dir("tree");
    const std::string root = dir / "表ソ能";
    MakeTree(root);
    EXPECT_NE(0, DeleteTree((root + "\\").c_str(), TRUE));
    EXPECT_TRUE(Exists(root) && !Exists(root + "\\表.txt") && !Exists(root + "\\ソ"));
    MakeTree(root);
    bool restart = true;
    EXPECT_TRUE(DeleteFolder(root.c_str(), &restart));
    EXPECT_FALSE(restart || Exists(root) || Pending(root));
    EXPECT_EQ(0, DeleteTree(root.c_str(), FALSE));      // nothing to search
    EXPECT_TRUE(DeleteFolder(root.c_str(), &restart));  // already gone is done
}

TEST(DeleteTree, LinksAreNeverEntered) {
    testutil::TempDir dir("link");
    const std::string outside = dir / "outside", root = dir / "tree", keep = outside + "\\keep.txt";
    for (const std::string& d : {outside, root}) CreateDirectoryA(d.c_str(), nullptr);
    for (const std::string& f : {keep, root + "\\a.txt"}) testutil::WriteBytes(f, "x");
    ASSERT_TRUE(testutil::MakeLink(root + "\\link", outside));
    ASSERT_TRUE(testutil::MakeLink(dir / "toplink", outside));
    EXPECT_EQ(0, DeleteTree((root + "\\link").c_str(), TRUE));  // a link's contents are not ours
    bool restart = false;
    DeleteFolder((dir / "toplink").c_str(), &restart);
    EXPECT_FALSE(restart);
    testutil::LogCapture log;
    const bool result = DeleteFolder(root.c_str(), &restart);
    EXPECT_TRUE(Exists(keep));
    EXPECT_FALSE(Pending(outside));
    EXPECT_FALSE(Exists(root + "\\a.txt"));
    // Wine cannot remove a link to a folder that is not empty (its RemoveDirectoryA acts on the target): a failure with
    // its own line.
    EXPECT_EQ(Exists(root + "\\link"), !result);
    EXPECT_EQ(Exists(root + "\\link"), log.Has("リパースポイントの削除に失敗しました [" + root + "\\link]"));
    EXPECT_FALSE(log.Has("削除予約に失敗しました [" + root + "\\link]"));
    testutil::RemoveLink(root + "\\link");
    testutil::RemoveLink(dir / "toplink");
}

TEST(ProtectedFolders, Paths) {
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, MAX_PATH);
    const std::string win = windows;
    const bool win64 = testutil::IsWow64Process();
    const struct { std::string path; bool refused; } rows[] = {
        {win + "\\x", true}, {win + "Agent", false},  // the separator: inside, and only beside
        {"", true}, {"C:", true}, {"C:\\", true}, {"c:\\\\", true}, {"D:\\", true}, {"C:\\.", true}, {"C:foo", true},
        {"C:\\bench-tmp\\..", true}, {win, true}, {win + "\\", true}, {win + "\\.", true}, {win + "\\System32", true},
        {"C:\\Program Files", true}, {"c:\\program files\\", true}, {"C:\\Program Files (x86)", win64},
        {"C:\\Program Files\\Corvane", false}, {"C:\\Program Files\\ソ\\", false}, {"\\\\server\\share", true},
        {"\\\\server\\share\\", true}, {"\\\\server\\share\\agent", false}, {"relative\\path", true},
        {"..\\x", true}, {"\\bench-tmp\\x", true}, {"C:/bench-tmp/x", true}, {"\\\\?\\C:\\bench-tmp\\x", true},
        {"C:\\bench-tmp\\x", false},
    };
    for (const auto& r : rows) EXPECT_EQ(r.refused, IsProtectedFolder(r.path.c_str())) << r.path;
    EXPECT_TRUE(IsProtectedFolder(nullptr));
}

TEST(ProtectedFolders, DeletionsRefuse) {
    testutil::LogCapture log;
    for (const std::string device : {"\\\\?\\", "\\\\.\\"}) {
        EXPECT_FALSE(DeleteFolder((device + "C:\\bench-tmp\\x").c_str(), nullptr));
        EXPECT_TRUE(log.Has("デバイスパスは扱えません。フォルダの削除が出来ません [" + device + "C:\\bench-tmp\\x]"));
    }
    EXPECT_FALSE(log.Has("削除できないフォルダです。"));  // they are no protected folders
    EXPECT_FALSE(DeleteFolder("relative", nullptr));
    EXPECT_TRUE(log.Has("削除できないフォルダです。フォルダの削除が出来ません [relative]"));
}

// Run from "info_ビ.exe": the byte walk upper-cases ビ's trail byte 'r' (83 72), making コ (83 52) in every instance.
TEST(SingleInstance, TwoAtOnceExactlyOneHolds) {
    testutil::TempDir dir("upper");
    const std::string exe = dir / "info_ビ.exe", name = "Global\\" + kPrefix + "INFO_コ.EXE";
    ASSERT_TRUE(testutil::Copy(testutil::ProbeExe(), exe));
    Instance a(exe, true), b(exe, true);
    for (Instance* i : {&a, &b}) ResumeThread(i->child.pi_.hThread);
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
