// Throughput of TARNLOG against a bare appender that opens its file once and
// writes each formatted line with one WriteFile, waiting for and releasing a
// named mutex per line as the log writer does (and, for reference, without).
// The named mutex costs most of a line under Wine and its cost drifts with the
// machine's load, so each round times the bare appender just before and just
// after the log writer, and the figure is the round of the median ratio.
#include <windows.h>
#include <stdio.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "BenchUtil.h"
#include "TarnLog/TarnLog.h"
#include "TarnLog/TarnLogFileManager.h"
#include "TarnLog/TarnLogOutputPolicy.h"

namespace {

const int kLines = 20000;
const int kThreads = 4;
const int kRounds = 5;
const std::string kText(96, 'm');  // with the counter about 100 bytes

// Runs body(count) on threads threads sharing kLines lines; seconds taken.
template <typename Body>
double Timed(int threads, Body body) {
    const double start = bench::Now();
    std::vector<std::thread> running;
    for (int t = 1; t < threads; ++t) running.emplace_back(body, kLines / threads);
    body(kLines / threads);
    for (std::thread& t : running) t.join();
    return bench::Now() - start;
}

// The baseline: format the same line and append it with one WriteFile, under the named mutex when asked.
double Bare(const std::string& path, int threads, bool withMutex) {
    HANDLE lock = withMutex ? CreateMutexA(nullptr, FALSE, "bench_bare.log") : nullptr;
    HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    const double seconds = Timed(threads, [file, lock](int count) {
        char line[2048];
        for (int i = 0; i < count; ++i) {
            if (lock) WaitForSingleObject(lock, 10000);
            SYSTEMTIME now;
            GetLocalTime(&now);
            int n =
                wsprintfA(line, "%04d/%02d/%02d %02d:%02d:%02d:%03d\t%s\t%s\t%d\t%x:%x\t%d %s\r\n", now.wYear,
                          now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds, "..",
                          "bench_tarnlog.cpp", __LINE__, GetCurrentProcessId(), GetCurrentThreadId(), i, kText.c_str());
            DWORD written = 0;
            WriteFile(file, line, n, &written, nullptr);
            if (lock) ReleaseMutex(lock);
        }
    });
    CloseHandle(file);
    if (lock) CloseHandle(lock);
    return seconds;
}

double Logged(int threads) {
    return Timed(threads, [](int count) {
        for (int i = 0; i < count; ++i) TARNLOG(TARNLOG_INFO, "%d %s", i, kText.c_str());
    });
}

struct Round {
    double ours, baseline;  // lines per second
    bool operator<(const Round& other) const { return ours / baseline < other.ours / other.baseline; }
};

// The median round of the log writer on threads threads against the bare appender around it.
Round Measure(const std::string& dir, const std::string& log, int threads, bool withMutex) {
    TarnLogFileManager::CLogFileMap* files = TarnLogFileManager::CLogFileMap::GetInstance();
    std::vector<Round> rounds;
    for (int r = 0; r < kRounds; ++r) {
        const double before = Bare(dir + "\\bare.log", threads, withMutex);
        const double ours = Logged(threads);
        const double after = Bare(dir + "\\bare.log", threads, withMutex);
        files->Rotate(log.c_str(), 0);
        rounds.push_back({kLines / ours, 2 * kLines / (before + after)});
    }
    std::sort(rounds.begin(), rounds.end());
    return rounds[kRounds / 2];
}

double PerLineMicroseconds(double seconds) { return seconds * 1e6 / kLines; }

// The parts one line is made of, to show what dominates.
void PrintParts(const std::string& dir, const std::string& log) {
    HANDLE lock = CreateMutexA(nullptr, FALSE, "bench_parts.log");
    const double mutex = Timed(1, [lock](int count) {
        for (int i = 0; i < count; ++i) WaitForSingleObject(lock, 10000), ReleaseMutex(lock);
    });
    CloseHandle(lock);
    const double policy = Timed(1, [&log](int count) {
        for (int i = 0; i < count; ++i) logging::GetOutputPolicy(log.c_str())->IsOutput(TARNLOG_INFO);
    });
    TarnLogFileManager::CLogFileMap* files = TarnLogFileManager::CLogFileMap::GetInstance();
    const std::string other = dir + "\\parts.log", line = "0123456789 " + kText + "\r\n";
    const double manager = Timed(1, [&](int count) {
        for (int i = 0; i < count; ++i)
            files->Open(other.c_str()), files->AppendWithin(other.c_str(), line.c_str(), 1 << 30, 1);
    });
    printf("cost of one line, microseconds:\n");
    printf("  whole TARNLOG line                       %7.1f\n", PerLineMicroseconds(Logged(1)));
    printf("  bare line (format + WriteFile)           %7.1f\n", PerLineMicroseconds(Bare(dir + "\\b.log", 1, true)));
    printf("  named mutex wait and release             %7.1f\n", PerLineMicroseconds(mutex));
    printf("  output policy lookup and check           %7.1f\n", PerLineMicroseconds(policy));
    printf("  file manager open and append             %7.1f\n", PerLineMicroseconds(manager));
}

}  // namespace

int main() {
    char dir[MAX_PATH];
    CreateDirectoryA("C:\\bench-tmp", nullptr);
    wsprintfA(dir, "C:\\bench-tmp\\bench_tarnlog-%lu", GetCurrentProcessId());
    testutil::RemoveTree(dir);
    CreateDirectoryA(dir, nullptr);
    const std::string log = std::string(dir) + "\\bench.exe.log";
    CTarnLogWrapper(__FILE__, __LINE__).Initialize(log.c_str(), 4096, nullptr, -1, 0);

    const Round single = Measure(dir, log, 1, true), multi = Measure(dir, log, kThreads, true);
    const Round plain = Measure(dir, log, 1, false);
    bench::Report("log lines per second, 1 thread", single.ours, single.baseline, "lines/s", 0.9, false);
    bench::Report("log lines per second, 4 threads", multi.ours, multi.baseline, "lines/s", 0.9, false);
    bench::Report("log lines per second, 1 thread, against no mutex", plain.ours, plain.baseline, "lines/s", 0, false);
    PrintParts(dir, log);
    testutil::RemoveTree(dir);
    return 0;
}
