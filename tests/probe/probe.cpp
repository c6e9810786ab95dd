// probe info|kdx|log args...: the test-only program the tests start; each area's main sees its sub-command as argv[1].
#include <string>

int InfoMain(int, char**), KdxMain(int, char**), LogMain(int, char**);

int main(int argc, char** argv) {
    const std::string area = argc >= 2 ? argv[1] : "";
    if (area == "info") return InfoMain(argc - 1, argv + 1);
    if (area == "kdx") return KdxMain(argc - 1, argv + 1);
    return area == "log" ? LogMain(argc - 1, argv + 1) : 2;
}
