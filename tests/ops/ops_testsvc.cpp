// The service the tests install; its argument's first letter says how it answers a stop: "prompt" stops, "hang" stays
// stop-pending, "exitpending" ends its process stop-pending, "bounce" runs again, "refuse" refuses, "slow" takes 2 s.
#include <windows.h>

static char g_mode = 'p';
static SERVICE_STATUS_HANDLE g_status = nullptr;
static HANDLE g_stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);

static void Report(DWORD state) {
    const DWORD accepted = state == SERVICE_RUNNING && g_mode != 'r' ? SERVICE_ACCEPT_STOP : 0;
    SERVICE_STATUS status = {SERVICE_WIN32_OWN_PROCESS, state, accepted, 0, 0, 0, 600000};
    SetServiceStatus(g_status, &status);
}

static VOID WINAPI Handler(DWORD control) { if (control == SERVICE_CONTROL_STOP) SetEvent(g_stop); }

static VOID WINAPI ServiceMain(DWORD, LPSTR*) {
    g_status = RegisterServiceCtrlHandlerA("", Handler);
    Report(SERVICE_RUNNING);
    WaitForSingleObject(g_stop, INFINITE);
    if (g_mode == 'p') return Report(SERVICE_STOPPED);
    Report(SERVICE_STOP_PENDING);
    Sleep(g_mode == 's' ? 2000 : 300);
    if (g_mode == 's') return Report(SERVICE_STOPPED);
    if (g_mode == 'e') ExitProcess(0);
    if (g_mode == 'b') Report(SERVICE_RUNNING);
    Sleep(INFINITE);
}

int main(int argc, char** argv) {
    if (argc > 1) g_mode = argv[1][0];
    SERVICE_TABLE_ENTRYA table[] = {{const_cast<char*>(""), ServiceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherA(table) ? 0 : 1;
}
