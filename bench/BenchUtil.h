// What the benchmarks share: a clock, the tree they delete, and the one line
// each figure is reported on, for anyone to grep:
//   <figure>: ours <value> baseline <value> ratio <r> target <t> ok|MISS
#pragma once
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "TestUtil.h"

namespace bench {

inline double Now() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

// atMost: the ratio must not exceed target (times), else not fall below it (rates); target 0: report only.
inline void Report(const char* figure, double ours, double baseline, const char* unit, double target, bool atMost) {
    const double ratio = baseline > 0 ? ours / baseline : 0;
    const bool ok = target == 0 || (atMost ? ratio <= target : ratio >= target);
    char goal[32] = "-";
    if (target != 0) snprintf(goal, sizeof(goal), "%s%.2f", atMost ? "<=" : ">=", target);
    printf("%s: ours %.3f %s baseline %.3f %s ratio %.2f target %s %s\n", figure, ours, unit, baseline, unit, ratio, goal,
           target == 0 ? "report" : ok ? "ok" : "MISS");
}

// One figure from rounds paired rounds: in each, prepare() (untimed), then ours() and baseline() timed back to
// back, the first of them alternating. Returns the times of the round whose ratio is the median: a single
// run moves by tens of percent with the machine's load.
template <class Prepare, class Ours, class Baseline>
std::pair<double, double> MedianRound(int rounds, Prepare prepare, Ours ours, Baseline baseline) {
    std::vector<std::pair<double, double>> times;
    for (int round = 0; round < rounds; ++round) {
        prepare();
        double o = 0, b = 0;
        for (int side = 0; side < 2; ++side) {
            const double start = Now();
            ((side ^ round) & 1) ? baseline() : ours();
            (((side ^ round) & 1) ? b : o) = Now() - start;
        }
        times.push_back({o, b});
    }
    std::sort(times.begin(), times.end(), [](const std::pair<double, double>& x, const std::pair<double, double>& y) {
        return x.first * y.second < y.first * x.second;
    });
    return times[times.size() / 2];
}

// 10,000 files in 500 folders: 20 folders of 20 files, each with 24 subfolders of 20 files.
inline void BuildTree(const std::string& root) {
    auto folder = [](const std::string& dir) {
        CreateDirectoryA(dir.c_str(), nullptr);
        for (int f = 0; f < 20; ++f) testutil::WriteBytes(dir + "\\file" + std::to_string(f) + ".dat", "data");
    };
    CreateDirectoryA(root.c_str(), nullptr);
    for (int t = 0; t < 20; ++t) {
        const std::string top = root + "\\top" + std::to_string(t);
        folder(top);
        for (int s = 0; s < 24; ++s) folder(top + "\\sub" + std::to_string(s));
    }
}

// The bare deletion: find, delete, remove, contents before their folder; visit(path) for each entry
// instead when given.
template <class Visit>
void Walk(const std::string& dir, bool remove, Visit visit) {
    WIN32_FIND_DATAA d;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &d);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if (!strcmp(d.cFileName, ".") || !strcmp(d.cFileName, "..")) continue;
            const std::string p = dir + "\\" + d.cFileName;
            if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) Walk(p, remove, visit);
            else if (remove) DeleteFileA(p.c_str());
            else visit(p);
        } while (FindNextFileA(h, &d));
        FindClose(h);
    }
    if (remove) RemoveDirectoryA(dir.c_str());
    else visit(dir);
}

inline double TimeRd(const std::string& dir) {
    const double start = Now();
    testutil::Child("cmd.exe /c rd /s /q \"" + dir + "\"").Wait();
    return Now() - start;
}

}  // namespace bench
