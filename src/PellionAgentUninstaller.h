// The application: the whole run happens in InitInstance.
#pragma once
#include "afxwin.h"

class CPellionAgentUninstallerApp : public CWinAppEx {
public:
    CPellionAgentUninstallerApp();
    ~CPellionAgentUninstallerApp() override;

    BOOL InitInstance() override;
    int ExitInstance() override;

    DECLARE_MESSAGE_MAP()
};

// Enables the shutdown privilege of the own process token; 0 on success.
DWORD EnableShutdownPrivilege();

extern CPellionAgentUninstallerApp theApp;
