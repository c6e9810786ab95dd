// Privilege, the security walk and types, a service's stop, shortcut removal; their use on the agent: tests/e2e.
#include "TestUtil.h"  // windows.h first
#include <gtest/gtest.h>
#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>
#include <algorithm>
#include <set>
#include "INC/Owner.h"
#include "Ins/InsCmn/CtrlPrivilege.h"
#include "Ins/InsCmn/Sequre.h"
#include "Ins/InsCmn/SetSequreType.h"
#include "Util/ServiceControl.h"
#include "Util/ShortcutUtil.h"

using namespace testutil;

namespace {

using Strings = std::vector<std::string>;

// "SID:MASK:FLAGS" per entry, sorted: where a grant lands in a list is the platform's choice.
std::string AclText(PACL acl) {
    std::set<std::string> entries;
    ACCESS_ALLOWED_ACE* ace = nullptr;
    char *sid = nullptr, entry[128];
    for (DWORD i = 0; acl && i < acl->AceCount && GetAce(acl, i, reinterpret_cast<void**>(&ace)); ++i, LocalFree(sid)) {
        ConvertSidToStringSidA(&ace->SidStart, &sid);
        entries.insert((wsprintfA(entry, "%s:%lX:%u", sid, ace->Mask, ace->Header.AceFlags), entry));
    }
    std::string text;
    for (const std::string& e : entries) text += (text.empty() ? "" : " ") + e;
    return text;
}

// Wine stores no owner or list: the walk's seam records "owner PATH" and "dacl PATH LIST"; failPath's owner fails (5).
struct Recorder : CSecurityCalls {
    Strings calls;
    std::string failPath;
    CSecurityCalls* old = CSecurityCalls::Replace(this);
    ~Recorder() override { CSecurityCalls::Replace(old); }
    DWORD Set(const CWalkEntry& e, SECURITY_INFORMATION what, PSID, PACL acl) override {
        if (failPath == e.Text() && (what & OWNER_SECURITY_INFORMATION)) return ERROR_ACCESS_DENIED;
        if (what & OWNER_SECURITY_INFORMATION) calls.push_back("owner " + e.Text());
        if (what & DACL_SECURITY_INFORMATION) calls.push_back("dacl " + e.Text() + " " + AclText(acl));
        return ERROR_SUCCESS;
    }
};

TEST(SecurityWalk, OwnerThenListFolderLastNeverPastALink) {
    TempDir dir("ops-walk");  // root: files (ソ表: second bytes 0x5C), .dot, links to outside
    const std::string r = dir / "root", outside = dir / "outside";
    for (const char* d : {"", "\\ソ表", "\\sub", "\\sub\\deep", "\\.dot"}) CreateDirectoryA((r + d).c_str(), nullptr);
    for (const char* f : {"\\a.txt", "\\ソ表\\e.txt", "\\sub\\deep\\c.txt", "\\.dot\\d.txt"}) WriteBytes(r + f, "");
    CreateDirectoryA(outside.c_str(), nullptr);
    ASSERT_TRUE(MakeLink(r + "\\link", outside) && MakeLink(r + "\\sub\\deeplink", outside));
    Recorder rec;
    LogCapture log;
    const BOOL done = ApplySecurityTree(r.c_str(), nullptr);  // no list: the final ones show as ""
    const BOOL fromLink = ApplySecurityTree((r + "\\link").c_str(), nullptr);  // a link as the start: no call
    for (const char* link : {"\\link", "\\sub\\deeplink"}) RemoveLink(r + link);
    EXPECT_TRUE(done && fromLink);
    const Strings& c = rec.calls;
    ASSERT_GE(c.size(), 4u);  // the folder: its owner, open to everyone while walked, ..., owner and list again
    EXPECT_EQ((Strings{"owner " + r, "dacl " + r + " S-1-1-0:1F01FF:3"}), Strings(c.begin(), c.begin() + 2));
    EXPECT_EQ((Strings{"owner " + r, "dacl " + r + " "}), Strings(c.end() - 2, c.end()));
    for (const char* f : {"\\a.txt", "\\ソ表\\e.txt", "\\sub\\deep\\c.txt"}) {  // a file: its owner, at once its list
        auto owner = std::find(c.begin(), c.end(), "owner " + r + f);
        EXPECT_EQ("dacl " + r + f + " ", owner == c.end() ? "(no owner call)" : owner[1]);
    }
    for (const std::string& call : c)
        for (const char* never : {"link", ".dot"}) EXPECT_EQ(std::string::npos, call.find(never)) << call;
    EXPECT_TRUE(log.Has("リパースポイントなので処理しません。[" + r + "\\link]"));
}

// From Windows 8 on, three types add "ALL APPLICATION PACKAGES": Windows resolves the name, Wine refuses it
// with 87, which fails the type with that entry's code. Type9 is unknown: logged, everyone gets full control.
TEST(SecurityTypes, CodesListsAndPrivilege) {
    OSVERSIONINFOA v = {sizeof(v)};  // the platform's answers, not the code's: Windows 8 on, the packages by name
    const bool packages = GetVersionExA(&v) && v.dwMajorVersion * 100 + v.dwMinorVersion >= 602;
    EXPLICIT_ACCESS_A e = {0x1F01FF, SET_ACCESS, 3, {nullptr, NO_MULTIPLE_TRUSTEE, TRUSTEE_IS_NAME, TRUSTEE_IS_UNKNOWN}};
    e.Trustee.ptstrName = const_cast<char*>("ALL APPLICATION PACKAGES");
    CAclHolder probe;
    const bool refused = packages && SetEntriesInAclA(1, &e, nullptr, probe.out()) != ERROR_SUCCESS;
    // list: on f.txt, where the type adds no package entry; failing: the file whose owner stays
    const struct { const char *type, *refusedCode, *list, *failing; bool privilegeBefore; } rows[] = {
        {"Type3", "000", nullptr, "f.txt", false}, {"Type3", "000", nullptr, "x.TMP", true},
        {"Type1", "049", "S-1-1-0:1F01FF:3", "", false}, {"Type9", "000", "S-1-1-0:1F01FF:3", "", false},
        {"tYPE2", "051", "S-1-1-0:1200A9:3 S-1-5-18:1F01FF:3", "", false}, {"Type5", "057", nullptr, "", false}};
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.type) + " " + r.failing + (r.privilegeBefore ? " privilege on" : ""));
        TempDir dir("ops-types");
        for (const char* f : {"f.txt", "x.TMP"}) WriteBytes(dir / f, "");
        ASSERT_EQ(0u, SetTakeOwnership(r.privilegeBefore ? 1 : -5));
        Recorder rec;
        rec.failPath = dir / r.failing;
        LogCapture log;
        std::string code = "000";
        const bool walkFails = r.failing == std::string("f.txt");  // a .tmp file whose owner stays is skipped
        const std::string want = walkFails ? "059" : refused ? r.refusedCode : "000";
        EXPECT_EQ(want == "000" ? 0 : -1, CmdSequre(dir.path_.c_str(), r.type, code));
        EXPECT_EQ(want, code);
        EXPECT_EQ(std::string(r.type) == "Type9", log.Has("CmdSequre [Act="));
        EXPECT_EQ(want != "000" && !walkFails, log.Has("(ALL APPLICATION PACKAGES)アクセス権設定失敗(87)" + dir.path_));
        const bool listed = r.list && (!packages || r.refusedCode == std::string("000"));
        EXPECT_TRUE(!listed || std::count(rec.calls.begin(), rec.calls.end(), "dacl " + dir / "f.txt " + r.list));
        BOOL on = FALSE;  // on for the walk (left on when it failed), else as it was
        EXPECT_EQ(0u, IsTakeOwnershipEnabled(&on));
        EXPECT_EQ(r.privilegeBefore || walkFails, !!on);
    }
}

