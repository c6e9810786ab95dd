// probe <area> args...: the test-only program the tests start in a process
// of their own (or copy where its folder matters). Each area's sub-command
// sees its arguments as argv[1] on.
#include <stdio.h>
#include <string.h>

int InfoMain(int argc, char** argv);
int KdxMain(int argc, char** argv);
int LogMain(int argc, char** argv);

int main(int argc, char** argv) {
    static const struct {
        const char* name;
        int (*run)(int, char**);
    } kAreas[] = {{"info", InfoMain}, {"kdx", KdxMain}, {"log", LogMain}};
    for (const auto& area : kAreas)
        if (argc >= 2 && strcmp(argv[1], area.name) == 0) return area.run(argc - 1, argv + 1);
    fprintf(stderr, "usage: probe info|kdx|log args...\n");
    return 2;
}
