// seedagent seed DIR VERSION CONTRACTNO|- [SERVICEMODE] | seedagent unseed DIR: a simulated agent installation
// in the prefix (extras: what the installer package cannot carry; hold: a file of it kept open); with a service mode its program runs as the service "Corvane" (TESTSVC_EXE names the test service).
#include <stdio.h>
#include <string.h>

#include "SeedAgent.h"

int main(int argc, char** argv) {
    if ((argc == 5 || argc == 6) && strcmp(argv[1], "seed") == 0) {
        DWORD err = seed::Seed(argv[2], argv[3], strcmp(argv[4], "-") ? argv[4] : nullptr, argc == 6 ? argv[5] : "");
        if (err) fprintf(stderr, "seedagent: error %lu\n", err);
        return err ? 1 : 0;
    }
    if (argc == 3 && strcmp(argv[1], "unseed") == 0) return seed::Unseed(argv[2]), 0;
    if (argc == 3 && strcmp(argv[1], "extras") == 0) return seed::SeedExtras(argv[2]) ? 1 : 0;
    if (argc == 3 && strcmp(argv[1], "hold") == 0) {  // open without delete sharing until killed
        HANDLE h = CreateFileA(argv[2], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) return 1;
        Sleep(INFINITE);
    }
    fputs("usage: seedagent seed DIR VERSION CONTRACTNO|- [SERVICEMODE] | seedagent unseed|extras DIR | seedagent hold FILE\n", stderr);
    return 2;
}
