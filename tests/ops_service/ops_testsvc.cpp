// A service for the tests. Its argument says how it answers a stop request:
//   prompt       stops at once
//   hang         reports stop-pending for ever, its process alive
//   exitpending  reports stop-pending, then its process exits
//   bounce       reports stop-pending, then running again
//   refuse       does not accept stop requests
#include <windows.h>
#include <string.h>

namespace {

char g_mode[32] = "prompt";
SERVICE_STATUS_HANDLE g_status = NULL;
HANDLE g_stopRequested = NULL;

void Report(DWORD state) {
    SERVICE_STATUS status = {};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted =
        (state == SERVICE_RUNNING && strcmp(g_mode, "refuse") != 0) ? SERVICE_ACCEPT_STOP : 0;
    status.dwWaitHint = state == SERVICE_STOP_PENDING ? 600000 : 0;
    SetServiceStatus(g_status, &status);
}

VOID WINAPI Handler(DWORD control) {
    if (control == SERVICE_CONTROL_STOP) SetEvent(g_stopRequested);
}

VOID WINAPI ServiceMain(DWORD, LPSTR*) {
    g_status = RegisterServiceCtrlHandlerA("", Handler);
    if (!g_status) return;
    Report(SERVICE_RUNNING);
    WaitForSingleObject(g_stopRequested, INFINITE);
    if (strcmp(g_mode, "prompt") == 0) {
        Report(SERVICE_STOPPED);
        return;
    }
    Report(SERVICE_STOP_PENDING);
    if (strcmp(g_mode, "exitpending") == 0) {
        Sleep(300);
        ExitProcess(0);
    }
    if (strcmp(g_mode, "bounce") == 0) {
        Sleep(300);
        Report(SERVICE_RUNNING);
    }
    Sleep(INFINITE);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) lstrcpynA(g_mode, argv[1], sizeof(g_mode));
    g_stopRequested = CreateEventA(NULL, TRUE, FALSE, NULL);
    char name[] = "";
    SERVICE_TABLE_ENTRYA table[] = {{name, ServiceMain}, {NULL, NULL}};
    return StartServiceCtrlDispatcherA(table) ? 0 : 1;
}
