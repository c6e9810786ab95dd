// A program with the shape of the uninstaller's application object: a global
// CWinAppEx built with TRUE, InitInstance returning FALSE, the help command in
// its map, and the layer's own WinMain. Its exit code tells the test what it saw.
#include "afxwin.h"

class CPellionAgentUninstallerApp : public CWinAppEx {
public:
    CPellionAgentUninstallerApp() : CWinAppEx(TRUE) {}
    ~CPellionAgentUninstallerApp() override {}

    BOOL InitInstance() override;
    int ExitInstance() override;

    DECLARE_MESSAGE_MAP()

private:
    int m_seen = 0;
};

BEGIN_MESSAGE_MAP(CPellionAgentUninstallerApp, CWinAppEx)
    ON_COMMAND(ID_HELP, &CWinApp::OnHelp)
END_MESSAGE_MAP()

CPellionAgentUninstallerApp theApp;

BOOL CPellionAgentUninstallerApp::InitInstance() {
    CWinAppEx::InitInstance();
    HINSTANCE self = GetModuleHandleA(nullptr);
    AFX_MODULE_STATE* state = AfxGetModuleState();
    if (AfxGetApp() == this) m_seen |= 1;
    if (m_hInstance == self && AfxGetInstanceHandle() == self) m_seen |= 2;
    if (state->m_hCurrentResourceHandle == self && AfxGetResourceHandle() == self) m_seen |= 4;
    if (m_pMainWnd == nullptr && AfxGetMainWnd() == nullptr) m_seen |= 8;
    if (OnCmdMsg(ID_HELP, CN_COMMAND)) m_seen |= 16;  // the map entry exists
    return FALSE;
}

int CPellionAgentUninstallerApp::ExitInstance() { return 0x100 + m_seen + CWinAppEx::ExitInstance(); }
