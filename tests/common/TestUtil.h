// What every test folder shares: the bench, processes, files, scratch
// folders, kernel objects, registry keys, links, shortcuts and log lines.
// Texts are code page 932 bytes, as the tests' literals are.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace testutil {

// ---- the bench ----
std::string BenchKind();     // "win64" or "win32": the kind of Wine prefix the test runs in
std::string OwnFolder();     // the running program's folder, with a trailing backslash
std::string ProbeExe();      // the probe program (PROBE_EXE, else beside the test)
bool IsWow64Process();
bool Exists(const std::string& path);

// ---- processes ----
// A command line: exe and each argument quoted.
std::string CommandLine(const std::string& exe, const std::vector<std::string>& args);

// A started program, killed at destruction if it still runs.
class Child {
public:
    explicit Child(const std::string& commandLine, bool suspended = false, bool capture = false);
    Child(const std::string& exe, const std::vector<std::string>& args) : Child(CommandLine(exe, args)) {}
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    bool started() const { return pi_.hProcess != nullptr; }
    HANDLE process() const { return pi_.hProcess; }
    DWORD pid() const { return pi_.dwProcessId; }
    DWORD tid() const { return pi_.dwThreadId; }
    DWORD elapsedMs() const { return elapsed_; }
    void Resume() { ResumeThread(pi_.hThread); }
    void Kill();
    bool Ended(DWORD ms) const { return WaitForSingleObject(pi_.hProcess, ms) == WAIT_OBJECT_0; }
    // Exit code, or STILL_ACTIVE when it did not end within ms.
    DWORD Wait(DWORD ms = 120000);
    // Standard output and error (capture only), read to their end.
    std::string Output();

private:
    PROCESS_INFORMATION pi_ = {};
    HANDLE out_ = nullptr;
    DWORD started_ = 0, elapsed_ = 0;
};

struct RunResult {
    DWORD exitCode = 0xFFFFFFFF;
    DWORD elapsedMs = 0;
    DWORD pid = 0, tid = 0;
    std::string output;
};
// Runs exe with args to its end (or timeout), its output captured.
RunResult Run(const std::string& exe, const std::vector<std::string>& args, DWORD timeoutMs = 120000);
// Runs the probe: probe.exe sub args...
RunResult Probe(const std::string& sub, std::vector<std::string> args = {});

// ---- files ----
std::string ReadBytes(const std::string& path);  // whole file, shared with writers; "" when missing
bool WriteBytes(const std::string& path, const std::string& bytes);
bool Copy(const std::string& from, const std::string& to);  // overwrites
std::vector<std::string> Lines(const std::string& bytes);        // split at CR LF, no empty last line
std::vector<std::string> FindFiles(const std::string& pattern);  // names only
void RemoveTree(const std::string& dir);                         // no link followed; cleanup only

// A fresh, empty folder C:\bench-tmp\<name>-<pid>-<n>, removed at destruction.
class TempDir {
public:
    explicit TempDir(const std::string& name = "t");
    ~TempDir() { RemoveTree(path_); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

// Sets or (value nullptr) removes an environment variable; restores it at destruction.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_, old_;
    bool had_ = false;
};

// ---- kernel objects ----
std::string UniqueName(const std::string& tag);  // "tag-<pid>-<n>", new on every call

// A named manual-reset event ("Local\<unique>"), for another process to open.
class Event {
public:
    explicit Event(const std::string& tag);
    ~Event() { CloseHandle(h_); }
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;
    HANDLE get() const { return h_; }
    const std::string& name() const { return name_; }

private:
    std::string name_;
    HANDLE h_;
};

// ---- registry ----
// A key under HKLM created for a test, deleted with its subtree at
// destruction. view is 0, KEY_WOW64_64KEY or KEY_WOW64_32KEY.
class ScopedRegKey {
public:
    explicit ScopedRegKey(const std::string& subkey, REGSAM view = 0);
    ~ScopedRegKey();
    ScopedRegKey(const ScopedRegKey&) = delete;
    ScopedRegKey& operator=(const ScopedRegKey&) = delete;
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
// Makes link a symbolic link to target (a folder or a file). Wine shows only
// unix symbolic links as reparse points, so there it is made with /bin/ln.
// True when link is a reparse point afterwards.
bool MakeLink(const std::string& link, const std::string& target);
void RemoveLink(const std::string& link);  // Wine's RemoveDirectory would empty the target
// A .lnk at path leading to target, made by the shell link object; 0 or the HRESULT.
DWORD MakeShortcut(const std::string& path, const std::string& target);

// ---- product log ----
// One line "time\tmark\tsource\tline\tpid:tid\tmessage".
struct LogLine {
    std::string time, mark, source, line, ids, message;
};
bool Parse(const std::string& text, LogLine* out);  // false when the layout is broken
// The lines of a log; empty lines (after an end banner) are skipped.
std::vector<LogLine> ParseAll(const std::string& bytes, bool* allParsed = nullptr);
int CountMessages(const std::vector<LogLine>& lines, const std::string& message);

// What this process logs from construction on: the first one opens the
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
