#include "Util/ServiceControl.h"

#include "INC/Owner.h"
#include "INC/SystemDll.h"

namespace {

typedef BOOL(WINAPI* QueryServiceStatusExFn)(SC_HANDLE, SC_STATUS_TYPE, LPBYTE, DWORD, LPDWORD);

const DWORD kPollMs = 250;
// How long a stopped service's own process is given to end: until then it holds its program's files.
const DWORD kProcessExitMs = 10000;
const DWORD kMinimumLimitMs = 251;
const DWORD kDriverTypes = SERVICE_KERNEL_DRIVER | SERVICE_FILE_SYSTEM_DRIVER | SERVICE_RECOGNIZER_DRIVER;

DWORD WaitForStop(SC_HANDLE service, DWORD limitMs) {
    DWORD elapsed = 0;
    for (;;) {
        Sleep(kPollMs);
        elapsed += kPollMs;
        if (elapsed >= limitMs) return WAIT_TIMEOUT;

        SERVICE_STATUS status = {};
        if (!QueryServiceStatus(service, &status)) return GetLastError();
        if (status.dwCurrentState == SERVICE_STOPPED) return ERROR_SUCCESS;
        if (status.dwCurrentState != SERVICE_STOP_PENDING) return static_cast<DWORD>(CO_E_SERVER_STOPPING);

        // The manager may still say stop-pending after the process has gone.
        BOOL alive = TRUE;
        if (IsServiceProcessAlive(service, &alive) == ERROR_SUCCESS && !alive) return ERROR_SUCCESS;
    }
}

// The service's status with its process; 0 or the error. The call is taken
// from the system at each use.
DWORD QueryProcessStatus(SC_HANDLE service, SERVICE_STATUS_PROCESS& info) {
    CRuntimeDll advapi("AdvApi32.DLL");
    DWORD error = 0;
    QueryServiceStatusExFn query = advapi.Get<QueryServiceStatusExFn>("QueryServiceStatusEx", &error);
    if (!query) return error;
    DWORD needed = 0;
    if (!query(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&info), sizeof(info), &needed))
        return GetLastError();  // kept across the library's release
    return ERROR_SUCCESS;
}

}  // namespace

DWORD StopServiceAndWaitBounded(const char* serviceName, DWORD limitMs, DWORD unlimitedBoundMs) {
    if (!serviceName) return ERROR_INVALID_PARAMETER;
    if (limitMs == INFINITE) limitMs = unlimitedBoundMs;
    if (limitMs < kMinimumLimitMs) limitMs = kMinimumLimitMs;

    CScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager.get()) return GetLastError();
    CScHandle service(OpenServiceA(manager.get(), serviceName, SERVICE_STOP | SERVICE_QUERY_STATUS));
    if (!service.get()) return GetLastError();

    SERVICE_STATUS status = {};
    if (!QueryServiceStatus(service.get(), &status)) return GetLastError();
    if (status.dwCurrentState == SERVICE_STOPPED) return ERROR_SUCCESS;
    // A service of its own process reports stopped before the process has
    // ended, and until then its program cannot be deleted.
    SERVICE_STATUS_PROCESS info = {};
    CHandle process;
    if (QueryProcessStatus(service.get(), info) == ERROR_SUCCESS && info.dwProcessId &&
        (info.dwServiceType & SERVICE_WIN32_OWN_PROCESS) && !(info.dwServiceType & SERVICE_WIN32_SHARE_PROCESS))
        process.reset(OpenProcess(SYNCHRONIZE, FALSE, info.dwProcessId));
    if (status.dwCurrentState != SERVICE_STOP_PENDING &&
        !ControlService(service.get(), SERVICE_CONTROL_STOP, &status))
        return GetLastError();
    const DWORD stopped = WaitForStop(service.get(), limitMs);
    if (stopped == ERROR_SUCCESS && process.valid()) WaitForSingleObject(process.get(), kProcessExitMs);
    return stopped;
}

DWORD StopServiceAndWait(const char* serviceName, DWORD limitMs) {
    return StopServiceAndWaitBounded(serviceName, limitMs, kUnlimitedStopWaitMs);
}

DWORD DeleteServiceByName(const char* serviceName, const char* machineName) {
    if (!serviceName) return ERROR_INVALID_PARAMETER;
    CScHandle manager(OpenSCManagerA(machineName, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager.get()) return GetLastError();
    CScHandle service(OpenServiceA(manager.get(), serviceName, SERVICE_ALL_ACCESS));
    if (!service.get() || !DeleteService(service.get())) return GetLastError();
    return ERROR_SUCCESS;
}

DWORD IsServiceProcessAlive(SC_HANDLE service, BOOL* alive) {
    if (!alive) return ERROR_INVALID_PARAMETER;
    SERVICE_STATUS_PROCESS info = {};
    if (DWORD error = QueryProcessStatus(service, info)) return error;

    if (info.dwServiceType & kDriverTypes) return ERROR_NOT_SUPPORTED;
    if (info.dwProcessId == 0) {
        *alive = FALSE;
        return ERROR_SUCCESS;
    }
    CHandle process(OpenProcess(SYNCHRONIZE, FALSE, info.dwProcessId));
    if (!process.valid()) {
        *alive = GetLastError() != ERROR_INVALID_PARAMETER;
        return ERROR_SUCCESS;
    }
    // The manager keeps a handle to the service's process, so an exited
    // process can still be opened: only a signalled one is gone.
    *alive = WaitForSingleObject(process.get(), 0) != WAIT_OBJECT_0;
    return ERROR_SUCCESS;
}
