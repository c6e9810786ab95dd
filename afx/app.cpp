#include "afxwin.h"

// A program with an application object takes its entry point from the layer.
// The C runtime's reference to WinMain comes after this library on the link line,
// so the application object's file makes the reference itself (a program with a
// main of its own, such as a test, links it unused).
extern "C" int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int);
[[gnu::used]] static int(WINAPI* const kEntryPoint)(HINSTANCE, HINSTANCE, LPSTR, int) = &WinMain;

IMPLEMENT_DYNAMIC(CWinApp, CCmdTarget)
IMPLEMENT_DYNAMIC(CWinAppEx, CWinApp)

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
END_MESSAGE_MAP()

CWinApp::CWinApp() {
    AFX_MODULE_STATE* state = AfxGetModuleState();
    if (!state->m_pCurrentWinApp) state->m_pCurrentWinApp = this;
}

CWinApp::~CWinApp() {
    AFX_MODULE_STATE* state = AfxGetModuleState();
    if (state->m_pCurrentWinApp == this) state->m_pCurrentWinApp = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::ExitInstance() { return 0; }

void CWinApp::OnHelp() {}

CWinAppEx::CWinAppEx(BOOL) {}

int AfxWinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
    CWinApp* app = AfxGetApp();
    if (!app) return -1;
    AFX_MODULE_STATE* state = AfxGetModuleState();
    state->m_hCurrentInstanceHandle = hInstance;
    state->m_hCurrentResourceHandle = hInstance;
    app->m_hInstance = hInstance;
    app->InitInstance();
    return app->ExitInstance();
}
