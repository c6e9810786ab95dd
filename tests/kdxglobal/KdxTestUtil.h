// What the product-environment and crash tests share: the folder of the
// built helpers, running a helper program with its output captured, and
// small file helpers.
#pragma once
#include <windows.h>

#include "TestUtil.h"
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace kdxtest {

using testutil::OwnFolder;

struct RunResult {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output;
};

// Runs exe with args (each quoted), waits and collects its standard output.
inline RunResult Run(const std::string& exe, const std::vector<std::string>& args, DWORD timeoutMs = 120000) {
    RunResult result;
    SECURITY_ATTRIBUTES sa = {sizeof(sa), NULL, TRUE};
    HANDLE readEnd = NULL, writeEnd = NULL;
    if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) return result;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    std::string line = "\"" + exe + "\"";
    for (const std::string& a : args) line += " \"" + a + "\"";
    STARTUPINFOA si = {sizeof(si)};
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi = {};
    BOOL started = CreateProcessA(exe.c_str(), &line[0], NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi);
    CloseHandle(writeEnd);
    if (started) {
        char buf[4096];
        DWORD got = 0;
        while (ReadFile(readEnd, buf, sizeof(buf), &got, NULL) && got) result.output.append(buf, got);
        if (WaitForSingleObject(pi.hProcess, timeoutMs) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 99);
        GetExitCodeProcess(pi.hProcess, &result.exitCode);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    CloseHandle(readEnd);
    return result;
}

using testutil::Exists;

inline void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline bool Copy(const std::string& from, const std::string& to) { return CopyFileA(from.c_str(), to.c_str(), FALSE) != 0; }

// Sets or (value NULL) removes an environment variable for this process and
// puts the old state back at destruction.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        char buf[1024];
        DWORD n = GetEnvironmentVariableA(name, buf, sizeof(buf));
        had_ = n > 0 && n < sizeof(buf);
        if (had_) old_ = buf;
        SetEnvironmentVariableA(name, value);
    }
    ~ScopedEnv() { SetEnvironmentVariableA(name_.c_str(), had_ ? old_.c_str() : NULL); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_, old_;
    bool had_ = false;
};

// The product's keys as this 32-bit program sees them: on 64-bit Windows
// the 32-bit view (the flag is ignored on 32-bit Windows).
const char kSettingsKey[] = "SOFTWARE\\Zev Product\\VELMORClientView\\KdmInst";
const char kProductRoot[] = "SOFTWARE\\Zev Product";
const char kRvuKey[] = "SOFTWARE\\Zev Product\\RVU\\ClientService";

}  // namespace kdxtest
