// seedagent seed <installDir> <version> <contractNo|-> | seedagent unseed <installDir>
// Lays out (or removes) a simulated agent installation in the running prefix.
#include <stdio.h>
#include <string.h>

#include "SeedAgent.h"

int main(int argc, char** argv) {
    if (argc >= 5 && strcmp(argv[1], "seed") == 0) {
        seed::AgentInstall agent;
        agent.installDir = argv[2];
        agent.version = argv[3];
        agent.withIni = strcmp(argv[4], "-") != 0;
        if (agent.withIni) agent.contractNo = argv[4];
        DWORD err = seed::Seed(agent);
        if (err) fprintf(stderr, "seedagent: error %lu\n", err);
        return err ? 1 : 0;
    }
    if (argc >= 3 && strcmp(argv[1], "unseed") == 0) {
        seed::Unseed(argv[2]);
        return 0;
    }
    fprintf(stderr, "usage: seedagent seed DIR VERSION CONTRACTNO|- | seedagent unseed DIR\n");
    return 2;
}
