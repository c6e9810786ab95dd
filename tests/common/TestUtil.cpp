#include "TestUtil.h"

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "TarnLog/TarnLog.h"

namespace testutil {

namespace {

std::string Env(const char* name, const std::string& otherwise) {
    char buf[1024] = {0};
    DWORD n = GetEnvironmentVariableA(name, buf, sizeof(buf));
    return n > 0 && n < sizeof(buf) ? buf : otherwise;
}

std::string ReadToEnd(HANDLE h) {
    std::string bytes;
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof(buf), &got, nullptr) && got) bytes.append(buf, got);
    return bytes;
}

// Under Wine: the unix name of a Windows path (empty elsewhere).
std::string UnixName(const std::string& path) {
    typedef char*(CDECL * UnixNameFn)(LPCWSTR);
    auto unixName =
        reinterpret_cast<UnixNameFn>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name"));
    wchar_t w[MAX_PATH] = {0};
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, w, MAX_PATH);
    char* u = unixName ? unixName(w) : nullptr;
    if (!u) return "";
    std::string s = u;
    HeapFree(GetProcessHeap(), 0, u);
    return s;
}

// Wine starts a unix program without a handle that can be waited on, so
// the effect, the path appearing or vanishing, is awaited (up to 10 s).
void RunUnixAndAwait(const std::string& commandLine, const std::string& path, bool present) {
    { Child unix(commandLine); }
    for (int i = 0; i < 200; ++i, Sleep(50)) {
        WIN32_FIND_DATAA fd;
        HANDLE h = FindFirstFileA(path.c_str(), &fd);
        if (h != INVALID_HANDLE_VALUE) FindClose(h);
        if ((h != INVALID_HANDLE_VALUE) == present) return;
    }
}

// false when the layout is broken.
bool Parse(const std::string& text, LogLine* out) {
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

// The log file of this process; ended and removed when the program ends.
struct CaptureFile {
    std::string path;
    ~CaptureFile() {
        if (path.empty()) return;
        CTarnLogWrapper(__FILE__, __LINE__).Terminate();
        DeleteFileA(path.c_str());
        DeleteFileA((path.substr(0, path.size() - 4) + "_dmp.log").c_str());
    }
};

const std::string& CapturePath() {
    static CaptureFile file;
    if (file.path.empty()) {
        CreateDirectoryA("C:\\bench-tmp", nullptr);
        // The writer keeps its file open to the end, so a run removes what earlier runs left.
        for (const std::string& name : FindFiles("C:\\bench-tmp\\log-capture-*.log"))
            DeleteFileA(("C:\\bench-tmp\\" + name).c_str());
        file.path = "C:\\bench-tmp\\log-capture-" + std::to_string(GetCurrentProcessId()) + ".log";
        CTarnLogWrapper(__FILE__, __LINE__).Initialize(file.path.c_str(), 4096, nullptr, -1, 0);
    }
    return file.path;
}

}  // namespace

std::string BenchKind() { return Env("BENCH_KIND", "win64"); }
std::string ProbeExe() { return Env("PROBE_EXE", OwnFolder() + "probe.exe"); }

std::string OwnFolder() {
    char path[MAX_PATH] = {0};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    return folder.substr(0, folder.find_last_of('\\') + 1);
}

bool IsWow64Process() {
    BOOL wow = FALSE;
    ::IsWow64Process(GetCurrentProcess(), &wow);
    return wow != FALSE;
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string CommandLine(const std::string& exe, const std::vector<std::string>& args) {
    std::string line = "\"" + exe + "\"";
    for (const std::string& a : args) line += " \"" + a + "\"";
    return line;
}

Child::Child(const std::string& commandLine, bool suspended, bool capture) {
    STARTUPINFOA si = {sizeof(si)};
    HANDLE writeEnd = nullptr;
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
    if (capture && CreatePipe(&out_, &writeEnd, &sa, 0)) {
        SetHandleInformation(out_, HANDLE_FLAG_INHERIT, 0);
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = si.hStdError = writeEnd;
        si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    }
    std::string line = commandLine;
    started_ = GetTickCount();
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, writeEnd != nullptr, suspended ? CREATE_SUSPENDED : 0,
                        nullptr, nullptr, &si, &pi_) ||
        !pi_.hProcess)  // Wine starts a unix program with no handles and a stray thread handle value
        pi_ = PROCESS_INFORMATION();
    if (writeEnd) CloseHandle(writeEnd);
}

Child::~Child() {
    if (pi_.hProcess && WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) Kill();
    if (pi_.hProcess) CloseHandle(pi_.hProcess);
    if (pi_.hThread) CloseHandle(pi_.hThread);
    if (out_) CloseHandle(out_);
}

void Child::Kill() {
    TerminateProcess(pi_.hProcess, 99);
    WaitForSingleObject(pi_.hProcess, 10000);
}

DWORD Child::Wait(DWORD ms) {
    DWORD code = STILL_ACTIVE;
    if (pi_.hProcess && WaitForSingleObject(pi_.hProcess, ms) == WAIT_OBJECT_0) {
        elapsed_ = GetTickCount() - started_;
        GetExitCodeProcess(pi_.hProcess, &code);
    }
    return code;
}

std::string Child::Output() { return out_ ? ReadToEnd(out_) : std::string(); }

RunResult Run(const std::string& exe, const std::vector<std::string>& args) {
    RunResult result;
    Child child(CommandLine(exe, args), false, true);
    if (!child.started()) return result;
    result.pid = child.pid();
    result.tid = child.tid();
    result.output = child.Output();
    result.exitCode = child.Wait();
    result.elapsedMs = child.elapsedMs();
    return result;
}

