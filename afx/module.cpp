#include "afxwin.h"

AFX_MODULE_STATE* AfxGetModuleState() {
    // Until the start-up sets them, the handles are those of the executable, so
    // that programs with their own entry point (the tests) find their resources.
    static AFX_MODULE_STATE state = {nullptr, GetModuleHandleA(nullptr), GetModuleHandleA(nullptr)};
    return &state;
}

CWinApp* AfxGetApp() { return AfxGetModuleState()->m_pCurrentWinApp; }

HINSTANCE AfxFindResourceHandle(LPCSTR name, LPCSTR type) {
    const AFX_MODULE_STATE* state = AfxGetModuleState();
    HINSTANCE resources = state->m_hCurrentResourceHandle;
    if (FindResourceA(resources, name, type)) return resources;
    HINSTANCE instance = state->m_hCurrentInstanceHandle;
    if (instance != resources && FindResourceA(instance, name, type)) return instance;
    return resources;
}