TEST(SecurityTypes, ProtectedAndMissingFoldersAreNotTouched) {
    const struct { std::string path, log; } rows[] = {{"C:\\bench-tmp\\ops-none", "権限設定無視(2)"},  // no log: protected
        {"C:\\bench-tmp\\ops-none\\deeper", "権限設定無視(3)"}, {"C:\\"}, {"C:\\windows"}};
    for (const auto& r : rows) {
        Recorder rec;
        LogCapture log;
        std::string code = "000";
        EXPECT_EQ(r.log.empty() ? -1 : 0, CmdSequre(r.path.c_str(), "Type1", code)) << r.path;
        EXPECT_TRUE(code == "000" && rec.calls.empty()) << r.path;
        EXPECT_TRUE(log.Has(r.log.empty() ? "保護されたフォルダなので権限設定しません。[" + r.path + "]" : r.log));
    }
}

struct TestService {  // a service of its own name, started if asked, ended and deleted at the end
    std::string name = UniqueName("OpsSvc");
    TestService(const char* mode, bool start) {
        EXPECT_EQ(0u, InstallService(name, "\"" + TestServiceExe() + "\" " + mode, start)) << mode;
    }
    ~TestService() { RemoveService(name); }
};

TEST(ServiceStop, Modes) {
    const struct { const char* mode; bool start, pendingBefore; DWORD limitMs, status, minMs, maxMs, after; } rows[] = {
        {"prompt", false, false, 1000, 0, 0, 250, SERVICE_STOPPED},  // already stopped: no request, no poll
        {"prompt", true, false, INFINITE, 0, 0, 5000, SERVICE_STOPPED},  // the program asks for no limit
        {"hang", true, false, INFINITE, WAIT_TIMEOUT, 1450, 5000, SERVICE_STOP_PENDING},  // the bound given below
        {"hang", true, true, 1000, WAIT_TIMEOUT, 900, 5000, SERVICE_STOP_PENDING},  // a second request: refused
        {"exitpending", true, false, 20000, 0, 0, 15000, SERVICE_STOP_PENDING},  // only the process check sees it
        {"bounce", true, false, 20000, static_cast<DWORD>(CO_E_SERVER_STOPPING), 0, 15000, SERVICE_RUNNING},
        {"refuse", true, false, 1000, ERROR_INVALID_SERVICE_CONTROL, 0, 5000, SERVICE_RUNNING}};
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.mode) + " " + std::to_string(r.limitMs) + (r.pendingBefore ? " pending" : ""));
        TestService s(r.mode, r.start);
        CScHandle scm(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        CScHandle svc(OpenServiceA(scm.get(), s.name.c_str(), SERVICE_ALL_ACCESS));
        SERVICE_STATUS status = {};
        ASSERT_TRUE(!r.pendingBefore || (ControlService(svc.get(), SERVICE_CONTROL_STOP, &status) &&
                                         WaitForServiceState(s.name, SERVICE_STOP_PENDING)));
        const DWORD start = GetTickCount();
        EXPECT_EQ(r.status, StopServiceAndWaitBounded(s.name.c_str(), r.limitMs, 1500));
        const DWORD elapsed = GetTickCount() - start;
        EXPECT_TRUE(elapsed >= r.minMs && elapsed < r.maxMs) << elapsed;
        EXPECT_EQ(r.after, ServiceState(s.name));
    }
}

