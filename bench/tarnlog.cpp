// Throughput of TARNLOG against a bare appender that opens its file once and
// writes each formatted line with one WriteFile, waiting for and releasing a
// named mutex per line as the log writer does (and, for reference, without).
// The log writer runs in a child process of its own (its paths are set once
// per process), which also times the parts of one line to show what dominates.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <thread>
#include <vector>

#include "BenchUtil.h"
#include "TarnLog/TarnLog.h"
#include "TarnLog/TarnLogFileManager.h"
#include "TarnLog/TarnLogOutputPolicy.h"
#include "TarnLog/TarnLogWriter.h"

namespace {

const int kLines = 20000;
const int kThreads = 4;
const std::string kText(96, 'm');  // with the counter about 100 bytes

double Seconds() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Runs body(thread, count) on threads threads sharing kLines lines; seconds taken.
template <typename Body>
double Timed(int threads, Body body) {
    double start = Seconds();
    if (threads == 1) {
        body(0, kLines);
    } else {
        std::vector<std::thread> running;
        for (int t = 0; t < threads; ++t) running.emplace_back(body, t, kLines / threads);
        for (std::thread& t : running) t.join();
    }
    return Seconds() - start;
}

// The baseline: format the same line and append it with one WriteFile, under the named mutex when asked.
double Bare(const std::string& path, int threads, bool withMutex) {
    HANDLE lock = withMutex ? CreateMutexA(NULL, FALSE, "bench_bare.log") : NULL;
    HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return 0;
    double seconds = Timed(threads, [file, lock](int thread, int count) {
        char line[2048];
        for (int i = 0; i < count; ++i) {
            if (lock) WaitForSingleObject(lock, 10000);
            SYSTEMTIME now;
            GetLocalTime(&now);
            int n = wsprintfA(line, "%04d/%02d/%02d %02d:%02d:%02d:%03d\t%s\t%s\t%d\t%x:%x\t%d %s\r\n", now.wYear,
                              now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds, "..",
                              "bench_tarnlog.cpp", __LINE__, GetCurrentProcessId(), GetCurrentThreadId(), i,
                              kText.c_str());
            DWORD written = 0;
            WriteFile(file, line, n, &written, NULL);
            if (lock) ReleaseMutex(lock);
        }
    });
    CloseHandle(file);
    if (lock) CloseHandle(lock);
    return seconds;
}

double PerLineMicroseconds(double seconds) { return seconds * 1e6 / kLines; }

// Child: the log writer itself, and the parts one line is made of.
int RunLogWriter(const std::string& dir) {
    const std::string log = dir + "\\bench.exe.log";
    CTarnLogWrapper(__FILE__, __LINE__).Initialize(log.c_str(), 4096, NULL, -1, 0);
    TarnLogFileManager::CLogFileMap* files = TarnLogFileManager::CLogFileMap::GetInstance();

    double single = Timed(1, [](int, int count) {
        for (int i = 0; i < count; ++i) TARNLOG(TARNLOG_INFO, "%d %s", i, kText.c_str());
    });
    files->Rotate(log.c_str(), 0);
    double multi = Timed(kThreads, [](int, int count) {
        for (int i = 0; i < count; ++i) TARNLOG(TARNLOG_INFO, "%d %s", i, kText.c_str());
    });
    files->Rotate(log.c_str(), 0);

    HANDLE lock = CreateMutexA(NULL, FALSE, "bench.exe.log");
    double mutex = Timed(1, [lock](int, int count) {
        for (int i = 0; i < count; ++i) {
            WaitForSingleObject(lock, 10000);
            ReleaseMutex(lock);
        }
    });
    CloseHandle(lock);
    double policy = Timed(1, [&log](int, int count) {
        for (int i = 0; i < count; ++i) logging::GetOutputPolicy(log.c_str())->IsOutput(TARNLOG_INFO);
    });
    const std::string other = dir + "\\parts.log";
    double manager = Timed(1, [files, &other](int, int count) {
        std::string line = "0123456789 " + kText + "\r\n";
        for (int i = 0; i < count; ++i) {
            files->Open(other.c_str());
            files->GetSize(other.c_str());
            files->Append(other.c_str(), line.c_str());
        }
    });
    double format = Timed(1, [](int, int count) {
        char line[2048];
        for (int i = 0; i < count; ++i) {
            SYSTEMTIME now;
            GetLocalTime(&now);
            wsprintfA(line, "%04d/%02d/%02d %02d:%02d:%02d:%03d\t%s\t%s\t%d\t%x:%x\t", now.wYear, now.wMonth,
                      now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds, "..", "x.cpp", 1,
                      GetCurrentProcessId(), GetCurrentThreadId());
            _snprintf(line + 100, 1023, "%d %s", i, kText.c_str());
        }
    });
    files->Rotate(other.c_str(), 0);

    FILE* out = fopen((dir + "\\result.txt").c_str(), "w");
    if (!out) return 1;
    fprintf(out, "%f %f %f %f %f %f\n", single, multi, mutex, policy, manager, format);
    fclose(out);
    return 0;
}

void RemoveTree(const std::string& dir) {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::string name = fd.cFileName;
            if (name != "." && name != "..") DeleteFileA((dir + "\\" + name).c_str());
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryA(dir.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--tarnlog") return RunLogWriter(argv[2]);

    char dir[MAX_PATH];
    CreateDirectoryA("C:\\bench-tmp", NULL);
    wsprintfA(dir, "C:\\bench-tmp\\bench_tarnlog-%lu", GetCurrentProcessId());
    RemoveTree(dir);
    CreateDirectoryA(dir, NULL);

    double bareSingle = Bare(std::string(dir) + "\\bare1.log", 1, true);
    double bareMulti = Bare(std::string(dir) + "\\bare4.log", kThreads, true);
    double plainSingle = Bare(std::string(dir) + "\\plain1.log", 1, false);

    char self[MAX_PATH] = {0};
    GetModuleFileNameA(NULL, self, MAX_PATH);
    std::string command = std::string("\"") + self + "\" --tarnlog \"" + dir + "\"";
    STARTUPINFOA si = {sizeof(si)};
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(self, &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)) {
        printf("cannot start the log writer run: %lu\n", GetLastError());
        return 1;
    }
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);

