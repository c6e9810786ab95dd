// What the log tests share: running the helper writer program, reading log
// files byte for byte and splitting their lines into the header fields.
#pragma once
#include <windows.h>

#include "TestUtil.h"
#include <string>
#include <vector>

namespace logtest {

using testutil::OwnFolder;

// The helper program built beside the test program.
inline std::string WriterExe() { return OwnFolder() + "tarnlog_writer.exe"; }

struct Run {
    DWORD exitCode = 0xFFFFFFFF;
    DWORD elapsedMs = 0;
    DWORD pid = 0;
    DWORD tid = 0;
};

// A started program; its handles are closed at destruction.
class Child {
public:
    Child(const std::string& exe, const std::vector<std::string>& args) {
        std::string line = "\"" + exe + "\"";
        for (const std::string& a : args) line += " \"" + a + "\"";
        STARTUPINFOA si = {sizeof(si)};
        started_ = GetTickCount();
        if (CreateProcessA(exe.c_str(), &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi_)) {
            run_.pid = pi_.dwProcessId;
            run_.tid = pi_.dwThreadId;
        }
    }
    ~Child() {
        if (pi_.hProcess) {
            if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi_.hProcess, 99);
            CloseHandle(pi_.hProcess);
            CloseHandle(pi_.hThread);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    Run Wait(DWORD timeoutMs = 120000) {
        if (pi_.hProcess && WaitForSingleObject(pi_.hProcess, timeoutMs) == WAIT_OBJECT_0) {
            run_.elapsedMs = GetTickCount() - started_;
            GetExitCodeProcess(pi_.hProcess, &run_.exitCode);
        }
        return run_;
    }

private:
    PROCESS_INFORMATION pi_ = {};
    Run run_;
    DWORD started_ = 0;
};

inline Run RunProgram(const std::string& exe, const std::vector<std::string>& args) {
    return Child(exe, args).Wait();
}

inline Run RunWriter(const std::vector<std::string>& args) { return RunProgram(WriterExe(), args); }

using testutil::Exists;

inline std::string ReadBytes(const std::string& path) {
    std::string bytes;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0,
                              NULL);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, NULL) && got) bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, NULL);
    CloseHandle(file);
}

// Lines without their CR LF; a file ending in CR LF gives no empty last entry.
inline std::vector<std::string> Lines(const std::string& bytes) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(bytes.substr(start));
            break;
        }
        lines.push_back(bytes.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

struct LogLine {
    std::string time, mark, source, line, ids, message;
};

// Splits "time\tmark\tsource\tline\tpid:tid\tmessage"; false when the layout is broken.
inline bool Parse(const std::string& text, LogLine* out) {
    std::string* fields[] = {&out->time, &out->mark, &out->source, &out->line, &out->ids};
    size_t start = 0;
    for (std::string* field : fields) {
        size_t tab = text.find('\t', start);
        if (tab == std::string::npos) return false;
        *field = text.substr(start, tab - start);
        start = tab + 1;
    }
    out->message = text.substr(start);
    const std::string& t = out->time;
    if (t.size() != 23) return false;
    for (size_t i = 0; i < t.size(); ++i) {
        char expected = "0000/00/00 00:00:00:000"[i];
        if (expected == '0' ? (t[i] < '0' || t[i] > '9') : t[i] != expected) return false;
    }
    return true;
}

// The lines of a log; the empty line after an end banner is skipped.
inline std::vector<LogLine> ParseAll(const std::string& bytes, bool* allParsed = nullptr) {
    std::vector<LogLine> parsed;
    bool ok = true;
    for (const std::string& text : Lines(bytes)) {
        if (text.empty()) continue;
        LogLine line;
        if (Parse(text, &line))
            parsed.push_back(line);
        else
            ok = false;
    }
    if (allParsed) *allParsed = ok;
    return parsed;
}

inline int CountMessages(const std::vector<LogLine>& lines, const std::string& message) {
    int n = 0;
    for (const LogLine& l : lines) n += l.message == message;
    return n;
}

inline std::vector<std::string> FindFiles(const std::string& pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(pattern.c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return names;
    do names.push_back(fd.cFileName);
    while (FindNextFileA(h, &fd));
    FindClose(h);
    return names;
}

}  // namespace logtest