RunResult Probe(const std::string& sub, std::vector<std::string> args) {
    args.insert(args.begin(), sub);
    return Run(ProbeExe(), args);
}

std::string ReadBytes(const std::string& path) {
    std::string bytes;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    bytes = ReadToEnd(file);
    CloseHandle(file);
    return bytes;
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

bool Copy(const std::string& from, const std::string& to) { return CopyFileA(from.c_str(), to.c_str(), FALSE) != 0; }

std::vector<std::string> Lines(const std::string& bytes) {
    std::vector<std::string> lines;
    for (size_t start = 0; start < bytes.size();) {
        size_t end = bytes.find("\r\n", start);
        if (end == std::string::npos) end = bytes.size();
        lines.push_back(bytes.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

std::vector<std::string> FindFiles(const std::string& pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(pattern.c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return names;
    do names.push_back(fd.cFileName);
    while (FindNextFileA(h, &fd));
    FindClose(h);
    return names;
}

void RemoveTree(const std::string& dir) {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::string n = fd.cFileName, p = dir + "\\" + n;
            if (n == "." || n == "..") continue;
            SetFileAttributesA(p.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileA(p.c_str());
            else if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
                RemoveDirectoryA(p.c_str());
            else
                RemoveTree(p);
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryA(dir.c_str());
}

TempDir::TempDir(const std::string& name) {
    CreateDirectoryA("C:\\bench-tmp", nullptr);
    path_ = "C:\\bench-tmp\\" + UniqueName(name);
    RemoveTree(path_);
    CreateDirectoryA(path_.c_str(), nullptr);
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
    had_ = GetEnvironmentVariableA(name, nullptr, 0) > 0;
    old_ = Env(name, "");
    SetEnvironmentVariableA(name, value);
}

std::string UniqueName(const std::string& tag) {
    static LONG counter = 0;
    return tag + "-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(InterlockedIncrement(&counter));
}

Event::Event(const std::string& tag) : name_("Local\\" + UniqueName(tag)) {
    h_ = CreateEventA(nullptr, TRUE, FALSE, name_.c_str());
}

ScopedRegKey::ScopedRegKey(const std::string& subkey, REGSAM view) : subkey_(subkey), view_(view) {
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key_, nullptr);
}

ScopedRegKey::~ScopedRegKey() {
    if (key_) RegCloseKey(key_);
    Delete(subkey_, view_);
}

void ScopedRegKey::SetString(const char* name, const std::string& value) {
    RegSetValueExA(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
}

void ScopedRegKey::SetDword(const char* name, DWORD value) {
    RegSetValueExA(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

void ScopedRegKey::Delete(const std::string& subkey, REGSAM view) {
    HKEY k = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, KEY_ALL_ACCESS | view, &k) == ERROR_SUCCESS) {
        char name[256];
        for (DWORD n = sizeof(name); RegEnumKeyExA(k, 0, name, &n, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
             n = sizeof(name))
            Delete(subkey + "\\" + name, view);
        RegCloseKey(k);
    }
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, subkey.c_str(), view, 0);
}

bool MakeLink(const std::string& link, const std::string& target) {
    if (!UnixName(link).empty())
        RunUnixAndAwait("/bin/ln -s \"" + UnixName(target) + "\" \"" + UnixName(link) + "\"", link, true);
    else
        CreateSymbolicLinkA(link.c_str(), target.c_str(),
                            GetFileAttributesA(target.c_str()) & FILE_ATTRIBUTE_DIRECTORY);  // the directory flag is 1
    const DWORD attrs = GetFileAttributesA(link.c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_REPARSE_POINT);
}

void RemoveLink(const std::string& link) {
    if (!UnixName(link).empty())
        RunUnixAndAwait("/bin/rm -f \"" + UnixName(link) + "\"", link, false);
    else if (!DeleteFileA(link.c_str()))
        RemoveDirectoryA(link.c_str());
}

DWORD MakeShortcut(const std::string& lnk, const std::string& target) {
    HRESULT init = CoInitialize(nullptr);
    IShellLinkA* link = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                  reinterpret_cast<void**>(&link));
    if (SUCCEEDED(hr)) {
        link->SetPath(target.c_str());
        IPersistFile* file = nullptr;
        hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
        if (SUCCEEDED(hr)) {
            wchar_t wide[MAX_PATH * 2];
            MultiByteToWideChar(CP_ACP, 0, lnk.c_str(), -1, wide, MAX_PATH * 2);
            hr = file->Save(wide, TRUE);
            file->Release();
        }
        link->Release();
    }
    if (SUCCEEDED(init)) CoUninitialize();
    return SUCCEEDED(hr) ? 0 : static_cast<DWORD>(hr);
}

std::vector<LogLine> ParseAll(const std::string& bytes, bool* allParsed) {
    std::vector<LogLine> parsed;
    bool ok = true;
    for (const std::string& text : Lines(bytes)) {
        LogLine line;
        if (text.empty()) continue;
        if (Parse(text, &line))
            parsed.push_back(line);
        else
            ok = false;
    }
    if (allParsed) *allParsed = ok;
    return parsed;
}

int CountMessages(const std::vector<LogLine>& lines, const std::string& message) {
    int n = 0;
    for (const LogLine& l : lines) n += l.message == message;
    return n;
}

LogCapture::LogCapture() : start_(ReadBytes(CapturePath()).size()) {}

std::string LogCapture::Text() const {
    CTarnLogWrapper(__FILE__, __LINE__).FlushAll();
    std::string all = ReadBytes(CapturePath());
    return all.size() > start_ ? all.substr(start_) : std::string();
}

}  // namespace testutil
