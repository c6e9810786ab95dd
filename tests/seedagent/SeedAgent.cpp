#include "SeedAgent.h"
#include <shlobj.h>
#include "TestUtil.h"

namespace seed {

const char kServiceName[] = "Corvane";
static const char kAgentKey[] = "SOFTWARE\\Corvane";
static const REGSAM kView = testutil::IsWow64Process() ? KEY_WOW64_64KEY : 0;  // the agent's own view

// The agent's two shortcuts, on the desktop shared by all users.
static std::string Shortcut(const char* name) {
    char path[MAX_PATH] = {0};
    SHGetFolderPathA(nullptr, CSIDL_COMMON_DESKTOPDIRECTORY, nullptr, 0, path);
    return std::string(path) + "\\" + name + ".lnk";
}
static const char* const kShortcuts[] = {"インベントリ情報アップロード", "リモート操作クライアント"};

DWORD Seed(const std::string& installDir, const std::string& version, const char* contractNo,
           const std::string& serviceMode) {
    HKEY key = nullptr;
    DWORD err =
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, kAgentKey, 0, nullptr, 0, KEY_SET_VALUE | kView, nullptr, &key, nullptr);
    auto set = [&](const char* name, const std::string& value) {
        if (!err && !value.empty())
            err = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                 static_cast<DWORD>(value.size() + 1));
    };
    set("InstallPath", installDir);
    set("Version", version);
    RegCloseKey(key);
    const std::string exe = installDir + "\\PellionAgent.exe";
    for (const char* sub : {"", "\\bin", "\\bin\\data"}) CreateDirectoryA((installDir + sub).c_str(), nullptr);
    if (!err && !testutil::WriteBytes(installDir + "\\bin\\data\\inventory.dat", "simulated agent data\r\n"))
        err = GetLastError();
    if (!err && (serviceMode.empty() ? !testutil::WriteBytes(exe, "MZ simulated agent\r\n")
                                     : !testutil::Copy(testutil::TestServiceExe(), exe)))
        err = GetLastError();
    if (!err && !serviceMode.empty()) err = testutil::InstallService(kServiceName, "\"" + exe + "\" " + serviceMode, true);
    if (!err && contractNo &&
        !testutil::WriteBytes(installDir + "\\PellionSys.ini", std::string("[Setting]\r\nContractNo=") + contractNo + "\r\n"))
        err = GetLastError();
    return err ? err : SeedExtras(installDir);
}

// What the package cannot carry: names outside ASCII (a folder with trail bytes 0x5C, the shortcuts), a read-only file.
DWORD SeedExtras(const std::string& installDir) {
    CreateDirectoryA((installDir + "\\ソフト表示機能").c_str(), nullptr);
    if (!testutil::WriteBytes(installDir + "\\ソフト表示機能\\能力表.txt", "simulated agent data\r\n")) return GetLastError();
    SetFileAttributesA((installDir + "\\PellionSys.ini").c_str(), FILE_ATTRIBUTE_READONLY);  // it goes all the same
    for (const char* name : kShortcuts)
        if (DWORD err = testutil::MakeShortcut(Shortcut(name), installDir + "\\PellionAgent.exe")) return err;
    return 0;
}

void Unseed(const std::string& installDir) {
    testutil::RemoveService(kServiceName);
    testutil::ScopedRegKey::Delete(kAgentKey, kView);
    testutil::RemoveTree(installDir);
    for (const char* name : kShortcuts) DeleteFileA(Shortcut(name).c_str());
}

}  // namespace seed