    double single = 0, multi = 0, mutex = 0, policy = 0, manager = 0, format = 0;
    FILE* in = fopen((std::string(dir) + "\\result.txt").c_str(), "r");
    int got = in ? fscanf(in, "%lf %lf %lf %lf %lf %lf", &single, &multi, &mutex, &policy, &manager, &format) : 0;
    if (in) fclose(in);
    RemoveTree(dir);
    if (code != 0 || got != 6 || single <= 0 || bareSingle <= 0) {
        printf("the log writer run failed (exit %lu)\n", code);
        return 1;
    }

    bench::Report("log lines per second, 1 thread", kLines / single, kLines / bareSingle, "lines/s", 0.9, false);
    bench::Report("log lines per second, 4 threads", kLines / multi, kLines / bareMulti, "lines/s", 0.9, false);
    bench::Report("log lines per second, 1 thread, against no mutex", kLines / single, kLines / plainSingle, "lines/s",
                  0, false);
    printf("cost of one line, microseconds:\n");
    printf("  whole TARNLOG line                       %7.1f\n", PerLineMicroseconds(single));
    printf("  bare line (format + WriteFile)           %7.1f\n", PerLineMicroseconds(bareSingle));
    printf("  named mutex wait and release             %7.1f\n", PerLineMicroseconds(mutex));
    printf("  output policy lookup and check           %7.1f\n", PerLineMicroseconds(policy));
    printf("  file manager open/size/append            %7.1f\n", PerLineMicroseconds(manager));
    printf("  time, header and message formatting      %7.1f\n", PerLineMicroseconds(format));
    return 0;
}
