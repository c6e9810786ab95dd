// Times a whole uninstall (security walk, service stop and deletion, folder, shortcuts, key) of an
// install folder of 10,000 files in 500 folders against a bare program making the same Win32 calls
// by name for an identical tree with no logging, checks or recorded lists, built in the same run;
// "rd /s /q" for reference. Then the shipped program run with /quiet, from its start to its exit, against
// the same bare calls. Each figure is the median of paired rounds.
#include <windows.h>
#include <aclapi.h>
#include <shlobj.h>

#include <algorithm>
#include <vector>

#include "BenchUtil.h"
#include "Thread/UninstallWorkerThread.h"
#include "Util/KDXGlobal.h"

namespace {

const REGSAM kView = testutil::IsWow64Process() ? KEY_WOW64_64KEY : 0;

std::string Desktop() {
    char path[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, CSIDL_COMMON_DESKTOPDIRECTORY, nullptr, 0, path);
    return path;
}

// The agent around the tree: key, running service, shortcuts.
void Install(const std::string& root) {
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane", 0, nullptr, 0, KEY_SET_VALUE | kView, nullptr, &key, nullptr);
    RegSetValueExA(key, "InstallPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(root.c_str()), root.size() + 1);
    RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>("1.0"), 4);  // older than the program
    RegCloseKey(key);
    testutil::InstallService("Corvane", "\"" + testutil::OwnFolder() + "..\\tests\\ops\\ops_testsvc.exe\" prompt", true);
    for (const char* name : {"\\インベントリ情報アップロード.lnk", "\\リモート操作クライアント.lnk"})
        testutil::MakeShortcut(Desktop() + name, "C:\\windows\\notepad.exe");
}

struct Bare {
    PSID admins = nullptr, everyone = nullptr;
    PACL acl = nullptr;
    Bare() {
        SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY, world = SECURITY_WORLD_SID_AUTHORITY;
        AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &admins);
        AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
        EXPLICIT_ACCESSA ea = {GENERIC_ALL, SET_ACCESS, SUB_CONTAINERS_AND_OBJECTS_INHERIT,
                               {nullptr, NO_MULTIPLE_TRUSTEE, TRUSTEE_IS_SID, TRUSTEE_IS_WELL_KNOWN_GROUP,
                                static_cast<LPSTR>(everyone)}};
        SetEntriesInAclA(1, &ea, nullptr, &acl);
    }
    void Secure(const std::string& path) {
        SetNamedSecurityInfoA(const_cast<char*>(path.c_str()), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, admins,
                              nullptr, nullptr, nullptr);
        SECURITY_DESCRIPTOR sd;
        InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
        SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE);
        SetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, &sd);
    }
    void Uninstall(const std::string& root) {
        bench::Walk(root, false, [this](const std::string& path) { Secure(path); });  // owner and list per entry
        SC_HANDLE scm = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
        SC_HANDLE svc = OpenServiceA(scm, "Corvane", SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE);
        SERVICE_STATUS s;
        ControlService(svc, SERVICE_CONTROL_STOP, &s);
        while (QueryServiceStatus(svc, &s) && s.dwCurrentState != SERVICE_STOPPED) Sleep(10);
        DeleteService(svc);
        CloseServiceHandle(svc);
        CloseServiceHandle(scm);
        bench::Walk(root, true, [](const std::string&) {});
        for (const char* name : {"\\インベントリ情報アップロード.lnk", "\\リモート操作クライアント.lnk"})
            DeleteFileA((Desktop() + name).c_str());
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane", kView, 0);
    }
};

// The shipped program with /quiet, from its start to its exit, against the bare calls, each on a tree of
// its own. Its log goes beside its copy in base.
void ReportQuietRun(const testutil::TempDir& base) {
    const std::string exe = base / "AgentUninstaller_Win.exe", quiet = base / "quiet", bare = base / "bare";
    testutil::Copy(testutil::OwnFolder() + "..\\AgentUninstaller_Win.exe", exe);
    DWORD exit = 0;
    const std::pair<double, double> t = bench::MedianRound(
        5, [&] { bench::BuildTree(quiet), bench::BuildTree(bare); },
        [&] {
            Install(quiet);
            if (const DWORD code = testutil::Child(testutil::CommandLine(exe, {"/quiet"})).Wait()) exit = code;
        },
        [&] {
            Install(bare);
            Bare().Uninstall(bare);
        });
    if (exit != 0 || testutil::Exists(quiet))
        printf("whole uninstall, the program with /quiet: exit %lu%s MISS\n", exit, exit ? "" : ", tree left");
    else bench::Report("whole uninstall, the program with /quiet", t.first, t.second, "s", 1.15, true);
}

}  // namespace

int main() {
    SetupLog(nullptr);
    testutil::TempDir base("bench-uninstall");
    const std::string ours = base / "ours", bare = base / "bare", rd = base / "rd";
    std::string result = "000";
    const std::pair<double, double> t = bench::MedianRound(
        5, [&] { bench::BuildTree(ours), bench::BuildTree(bare); },
        [&] {
            Install(ours);
            CUninstallWorkerThread worker;
            worker.Start();
            worker.WaitForEnd();
            if (worker.GetResultCode() != "000") result = worker.GetResultCode();
        },
        [&] {
            Install(bare);
            Bare().Uninstall(bare);
        });
    bench::BuildTree(rd);
    const double rdSeconds = bench::TimeRd(rd);
    const bool gone = !testutil::Exists(ours) && !testutil::Exists(bare) && !testutil::Exists(rd);
    if (!gone || result != "000")
        printf("whole uninstall: result %s%s MISS\n", result.c_str(), gone ? "" : ", trees left");
    else bench::Report("whole uninstall", t.first, t.second, "s", 1.15, true);
    bench::Report("whole uninstall, rd /s /q for reference", t.first, rdSeconds, "s", 0, true);
    ReportQuietRun(base);
    return 0;
}
