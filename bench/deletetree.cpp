// Folder deletion: DeleteTree, which walks by handle, against a bare program making the by-name
// find/delete/remove calls on an identical tree built in the same run; "rd /s /q" for reference.
#include "BenchUtil.h"
#include "LIB/Util/PellionUtil.h"

int main() {
    testutil::TempDir base("bench-deletetree");
    const std::string ours = base / "ours", bare = base / "bare", rd = base / "rd";
    bool gone = true;
    const std::pair<double, double> t = bench::MedianRound(
        5, [&] { bench::BuildTree(ours), bench::BuildTree(bare); },
        [&] { gone &= DeleteTree(ours.c_str(), FALSE) != 0; },
        [&] { bench::Walk(bare, true, [](const std::string&) {}); });
    bench::BuildTree(rd);
    const double rdSeconds = bench::TimeRd(rd);
    gone &= !testutil::Exists(ours) && !testutil::Exists(bare) && !testutil::Exists(rd);
    if (!gone) printf("folder deletion: the trees were not all deleted MISS\n");
    else bench::Report("folder deletion", t.first, t.second, "s", 1.05, true);
    printf("folder deletion, walk by handle against the by-name loop: %s\n",
           t.first < t.second ? "the handle walk is faster" : "the by-name loop is faster");
    bench::Report("folder deletion, rd /s /q for reference", t.first, rdSeconds, "s", 0, true);
    return 0;
}
