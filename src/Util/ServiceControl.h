// Stopping and deleting a Windows service. Every operation returns a Win32
// status (0 = success) and logs nothing; the caller logs and decides.
#pragma once
#include <windows.h>

// How long a wait with no limit (INFINITE) may last: two minutes, six times
// the 20 seconds Windows 7 gives services to stop at shutdown. A healthy
// agent stops well inside it; one that hangs in stop-pending with a live
// process ends the wait with WAIT_TIMEOUT instead of holding the uninstall
// open for ever.
const DWORD kUnlimitedStopWaitMs = 120000;

// Stops the service and waits until it has stopped or its process has gone.
// limitMs is the time limit (raised to at least 251); INFINITE means
// kUnlimitedStopWaitMs. 0 stopped, 1060 no such service, 258 (WAIT_TIMEOUT)
// the limit ran out, 0x80080008 it left stop-pending for another state,
// else the error of the failing call.
DWORD StopServiceAndWait(const char* serviceName, DWORD limitMs);

// The same with the bound of an unlimited wait given (for tests).
DWORD StopServiceAndWaitBounded(const char* serviceName, DWORD limitMs, DWORD unlimitedBoundMs);

// Deletes the service (machineName nullptr for the local machine).
DWORD DeleteServiceByName(const char* serviceName, const char* machineName);

// Stores in *alive whether the process of the open service still runs.
// 50 (ERROR_NOT_SUPPORTED) for drivers, which have no process.
DWORD IsServiceProcessAlive(SC_HANDLE service, BOOL* alive);
