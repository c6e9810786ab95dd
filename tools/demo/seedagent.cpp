// seedagent seed DIR VERSION CONTRACTNO|- [SERVICEMODE] | seedagent unseed DIR: a simulated agent installation
// in the prefix; with a service mode its program runs as the service "Corvane" (TESTSVC_EXE names the test service).
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
    fputs("usage: seedagent seed DIR VERSION CONTRACTNO|- [SERVICEMODE] | seedagent unseed DIR\n", stderr);
    return 2;
}
