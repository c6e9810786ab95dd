// A simulated agent installation for end-to-end tests and the demo: the
// registry key, the install folder with its settings file, the desktop shortcuts.
#pragma once
#include <windows.h>
#include <string>

namespace seed {

struct AgentInstall {
    std::string installDir;   // created with a few files; empty: no InstallPath value
    std::string version;      // the "Version" value; empty: left out
    std::string contractNo;   // ContractNo of PellionSys.ini; nullptr-like "-" means no ini file
    bool withIni = true;
    bool withShortcuts = true;
};

extern const char* const kShortcutNames[2];

// The registry view the agent uses: the 64-bit view on 64-bit Windows.
REGSAM AgentView();

// Writes everything; returns 0 or the first Win32 error.
DWORD Seed(const AgentInstall& agent);

// Removes what Seed may have written (key, folder, shortcuts); errors ignored.
void Unseed(const std::string& installDir);

// Desktop folders: all users' (common) or the current user's.
std::string DesktopFolder(bool common);

}  // namespace seed