// The manager's answer comes back: a service marked for deletion while its process runs cannot be deleted again.
TEST(ServiceDelete, TheManagersAnswer) {
    TestService s("prompt", true);
    EXPECT_EQ(0u, DeleteServiceByName(s.name.c_str(), nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE), DeleteServiceByName(s.name.c_str(), nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST), DeleteServiceByName("OpsSvc-none", nullptr));
}

TEST(Shortcut, Removal) {
    const struct { int selector, folder; const char* name; bool readOnly, held; } rows[] = {  // name nullptr: none
        {0, CSIDL_COMMON_DESKTOPDIRECTORY, "ソフト表示機能", false, false},  // second bytes 0x5C
        {1, CSIDL_DESKTOPDIRECTORY, "ソフト表示機能", true, false},
        {1, CSIDL_DESKTOPDIRECTORY, nullptr, false, false}, {1, CSIDL_DESKTOPDIRECTORY, "held", false, true}};
    for (const auto& r : rows) {
        char desktop[520], expected[MAX_PATH] = "";
        ASSERT_EQ(S_OK, GetDesktopFolder(desktop, r.selector));
        SHGetFolderPathA(nullptr, r.folder, nullptr, 0, expected);
        EXPECT_STREQ(expected, desktop);
        const std::string path = std::string(desktop) + "\\" + UniqueName(r.name ? r.name : "none") + ".lnk";
        SCOPED_TRACE(path);
        ASSERT_TRUE(!r.name || MakeShortcut(path, "C:\\windows\\notepad.exe") == 0);
        SetFileAttributesA(path.c_str(), r.readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
        CFileHandle held(CreateFileA(r.held ? path.c_str() : "", GENERIC_READ | DELETE, 0, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_DELETE_ON_CLOSE, nullptr));  // "" opens nothing
        LogCapture log;
        RemoveShortcut(path.c_str());  // TRUE whatever happened: what is left and what is logged tell
        EXPECT_EQ(r.held, Exists(path));
        // Wine writes (and drops) the list of a held file, so its deletion fails; Windows may refuse the list.
        EXPECT_EQ(r.held, log.Has("ショートカット削除失敗[32]") || log.Has("ショートカットのフルコントロールアクセス権限付与失敗"));
    }
}

}  // namespace
