// probe info: a process that holds something for a test.
//   probe info hold <file> <ready-event> <quit-event>
//     opens the file without delete (or write) sharing and keeps it open
//   probe info mutex <ready-event> <quit-event>
//     takes the single-instance guard; exits with its status when not held
// Signals <ready-event> when in place, then waits for <quit-event> (or a kill).
#include <windows.h>
#include <cstring>
#include "MultiStartupMgr.h"

namespace {

int WaitForQuit(const char* readyName, const char* quitName) {
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, readyName);
    HANDLE quit = OpenEventA(SYNCHRONIZE, FALSE, quitName);
    if (!ready || !quit) return 3;
    SetEvent(ready);
    WaitForSingleObject(quit, 120000);
    CloseHandle(ready);
    CloseHandle(quit);
    return 0;
}

}  // namespace

int InfoMain(int argc, char** argv) {
    if (argc == 5 && strcmp(argv[1], "hold") == 0) {
        HANDLE file = CreateFileA(argv[2], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return 2;
        const int rc = WaitForQuit(argv[3], argv[4]);
        CloseHandle(file);
        return rc;
    }
    if (argc == 4 && strcmp(argv[1], "mutex") == 0) {
        CMultiStartupMgr guard(nullptr, TRUE, 0);
        if (guard.GetStatus() != 0) return static_cast<int>(guard.GetStatus());
        return WaitForQuit(argv[2], argv[3]);
    }
    return 1;
}
