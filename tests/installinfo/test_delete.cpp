// Folder walks and protected folders on the real file system; the single-instance guard between real processes.
#include <gtest/gtest.h>
#include <string>
#include "INC/FolderWalk.h"
#include "Ins/InsCmn/Sequre.h"
#include "Ins/InsCmn/SetSequreType.h"
#include "LIB/Util/PellionUtil.h"
#include "MultiStartupMgr.h"
#include "INC/WideText.h"
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

// Wine's listing never breaks and nothing swaps a folder at the right moment on its own: the walk's listing hands out
// one entry per batch, may fail after a number of them, and may swap an entry for a link once it is listed.
struct Listing : CWalkCalls {
    int batches = 0, breakAfter = 1 << 30;
    std::string swap, decoy;  // the folder (ASCII: /bin/ln's name) swapped for a link to decoy once listed
    CWalkCalls* old = CWalkCalls::Replace(this);
    ~Listing() override { CWalkCalls::Replace(old); }
    BOOL List(HANDLE folder, bool restart, void* buffer, DWORD) override {
        if (++batches > breakAfter) return SetLastError(ERROR_NETNAME_DELETED), FALSE;
        return CWalkCalls::List(folder, restart, buffer, sizeof(FILE_ID_BOTH_DIR_INFO) + 2 * MAX_PATH);
    }
    void Listed(const std::wstring& folder, const std::wstring& name) override {
        std::string f, n;
        Narrow(folder.c_str(), f), Narrow(name.c_str(), n);
        if (swap.empty() || f.substr(4) + "\\" + n != swap) return;  // the path has its "\\?\" form
        testutil::RemoveTree(swap);
        testutil::MakeLink(swap, decoy);
        swap.clear();  // once: a second listing finds the link
    }
};

// Wine stores no owner or list: the entries whose owner the walk would change are collected instead.
struct Owners : CSecurityCalls {
    std::string changed;
    CSecurityCalls* old = CSecurityCalls::Replace(this);
    ~Owners() override { CSecurityCalls::Replace(old); }
    DWORD Set(const CWalkEntry& e, SECURITY_INFORMATION, PSID, PACL) override {
        return changed += e.Text() + "\n", ERROR_SUCCESS;
    }
};

// Both walks, the access lists' and the deletion's, act only on what they opened: a root that is a link, or a folder
// swapped for a link after it was listed, leads nowhere outside; a listing that breaks part way fails the walk.
TEST(Walk, ActsOnlyOnWhatItOpened) {
    enum { kSwap, kBreak, kRootLink };
    const struct { const char* name; bool secure; int fault; } rows[] = {
        {"swapped, access lists", true, kSwap}, {"swapped, deletion", false, kSwap},
        {"listing breaks, access lists", true, kBreak}, {"listing breaks, deletion", false, kBreak},
        {"root a link, access lists", true, kRootLink}, {"root a link, deletion", false, kRootLink}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        testutil::TempDir dir("walk");
        const std::string root = dir / "root", decoy = dir / "decoy";
        CreateDirectoryA(decoy.c_str(), nullptr);
        for (int i = 0; i < 5; ++i) testutil::WriteBytes(decoy + "\\keep" + std::to_string(i) + ".txt", "x");
        if (r.fault != kRootLink) MakeTree(root);
        ASSERT_TRUE(r.fault != kRootLink || testutil::MakeLink(root, decoy));
        testutil::LogCapture log;
        bool ok, restart = false;
        Owners owners;
        {
            Listing listing;
            if (r.fault == kBreak) listing.breakAfter = 3;
            if (r.fault == kSwap) listing.swap = root + "\\other", listing.decoy = decoy;
            std::string code = "000";
            ok = r.secure ? CmdSequre(root.c_str(), "Type1", code) == 0 : DeleteFolder(root.c_str(), &restart);
        }
        for (int i = 0; i < 5; ++i) EXPECT_TRUE(Exists(decoy + "\\keep" + std::to_string(i) + ".txt")) << i;
        EXPECT_EQ(std::string::npos, owners.changed.find("decoy")) << owners.changed;
        EXPECT_FALSE(Pending(decoy) || (r.fault == kRootLink && restart));
        if (r.fault == kBreak) {
            EXPECT_FALSE(ok);
            EXPECT_TRUE(log.Has("フォルダの一覧に失敗しました [" + root) && log.Has("] [64]")) << log.Text();
        } else if (r.fault == kSwap && r.secure) {
            EXPECT_TRUE(ok);
            EXPECT_TRUE(log.Has("リパースポイントなので処理しません。[" + root + "\\other]")) << log.Text();
        }
        if (r.fault != kBreak) testutil::RemoveLink(r.fault == kSwap ? root + "\\other" : root);
    }
}

// Every entry is reached however deep; the ANSI calls stop at MAX_PATH, so the test builds the tree with wide ones.
TEST(Walk, TreesPastMaxPath) {
    testutil::TempDir dir("deep");
    ASSERT_TRUE(testutil::MakeDeepTree(dir / "root"));
    std::string code = "000";
    EXPECT_EQ(0, CmdSequre((dir / "root").c_str(), "Type1", code));
    bool restart = true;
    EXPECT_TRUE(DeleteFolder((dir / "root").c_str(), &restart));
    EXPECT_FALSE(restart || Exists(dir / "root"));
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
    // Judged by what the path finally names: through a linked parent, a short name (Wine hashes them: ask for it).
    testutil::TempDir dir("protected");
    ASSERT_TRUE(testutil::MakeLink(dir / "winlink", win));
    char shortName[MAX_PATH] = "";
    ASSERT_NE(0u, GetShortPathNameA("C:\\Program Files", shortName, MAX_PATH));
    EXPECT_TRUE(IsProtectedFolder((dir / "winlink\\temp").c_str()));
    EXPECT_TRUE(IsProtectedFolder(shortName)) << shortName;
    testutil::RemoveLink(dir / "winlink");
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
