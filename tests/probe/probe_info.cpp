// probe info mutex READY QUIT: holds the single-instance guard (else exits with its status), sets READY, awaits QUIT.
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
