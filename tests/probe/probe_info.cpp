// probe info mutex <ready-event> <quit-event>: holds the single-instance guard, or exits with its status; signals
// <ready-event> once it holds it and keeps it until <quit-event> (or a kill).
#include <windows.h>
#include <string.h>
#include "MultiStartupMgr.h"

int InfoMain(int argc, char** argv) {
    if (argc != 4 || strcmp(argv[1], "mutex")) return 1;
    CMultiStartupMgr guard(nullptr, TRUE, 0);  // released at a normal end
    if (guard.GetStatus() != 0) return static_cast<int>(guard.GetStatus());
    HANDLE quit = OpenEventA(SYNCHRONIZE, FALSE, argv[3]);
    if (!quit || !SetEvent(OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]))) return 3;
    WaitForSingleObject(quit, 120000);
    return 0;
}
