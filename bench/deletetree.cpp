// Times DeleteTree against "cmd /c rd /s /q" on two identical trees of
// 10,000 files in 500 folders, built in the same run, and prints the ratio.
//   bench_deletetree [rounds]   (default 1; the order alternates per round)
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include "LIB/Util/PellionUtil.h"

namespace {

const int kTop = 20, kSub = 24, kFilesPerFolder = 20;  // 20 + 20*24 = 500 folders, 10,000 files

bool MakeFolderWithFiles(const std::string& dir) {
    if (!CreateDirectoryA(dir.c_str(), nullptr)) return false;
    for (int f = 0; f < kFilesPerFolder; ++f) {
        char name[32];
        snprintf(name, sizeof(name), "\\file%02d.dat", f);
        HANDLE h = CreateFileA((dir + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        DWORD written = 0;
        WriteFile(h, name, 16, &written, nullptr);
        CloseHandle(h);
    }
    return true;
}

bool BuildTree(const std::string& root) {
    if (!CreateDirectoryA(root.c_str(), nullptr)) return false;
    for (int t = 0; t < kTop; ++t) {
        const std::string top = root + "\\top" + std::to_string(t);
        if (!MakeFolderWithFiles(top)) return false;
        for (int s = 0; s < kSub; ++s)
            if (!MakeFolderWithFiles(top + "\\sub" + std::to_string(s))) return false;
    }
    return true;
}

double Now() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

double TimeDeleteTree(const std::string& root) {
    const double start = Now();
    const BOOL ok = DeleteTree(root.c_str(), FALSE);
    const double seconds = Now() - start;
    if (!ok) printf("DeleteTree failed (%lu)\n", GetLastError());
    return seconds;
}

double TimeRd(const std::string& root) {
    std::string cmd = "cmd.exe /c rd /s /q \"" + root + "\"";
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back('\0');
    STARTUPINFOA si = {sizeof(si)};
    PROCESS_INFORMATION pi = {};
    const double start = Now();
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        printf("cmd failed to start (%lu)\n", GetLastError());
        return 0;
    }
    WaitForSingleObject(pi.hProcess, INFINITE);
    const double seconds = Now() - start;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return seconds;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? atoi(argv[1]) : 1;
    CreateDirectoryA("C:\\bench-tmp", nullptr);
    const std::string base = "C:\\bench-tmp\\bench-deletetree-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(base.c_str(), nullptr);
    double ours = 0, rd = 0;
    for (int r = 0; r < rounds; ++r) {
        const std::string a = base + "\\a", b = base + "\\b";
        const double buildStart = Now();
        if (!BuildTree(a) || !BuildTree(b)) {
            printf("building the trees failed (%lu)\n", GetLastError());
            return 1;
        }
        printf("round %d: built 2 x %d files in %d folders in %.2f s\n", r + 1, kTop * (kSub + 1) * kFilesPerFolder,
               kTop * (kSub + 1), Now() - buildStart);
        double t1, t2;
        if (r % 2 == 0) {
            t1 = TimeDeleteTree(a);
            t2 = TimeRd(b);
        } else {
            t2 = TimeRd(b);
            t1 = TimeDeleteTree(a);
        }
        const bool gone = GetFileAttributesA(a.c_str()) == INVALID_FILE_ATTRIBUTES &&
                          GetFileAttributesA(b.c_str()) == INVALID_FILE_ATTRIBUTES;
        printf("round %d: DeleteTree %.3f s, rd /s /q %.3f s%s\n", r + 1, t1, t2, gone ? "" : " (NOT ALL DELETED)");
        ours += t1;
        rd += t2;
    }
    RemoveDirectoryA(base.c_str());
    printf("DeleteTree %.3f s, rd /s /q %.3f s, ratio %.2f (target <= 1.5)\n", ours, rd, rd > 0 ? ours / rd : 0.0);
    return 0;
}
