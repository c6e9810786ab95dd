// The service the tests install. Its argument says how it answers a stop request: "prompt" stops,
// "hang" stays stop-pending with its process alive, "exitpending" ends its process while stop-pending,
// "bounce" goes back to running, "refuse" accepts no stop request.
#include <windows.h>

#include <string>

static std::string g_mode;
static SERVICE_STATUS_HANDLE g_status = nullptr;
static HANDLE g_stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);

static void Report(DWORD state) {
    const DWORD accepted = state == SERVICE_RUNNING && g_mode != "refuse" ? SERVICE_ACCEPT_STOP : 0;
    SERVICE_STATUS status = {SERVICE_WIN32_OWN_PROCESS, state, accepted, 0, 0, 0, 600000};
    SetServiceStatus(g_status, &status);
}

static VOID WINAPI Handler(DWORD control) {
    if (control == SERVICE_CONTROL_STOP) SetEvent(g_stop);
}

static VOID WINAPI ServiceMain(DWORD, LPSTR*) {
    g_status = RegisterServiceCtrlHandlerA("", Handler);
    Report(SERVICE_RUNNING);
    WaitForSingleObject(g_stop, INFINITE);
    Report(g_mode == "prompt" ? SERVICE_STOPPED : SERVICE_STOP_PENDING);
    if (g_mode == "prompt") return;
    Sleep(300);
    if (g_mode == "exitpending") ExitProcess(0);
    if (g_mode == "bounce") Report(SERVICE_RUNNING);
    Sleep(INFINITE);
}

int main(int argc, char** argv) {
    g_mode = argc > 1 ? argv[1] : "prompt";
    char name[] = "";
    SERVICE_TABLE_ENTRYA table[] = {{name, ServiceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherA(table) ? 0 : 1;
}
