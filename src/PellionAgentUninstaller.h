// The application: the whole run happens in InitInstance; its outcome is the
// process exit code, in the codes deployment tools know from Windows Installer.
#pragma once
#include <string>

#include "afxwin.h"

struct CommandLineOptions;

class CPellionAgentUninstallerApp : public CWinAppEx {
public:
    CPellionAgentUninstallerApp();
    ~CPellionAgentUninstallerApp() override;

    BOOL InitInstance() override;
    // Ends the log with the run's summary line and the end banner; the exit code.
    int ExitInstance() override;

    DECLARE_MESSAGE_MAP()

private:
    // The road once the log is set up; the exit code.
    DWORD Run(const CommandLineOptions& options);
    // The contract number accepted: from the file, else (not quiet) the dialog; the exit code when not.
    DWORD AcceptContractNumber(const CommandLineOptions& options);
    // A message box; in a quiet run nothing is shown and the answer is 0.
    int Tell(const char* text, const char* caption, UINT style) const;

    bool m_bQuiet = false;
    DWORD m_dwExitCode = 0;
    bool m_bSummary = false;  // the run got past the single-instance check, or was refused before it
    std::string m_resultCode = "---";
    bool m_bRestartPending = false;
};

// Enables the shutdown privilege of the own process token; 0 on success.
DWORD EnableShutdownPrivilege();

extern CPellionAgentUninstallerApp theApp;
