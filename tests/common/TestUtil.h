// What every test folder shares: the bench, processes, files, scratch
// folders, kernel objects, registry keys, links, shortcuts and log lines.
// Texts are code page 932 bytes, as the tests' literals are.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace testutil {

#define TESTUTIL_NO_COPY(T) \
    T(const T&) = delete;   \
    T& operator=(const T&) = delete

// ---- the bench ----
std::string BenchKind();  // "win64" or "win32": the kind of Wine prefix the test runs in
std::string OwnFolder();  // the running program's folder, with a trailing backslash
std::string ProbeExe();   // the probe program: PROBE_EXE, else beside the test
bool IsWow64Process();
bool Exists(const std::string& path);

// ---- processes ----
std::string CommandLine(const std::string& exe, const std::vector<std::string>& args);  // each part quoted

// A started program, killed at destruction if it still runs.
class Child {
public:
    explicit Child(const std::string& commandLine, bool suspended = false, bool capture = false);
    Child(const std::string& exe, const std::vector<std::string>& args) : Child(CommandLine(exe, args)) {}
    ~Child();
    TESTUTIL_NO_COPY(Child);
    bool started() const { return pi_.hProcess != nullptr; }
    HANDLE process() const { return pi_.hProcess; }
    DWORD pid() const { return pi_.dwProcessId; }
    DWORD tid() const { return pi_.dwThreadId; }
    DWORD elapsedMs() const { return elapsed_; }  // start to the end Wait saw
    void Resume() { ResumeThread(pi_.hThread); }
    void Kill();
    bool Ended(DWORD ms) const { return WaitForSingleObject(pi_.hProcess, ms) == WAIT_OBJECT_0; }
    DWORD Wait(DWORD ms = 120000);  // exit code, or STILL_ACTIVE when it did not end within ms
    std::string Output();           // standard output and error (capture only), read to their end

private:
    PROCESS_INFORMATION pi_ = {};
    HANDLE out_ = nullptr;
    DWORD started_ = 0, elapsed_ = 0;
};

struct RunResult {
    DWORD exitCode = 0xFFFFFFFF;  // not started; STILL_ACTIVE: timed out (and killed)
    DWORD elapsedMs = 0, pid = 0, tid = 0;
    std::string output;
};
RunResult Run(const std::string& exe, const std::vector<std::string>& args);  // waits up to 2 min
RunResult Probe(const std::string& sub, std::vector<std::string> args = {});  // probe.exe sub args...

// ---- files ----
std::string ReadBytes(const std::string& path);  // whole file, shared with writers; "" when missing
bool WriteBytes(const std::string& path, const std::string& bytes);
bool Copy(const std::string& from, const std::string& to);       // overwrites
std::vector<std::string> Lines(const std::string& bytes);        // split at CR LF, no empty last line
std::vector<std::string> FindFiles(const std::string& pattern);  // names only
void RemoveTree(const std::string& dir);                         // follows no link; cleanup only

// A fresh, empty folder C:\bench-tmp\<name>-<pid>-<n>, removed at destruction.
class TempDir {
public:
    explicit TempDir(const std::string& name = "t");
    ~TempDir() { RemoveTree(path_); }
    TESTUTIL_NO_COPY(TempDir);
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

// Sets or (value nullptr) removes an environment variable; restores it at destruction.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv() { SetEnvironmentVariableA(name_.c_str(), had_ ? old_.c_str() : nullptr); }
    TESTUTIL_NO_COPY(ScopedEnv);

private:
    std::string name_, old_;
    bool had_ = false;
};

// ---- kernel objects ----
std::string UniqueName(const std::string& tag);  // "tag-<pid>-<n>", new on every call

// A named manual-reset event "Local\<unique>", for another process to open.
class Event {
public:
    explicit Event(const std::string& tag);
    ~Event() { CloseHandle(h_); }
    TESTUTIL_NO_COPY(Event);
    HANDLE get() const { return h_; }
    const std::string& name() const { return name_; }

private:
    std::string name_;
    HANDLE h_;
};

// ---- registry ----
// A key under HKLM made for a test, deleted with its subtree at destruction.
// view is 0, KEY_WOW64_64KEY or KEY_WOW64_32KEY.
class ScopedRegKey {
public:
    explicit ScopedRegKey(const std::string& subkey, REGSAM view = 0);
    ~ScopedRegKey();
    TESTUTIL_NO_COPY(ScopedRegKey);
    HKEY get() const { return key_; }
    void SetString(const char* name, const std::string& value);
    void SetDword(const char* name, DWORD value);
    static void Delete(const std::string& subkey, REGSAM view);

private:
    std::string subkey_;
    REGSAM view_;
    HKEY key_ = nullptr;
};

// ---- links and shortcuts ----
// link becomes a symbolic link to target (folder or file); true when it is a
// reparse point then. Wine shows only unix links as such: made with /bin/ln.
bool MakeLink(const std::string& link, const std::string& target);
void RemoveLink(const std::string& link);  // Wine's RemoveDirectory would empty the target
DWORD MakeShortcut(const std::string& lnk, const std::string& target);  // shell link object; 0 or HRESULT

// ---- product log ----
// One line "time\tmark\tsource\tline\tpid:tid\tmessage".
struct LogLine {
    std::string time, mark, source, line, ids, message;
};
// The lines of a log; empty lines (after an end banner) are skipped.
std::vector<LogLine> ParseAll(const std::string& bytes, bool* allParsed = nullptr);
int CountMessages(const std::vector<LogLine>& lines, const std::string& message);

// What this process logs from construction on; the first one opens the
// process's log in a scratch file, kept to the end of the program.
class LogCapture {
public:
    LogCapture();
    std::string Text() const;
    bool Has(const std::string& text) const { return Text().find(text) != std::string::npos; }

private:
    size_t start_;
};

}  // namespace testutil
