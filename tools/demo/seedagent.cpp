// seedagent seed DIR VERSION CONTRACTNO|- | seedagent unseed DIR: a simulated agent installation in the prefix.
#include <stdio.h>
#include <string.h>

#include "SeedAgent.h"

int main(int argc, char** argv) {
    if (argc == 5 && strcmp(argv[1], "seed") == 0) {
        DWORD err = seed::Seed(argv[2], argv[3], strcmp(argv[4], "-") ? argv[4] : nullptr);
        if (err) fprintf(stderr, "seedagent: error %lu\n", err);
        return err ? 1 : 0;
    }
    if (argc == 3 && strcmp(argv[1], "unseed") == 0) return seed::Unseed(argv[2]), 0;
    fputs("usage: seedagent seed DIR VERSION CONTRACTNO|- | seedagent unseed DIR\n", stderr);
    return 2;
}
