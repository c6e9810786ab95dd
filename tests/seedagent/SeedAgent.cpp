#include "SeedAgent.h"

#include <shlobj.h>

#include "TestUtil.h"

namespace seed {

const char* const kShortcutNames[2] = {"インベントリ情報アップロード", "リモート操作クライアント"};

namespace {

const char kAgentKey[] = "SOFTWARE\\Corvane";

bool Is64BitWindows() {
    SYSTEM_INFO si;
    GetNativeSystemInfo(&si);
    return si.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
}

DWORD WriteFileText(const std::string& path, const std::string& text) {
    return testutil::WriteBytes(path, text) ? 0 : GetLastError();
}

}  // namespace

REGSAM AgentView() { return Is64BitWindows() ? KEY_WOW64_64KEY : 0; }

std::string DesktopFolder(bool common) {
    char path[MAX_PATH] = {0};
    SHGetFolderPathA(NULL, common ? CSIDL_COMMON_DESKTOPDIRECTORY : CSIDL_DESKTOPDIRECTORY, NULL, 0, path);
    return path;
}

DWORD Seed(const AgentInstall& agent) {
    HKEY key = NULL;
    LONG rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kAgentKey, 0, NULL, 0, KEY_ALL_ACCESS | AgentView(), NULL, &key, NULL);
    if (rc != ERROR_SUCCESS) return static_cast<DWORD>(rc);
    if (!agent.version.empty())
        RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(agent.version.c_str()),
                       static_cast<DWORD>(agent.version.size() + 1));
    if (!agent.installDir.empty())
        RegSetValueExA(key, "InstallPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(agent.installDir.c_str()),
                       static_cast<DWORD>(agent.installDir.size() + 1));
    RegCloseKey(key);

    if (agent.installDir.empty()) return 0;
    CreateDirectoryA(agent.installDir.c_str(), NULL);
    CreateDirectoryA((agent.installDir + "\\bin").c_str(), NULL);
    DWORD err = WriteFileText(agent.installDir + "\\bin\\PellionAgent.exe", "MZ simulated agent\r\n");
    if (!err) err = WriteFileText(agent.installDir + "\\readme.txt", "simulated agent installation\r\n");
    if (!err && agent.withIni)
        err = WriteFileText(agent.installDir + "\\PellionSys.ini", "[Setting]\r\nContractNo=" + agent.contractNo + "\r\n");
    if (err) return err;

    if (agent.withShortcuts) {
        std::string target = agent.installDir + "\\bin\\PellionAgent.exe";
        err = testutil::MakeShortcut(DesktopFolder(true) + "\\" + kShortcutNames[0] + ".lnk", target);
        if (!err) err = testutil::MakeShortcut(DesktopFolder(false) + "\\" + kShortcutNames[1] + ".lnk", target);
    }
    return err;
}

void Unseed(const std::string& installDir) {
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kAgentKey, AgentView(), 0);
    if (!installDir.empty()) testutil::RemoveTree(installDir);
    for (bool common : {true, false})
        for (const char* name : kShortcutNames) DeleteFileA((DesktopFolder(common) + "\\" + name + ".lnk").c_str());
}

}  // namespace seed
