// The log of a test process: written to a scratch file so a test can see
// which lines an operation wrote (code page 932 bytes).
#pragma once
#include <windows.h>
#include <string>

#include "TarnLog/TarnLog.h"

namespace opslog {

// Ends the log and removes its files when the test program ends.
struct LogFiles {
    std::string path;
    ~LogFiles() {
        if (path.empty()) return;
        CTarnLogWrapper(__FILE__, __LINE__).Terminate();
        DeleteFileA(path.c_str());
        DeleteFileA((path.substr(0, path.size() - 4) + "_dmp.log").c_str());
    }
};

inline const std::string& Path() {
    static LogFiles files;
    std::string& path = files.path;
    if (path.empty()) {
        CreateDirectoryA("C:\\bench-tmp", NULL);
        char buf[MAX_PATH];
        wsprintfA(buf, "C:\\bench-tmp\\ops-log-%lu.log", GetCurrentProcessId());
        path = buf;
        // The writer keeps its file open to the end, so a run removes what
        // earlier runs left.
        WIN32_FIND_DATAA data;
        HANDLE find = FindFirstFileA("C:\\bench-tmp\\ops-log-*.log", &data);
        if (find != INVALID_HANDLE_VALUE) {
            do DeleteFileA((std::string("C:\\bench-tmp\\") + data.cFileName).c_str());
            while (FindNextFileA(find, &data));
            FindClose(find);
        }
        CTarnLogWrapper(__FILE__, __LINE__).Initialize(buf, 4096, NULL, -1, 0);
    }
    return path;
}

inline std::string ReadAll() {
    std::string bytes;
    HANDLE file = CreateFileA(Path().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, NULL) && got) bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

// What was logged from its construction on.
class Capture {
public:
    Capture() : start_((Path(), ReadAll().size())) {}
    std::string Text() const {
        CTarnLogWrapper(__FILE__, __LINE__).FlushAll();
        std::string all = ReadAll();
        return all.size() > start_ ? all.substr(start_) : std::string();
    }
    bool Has(const std::string& text) const { return Text().find(text) != std::string::npos; }

private:
    size_t start_;
};

}  // namespace opslog
