// What every test folder shares: processes, files, folders, kernel objects, keys, services, links, shortcuts, logs.
#pragma once
#include <windows.h>
#include <algorithm>
#include <string>
#include <vector>

namespace testutil {

// The scratch objects here own what they made; a copy would undo it twice.
struct NoCopy { NoCopy() = default; NoCopy(const NoCopy&) = delete; NoCopy& operator=(const NoCopy&) = delete; };

std::string Env(const char* name, const std::string& otherwise = "");
std::string OwnFolder();  // the running program's folder, with a trailing backslash
inline std::string ProbeExe() { return Env("PROBE_EXE", OwnFolder() + "probe.exe"); }
inline std::string TestServiceExe() { return Env("TESTSVC_EXE", OwnFolder() + "ops_testsvc.exe"); }
// True on a 64-bit prefix, where the registry has two views.
inline bool IsWow64Process() { BOOL wow = FALSE; return ::IsWow64Process(GetCurrentProcess(), &wow) && wow; }
inline bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string CommandLine(const std::string& exe, const std::vector<std::string>& args);  // each part quoted

// A started program, killed at destruction if it still runs; desktop: "station\\desktop" to start it on.
struct Child : NoCopy {
    explicit Child(const std::string& commandLine, bool suspended = false, bool capture = false,
                   const char* desktop = nullptr);
    Child(const std::string& exe, const std::vector<std::string>& args) : Child(CommandLine(exe, args)) {}
    ~Child();
    DWORD pid() const { return pi_.dwProcessId; }
    void Kill() { TerminateProcess(pi_.hProcess, 99), WaitForSingleObject(pi_.hProcess, 10000); }
    bool Ended(DWORD ms) const { return WaitForSingleObject(pi_.hProcess, ms) == WAIT_OBJECT_0; }
    DWORD Wait(DWORD ms = 120000);  // exit code, or STILL_ACTIVE when it did not end within ms
    PROCESS_INFORMATION pi_ = {};
    HANDLE out_ = nullptr;  // standard output and error, when captured
    DWORD started_ = 0, elapsed_ = 0;
};

// exitCode 0xFFFFFFFF: not started; STILL_ACTIVE: timed out (and killed).
struct RunResult { DWORD exitCode = 0xFFFFFFFF, elapsedMs = 0, pid = 0, tid = 0; std::string output; };
RunResult Run(const std::string& exe, const std::vector<std::string>& args);

std::string ReadBytes(const std::string& path);  // whole file, shared with writers; "" when missing
bool WriteBytes(const std::string& path, const std::string& bytes);
inline bool Copy(const std::string& from, const std::string& to) { return CopyFileA(from.c_str(), to.c_str(), FALSE); }
std::vector<std::string> FindFiles(const std::string& pattern);  // names only
void RemoveTree(const std::string& dir);                         // follows no link; cleanup only
bool MakeDeepTree(const std::string& root);  // folders below root past MAX_PATH, 表.txt at the bottom
std::string UniqueName(const std::string& tag);                  // "tag-<pid>-<n>", new on every call

// A fresh, empty folder C:\bench-tmp\<name>-<pid>-<n>, removed at destruction.
struct TempDir : NoCopy {
    explicit TempDir(const std::string& name = "t") : path_("C:\\bench-tmp\\" + UniqueName(name)) {
        CreateDirectoryA("C:\\bench-tmp", nullptr);
        RemoveTree(path_);  // a run whose process had the same id may have left it
        CreateDirectoryA(path_.c_str(), nullptr);
    }
    ~TempDir() { RemoveTree(path_); }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }
    const std::string path_;
};

// Sets or (value nullptr) removes an environment variable; restores it at destruction.
struct ScopedEnv : NoCopy {
    ScopedEnv(const char* name, const char* value) : name_(name) { SetEnvironmentVariableA(name, value); }
    ~ScopedEnv() { SetEnvironmentVariableA(name_.c_str(), had_ ? old_.c_str() : nullptr); }
    const std::string name_, old_ = Env(name_.c_str());
    const bool had_ = GetEnvironmentVariableA(name_.c_str(), nullptr, 0) > 0;
};

// A named manual-reset event "Local\<unique>", for another process to open.
struct Event : NoCopy {
    explicit Event(const std::string& tag) : name_("Local\\" + UniqueName(tag)) {}
    ~Event() { CloseHandle(h_); }
    HANDLE get() const { return h_; }
    const std::string& name() const { return name_; }
    const std::string name_;
    const HANDLE h_ = CreateEventA(nullptr, TRUE, FALSE, name_.c_str());
};

// A key under HKLM made for a test, deleted with its subtree at destruction. view: 0 or KEY_WOW64_*.
struct ScopedRegKey : NoCopy {
    explicit ScopedRegKey(const std::string& subkey, REGSAM view = 0) : subkey_(subkey), view_(view) {
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key_, 0);
    }
    ~ScopedRegKey() { RegCloseKey(key_), Delete(subkey_, view_); }
    HKEY get() const { return key_; }
    void SetString(const char* name, const std::string& value) {
        RegSetValueExA(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), value.size() + 1);
    }
    static void Delete(const std::string& subkey, REGSAM view);
    const std::string subkey_;
    const REGSAM view_;
    HKEY key_ = nullptr;
};

// A service running command, started if asked (awaited up to 30 s): 0 or the error. Removing ends its process.
DWORD InstallService(const std::string& name, const std::string& command, bool start);
void RemoveService(const std::string& name);
DWORD ServiceState(const std::string& name);                     // SERVICE_RUNNING etc., 0 when there is none
bool WaitForServiceState(const std::string& name, DWORD state);  // up to 30 s

// link becomes a symbolic link (/bin/ln: Wine shows only unix links as such); true when it is a reparse point then.
bool MakeLink(const std::string& link, const std::string& target);
void RemoveLink(const std::string& link);  // Wine's RemoveDirectory would empty the target
DWORD MakeShortcut(const std::string& lnk, const std::string& target);  // shell link object; 0 or HRESULT

// The GDI objects of this process: the system's count, or where that is 0 (Wine) the live entries of its handle table.
int GdiObjects();

struct LogLine { std::string time, mark, source, line, ids, message; };  // "time\tmark\tsource\tline\tpid:tid\tmessage"
// The lines of a log; empty ones are skipped, and so are lines of another layout, which clear *allParsed.
std::vector<LogLine> ParseAll(const std::string& bytes, bool* allParsed = nullptr);
inline int CountMessages(const std::vector<LogLine>& lines, const std::string& message) {
    return std::count_if(lines.begin(), lines.end(), [&](const LogLine& l) { return l.message == message; });
}

// What this process logs from construction on (the first one opens the process's log in a scratch file).
struct LogCapture {
    LogCapture();
    std::string Text() const;
    bool Has(const std::string& text) const { return Text().find(text) != std::string::npos; }
    const size_t start_;
};

}  // namespace testutil
