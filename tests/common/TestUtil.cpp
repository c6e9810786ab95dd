#include "TestUtil.h"
#include <ctype.h>
#include <mbstring.h>
#include <objbase.h>
#include <shlobj.h>
#include <algorithm>
#include "INC/MbText.h"
#include "INC/Owner.h"
#include "INC/WideText.h"
#include "TarnLog/TarnLog.h"

namespace testutil {

namespace {

std::string ReadToEnd(HANDLE h) {
    std::string bytes;
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof(buf), &got, nullptr) && got) bytes.append(buf, got);
    return bytes;
}

// The unix name of a Windows path.
std::string UnixName(const std::string& path) {
    typedef char*(CDECL * UnixNameFn)(LPCWSTR);
    auto unixName =
        reinterpret_cast<UnixNameFn>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name"));
    std::wstring wide;
    char* name = unixName && Widen(path.c_str(), wide) ? unixName(wide.c_str()) : nullptr;
    std::string s = name ? name : "";
    if (name) HeapFree(GetProcessHeap(), 0, name);
    return s;
}

// Wine starts a unix program without a handle that can be waited on: the path's change is awaited (up to 10 s).
void RunUnixAndAwait(const std::string& commandLine, const std::string& path, bool present) {
    { Child unix(commandLine); }
    for (int i = 0; i < 200 && Exists(path) != present; ++i) Sleep(50);
}

SERVICE_STATUS_PROCESS QueryService(SC_HANDLE service) {
    SERVICE_STATUS_PROCESS s = {};
    DWORD needed = 0;
    QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&s), sizeof(s), &needed);
    return s;
}

// The log file of this process; ended and removed when the program ends.
const std::string& CapturePath() {
    static struct CaptureFile {
        std::string path = "C:\\bench-tmp\\log-capture-" + std::to_string(GetCurrentProcessId()) + ".log";
        CaptureFile() {
            CreateDirectoryA("C:\\bench-tmp", nullptr);
            // The writer keeps its file open to the end, so a run removes what earlier runs left.
            for (const std::string& name : FindFiles("C:\\bench-tmp\\log-capture-*.log"))
                DeleteFileA(("C:\\bench-tmp\\" + name).c_str());
            CTarnLogWrapper(__FILE__, __LINE__).Initialize(path.c_str(), 4096, nullptr, -1, 0);
        }
        ~CaptureFile() {
            CTarnLogWrapper(__FILE__, __LINE__).Terminate();
            DeleteFileA(path.c_str());
            DeleteFileA((path.substr(0, path.size() - 4) + "_dmp.log").c_str());
        }
    } file;
    return file.path;
}

}  // namespace

std::string Env(const char* name, const std::string& otherwise) {
    char buf[1024] = {0};
    DWORD n = GetEnvironmentVariableA(name, buf, sizeof(buf));
    return n > 0 && n < sizeof(buf) ? buf : otherwise;
}

std::string OwnFolder() {
    char path[MAX_PATH] = {0};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(path, reinterpret_cast<char*>(_mbsrchr(Bytes(path), '\\')) + 1);  // a trail byte is no separator
}

std::string CommandLine(const std::string& exe, const std::vector<std::string>& args) {
    std::string line = "\"" + exe + "\"";
    for (const std::string& a : args) line += " \"" + a + "\"";
    return line;
}

Child::Child(const std::string& commandLine, bool suspended, bool capture, const char* desktop) {
    STARTUPINFOA si = {sizeof(si)};
    si.lpDesktop = const_cast<char*>(desktop);
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
    if (pi_.hProcess && !Ended(0)) Kill();
    for (HANDLE h : {pi_.hProcess, pi_.hThread, out_})
        if (h) CloseHandle(h);
}

DWORD Child::Wait(DWORD ms) {
    DWORD code = STILL_ACTIVE;
    if (pi_.hProcess && Ended(ms)) elapsed_ = GetTickCount() - started_, GetExitCodeProcess(pi_.hProcess, &code);
    return code;
}

RunResult Run(const std::string& exe, const std::vector<std::string>& args) {
    Child child(CommandLine(exe, args), false, true);
    if (!child.pi_.hProcess) return RunResult();
    const std::string output = child.out_ ? ReadToEnd(child.out_) : "";
    const DWORD code = child.Wait();
    return {code, child.elapsed_, child.pi_.dwProcessId, child.pi_.dwThreadId, output};
}

std::string ReadBytes(const std::string& path) {
    CFileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, 0, nullptr));
    return file.valid() ? ReadToEnd(file.get()) : "";
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
    CFileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    return file.valid() && WriteFile(file.get(), bytes.data(), bytes.size(), &written, nullptr) &&
           written == bytes.size();
}

std::vector<std::string> FindFiles(const std::string& pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    CFindHandle h(FindFirstFileA(pattern.c_str(), &fd));
    for (bool more = h.valid(); more; more = FindNextFileA(h.get(), &fd)) names.push_back(fd.cFileName);
    return names;
}

void RemoveTree(const std::string& dir) {
    for (const std::string& name : FindFiles(dir + "\\*")) {
        if (name == "." || name == "..") continue;
        const std::string path = dir + "\\" + name;
        const DWORD attributes = GetFileAttributesA(path.c_str());
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
            DeleteFileA(path.c_str());
        else if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
            RemoveDirectoryA(path.c_str());
        else
            RemoveTree(path);
    }
    RemoveDirectoryA(dir.c_str());
}

