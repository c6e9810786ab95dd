// probe info hold <file> <ready-event> <quit-event>: keeps the file open without delete (or write) sharing;
// probe info mutex <ready-event> <quit-event>: holds the single-instance guard, or exits with its status.
// Each signals <ready-event> once in place and holds until <quit-event> (or a kill).
#include <windows.h>
#include <string.h>

#include <memory>

#include "MultiStartupMgr.h"

int InfoMain(int argc, char** argv) {
    std::unique_ptr<CMultiStartupMgr> guard;  // released at a normal end
    if (argc == 5 && !strcmp(argv[1], "hold")) {
        HANDLE file = CreateFileA(argv[2], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return 2;  // else open to the end of the process, as are the events
    } else if (argc == 4 && !strcmp(argv[1], "mutex")) {
        guard.reset(new CMultiStartupMgr(nullptr, TRUE, 0));
        if (guard->GetStatus() != 0) return static_cast<int>(guard->GetStatus());
    } else {
        return 1;
    }
    HANDLE quit = OpenEventA(SYNCHRONIZE, FALSE, argv[argc - 1]);
    if (!quit || !SetEvent(OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[argc - 2]))) return 3;
    WaitForSingleObject(quit, 120000);
    return 0;
}
