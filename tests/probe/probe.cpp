// probe info|kdx|log args...: the test-only program the tests start; each area's main sees its sub-command as argv[1].
#include <windows.h>
#include <string.h>
#include <string>
#include "MultiStartupMgr.h"

int KdxMain(int, char**), LogMain(int, char**);

// probe info mutex READY QUIT: holds the single-instance guard (else exits with its status), sets READY, awaits QUIT.
static int InfoMain(int argc, char** argv) {
    if (argc != 4 || strcmp(argv[1], "mutex")) return 1;
    CMultiStartupMgr guard(nullptr, TRUE, 0);  // released at a normal end
    if (guard.GetStatus() != 0) return static_cast<int>(guard.GetStatus());
    HANDLE quit = OpenEventA(SYNCHRONIZE, FALSE, argv[3]);
    if (!quit || !SetEvent(OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]))) return 3;
    WaitForSingleObject(quit, 120000);
    return 0;
}

int main(int argc, char** argv) {
    const std::string area = argc >= 2 ? argv[1] : "";
    if (area == "info") return InfoMain(argc - 1, argv + 1);
    if (area == "kdx") return KdxMain(argc - 1, argv + 1);
    return area == "log" ? LogMain(argc - 1, argv + 1) : 2;
}