// The wide calls with "\\?\": the ANSI ones stop at MAX_PATH.
bool MakeDeepTree(const std::string& root) {
    std::wstring path;
    Widen(("\\\\?\\" + root).c_str(), path);
    CreateDirectoryW(path.c_str(), nullptr);
    for (wchar_t c = L'a'; path.size() < 320; ++c)
        CreateDirectoryW((path += L"\\" + std::wstring(40, c)).c_str(), nullptr);
    return CFileHandle(CreateFileW((path + L"\\表.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr))
        .valid();
}

std::string UniqueName(const std::string& tag) {
    static LONG counter = 0;
    return tag + "-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(InterlockedIncrement(&counter));
}

void ScopedRegKey::Delete(const std::string& subkey, REGSAM view) {
    CRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, KEY_ALL_ACCESS | view, key.out()) == ERROR_SUCCESS)
        RegDeleteTreeA(key.get(), nullptr);
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, subkey.c_str(), view, 0);
}

bool MakeLink(const std::string& link, const std::string& target) {
    RunUnixAndAwait("/bin/ln -s \"" + UnixName(target) + "\" \"" + UnixName(link) + "\"", link, true);
    const DWORD attrs = GetFileAttributesA(link.c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_REPARSE_POINT);
}

void RemoveLink(const std::string& link) { RunUnixAndAwait("/bin/rm -f \"" + UnixName(link) + "\"", link, false); }

DWORD MakeShortcut(const std::string& lnk, const std::string& target) {
    CComInit com(CoInitialize(nullptr));
    CComRef<IShellLinkA> link;
    CComRef<IPersistFile> file;
    HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                  reinterpret_cast<void**>(link.out()));
    if (SUCCEEDED(hr)) hr = link->SetPath(target.c_str());
    if (SUCCEEDED(hr)) hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.out()));
    std::wstring wide;
    if (SUCCEEDED(hr)) hr = Widen(lnk.c_str(), wide) ? file->Save(wide.c_str(), TRUE) : E_INVALIDARG;
    return SUCCEEDED(hr) ? 0 : static_cast<DWORD>(hr);
}

int GdiObjects() {
    if (const DWORD counted = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS)) return static_cast<int>(counted);
    int live = 0;
    for (UINT_PTR index = 1; index <= 0xFFFF; ++index) live += GetObjectType(reinterpret_cast<HGDIOBJ>(index)) != 0;
    return live;
}

std::vector<LogLine> ParseAll(const std::string& bytes, bool* allParsed) {
    std::vector<LogLine> parsed;
    bool ok = true;
    for (size_t start = 0, end; start < bytes.size(); start = end + 2) {
        end = std::min(bytes.find("\r\n", start), bytes.size());
        const std::string text = bytes.substr(start, end - start);
        if (text.empty()) continue;
        LogLine l;
        std::string* fields[] = {&l.time, &l.mark, &l.source, &l.line, &l.ids, &l.message};
        size_t at = 0, n = 0;
        for (size_t tab; n < 6 && (tab = n < 5 ? text.find('\t', at) : text.size()) != std::string::npos; ++n)
            *fields[n] = text.substr(at, tab - at), at = tab + 1;
        const char* const kTime = "0000/00/00 00:00:00:000";  // "2026/12/06 14:23:12:345"
        bool good = n == 6 && l.time.size() == 23;
        for (size_t i = 0; good && i < l.time.size(); ++i)
            good = kTime[i] == '0' ? isdigit(static_cast<unsigned char>(l.time[i])) != 0 : l.time[i] == kTime[i];
        if (good) parsed.push_back(l);
        ok = ok && good;
    }
    if (allParsed) *allParsed = ok;
    return parsed;
}

LogCapture::LogCapture() : start_(ReadBytes(CapturePath()).size()) {}

std::string LogCapture::Text() const {
    CTarnLogWrapper(__FILE__, __LINE__).FlushAll();
    std::string all = ReadBytes(CapturePath());
    return all.size() > start_ ? all.substr(start_) : std::string();
}

DWORD ServiceState(const std::string& name) {
    CScHandle scm(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    CScHandle svc(OpenServiceA(scm.get(), name.c_str(), SERVICE_QUERY_STATUS));
    return svc.valid() ? QueryService(svc.get()).dwCurrentState : 0;
}

bool WaitForServiceState(const std::string& name, DWORD state) {
    for (int i = 0; i < 600 && ServiceState(name) != state; ++i) Sleep(50);
    return ServiceState(name) == state;
}

DWORD InstallService(const std::string& name, const std::string& command, bool start) {
    CScHandle scm(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    CScHandle svc(CreateServiceA(scm.get(), name.c_str(), name.c_str(), SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                 SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, command.c_str(), nullptr, nullptr,
                                 nullptr, nullptr, nullptr));
    if (!svc.valid()) return GetLastError();
    if (start && !StartServiceA(svc.get(), 0, nullptr)) return GetLastError();
    return !start || WaitForServiceState(name, SERVICE_RUNNING) ? 0 : WAIT_TIMEOUT;
}

void RemoveService(const std::string& name) {
    CScHandle scm(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    CScHandle svc(OpenServiceA(scm.get(), name.c_str(), SERVICE_ALL_ACCESS));
    if (!svc.valid()) return;
    CHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, QueryService(svc.get()).dwProcessId));
    if (process.valid() && TerminateProcess(process.get(), 1)) WaitForSingleObject(process.get(), 10000);
    DeleteService(svc.get());
}

}  // namespace testutil
