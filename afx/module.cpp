#include "afxwin.h"

AFX_MODULE_STATE* AfxGetModuleState() {
    // Until the start-up sets them, the handles are those of the executable, so
    // that programs with their own entry point (the tests) find their resources.
    static AFX_MODULE_STATE state = {nullptr, GetModuleHandleA(nullptr), GetModuleHandleA(nullptr)};
    return &state;
}

CWinApp* AfxGetApp() { return AfxGetModuleState()->m_pCurrentWinApp; }

CWnd* AfxGetMainWnd() {
    CWinApp* app = AfxGetApp();
    return app ? app->m_pMainWnd : nullptr;
}

HINSTANCE AfxGetInstanceHandle() { return AfxGetModuleState()->m_hCurrentInstanceHandle; }
HINSTANCE AfxGetResourceHandle() { return AfxGetModuleState()->m_hCurrentResourceHandle; }

HINSTANCE AfxFindResourceHandle(LPCSTR name, LPCSTR type) {
    HINSTANCE resources = AfxGetResourceHandle();
    if (FindResourceA(resources, name, type)) return resources;
    HINSTANCE instance = AfxGetInstanceHandle();
    if (instance != resources && FindResourceA(instance, name, type)) return instance;
    return resources;
}
