// Folder deletion: DeleteTree against a bare program making the same find/delete/remove calls on an
// identical tree built in the same run; "rd /s /q" for reference.
#include "BenchUtil.h"
#include "LIB/Util/PellionUtil.h"

int main() {
    testutil::TempDir base("bench-deletetree");
    const std::string ours = base / "ours", bare = base / "bare", rd = base / "rd";
    double oursSeconds = 0, bareSeconds = 0;
    for (int round = 0; round < 2; ++round) {  // the order alternates, so neither side always runs warm
        for (const std::string& t : {ours, bare}) bench::BuildTree(t);
        for (int side = 0; side < 2; ++side) {
            const double start = bench::Now();
            if ((side ^ round) == 0) DeleteTree(ours.c_str(), FALSE);
            else bench::Walk(bare, true, [](const std::string&) {});
            ((side ^ round) == 0 ? oursSeconds : bareSeconds) += bench::Now() - start;
        }
    }
    bench::BuildTree(rd);
    const double rdSeconds = bench::TimeRd(rd);
    const bool gone = !testutil::Exists(ours) && !testutil::Exists(bare) && !testutil::Exists(rd);
    if (!gone) printf("folder deletion: the trees were not all deleted MISS\n");
    else bench::Report("folder deletion", oursSeconds / 2, bareSeconds / 2, "s", 1.05, true);
    bench::Report("folder deletion, rd /s /q for reference", oursSeconds / 2, rdSeconds, "s", 0, true);
    return 0;
}
