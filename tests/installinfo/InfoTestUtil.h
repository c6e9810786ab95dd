// Helpers of the install-information tests: child processes, files, links
// and the pending delete-at-restart list.
#pragma once
#include <windows.h>
#include <string>
#include <vector>
#include "TestUtil.h"

namespace infotest {

inline bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

inline void MakeFile(const std::string& path, const char* text = "x") {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(h, text, lstrlenA(text), &written, nullptr);
    CloseHandle(h);
}

// A file beside the running test program.
inline std::string BesideTest(const char* name) {
    char path[MAX_PATH] = {0};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s = path;
    return s.substr(0, s.find_last_of('\\') + 1) + name;
}

// A named manual-reset event owned by the test.
class Event {
public:
    explicit Event(const char* tag) {
        static int counter = 0;
        char buf[96];
        wsprintfA(buf, "Local\\info-%s-%lu-%d", tag, GetCurrentProcessId(), ++counter);
        name_ = buf;
        h_ = CreateEventA(nullptr, TRUE, FALSE, buf);
    }
    ~Event() { CloseHandle(h_); }
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;
    HANDLE get() const { return h_; }
    const std::string& name() const { return name_; }

private:
    std::string name_;
    HANDLE h_;
};

// A child process, killed at destruction if it still runs.
class Child {
public:
    Child(const std::string& exe, const std::string& args, bool suspended = false) {
        STARTUPINFOA si = {sizeof(si)};
        std::string cmd = "\"" + exe + "\" " + args;
        std::vector<char> line(cmd.begin(), cmd.end());
        line.push_back('\0');
        if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, suspended ? CREATE_SUSPENDED : 0, nullptr,
                            nullptr, &si, &pi_))
            pi_ = PROCESS_INFORMATION();
    }
    ~Child() {
        if (pi_.hProcess) {
            if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) Kill();
            CloseHandle(pi_.hProcess);
            CloseHandle(pi_.hThread);
        }
    }
    void Resume() { ResumeThread(pi_.hThread); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    bool started() const { return pi_.hProcess != nullptr; }
    HANDLE process() const { return pi_.hProcess; }
    DWORD pid() const { return pi_.dwProcessId; }
    void Kill() {
        TerminateProcess(pi_.hProcess, 99);
        WaitForSingleObject(pi_.hProcess, 10000);
    }
    // Exit code, or STILL_ACTIVE when it did not end within ms.
    DWORD Wait(DWORD ms) {
        DWORD code = STILL_ACTIVE;
        if (WaitForSingleObject(pi_.hProcess, ms) == WAIT_OBJECT_0) GetExitCodeProcess(pi_.hProcess, &code);
        return code;
    }

private:
    PROCESS_INFORMATION pi_ = {};
};

// Runs a command line to its end; its exit code, or -1.
inline DWORD RunToEnd(const std::string& cmdLine, DWORD ms = 60000) {
    STARTUPINFOA si = {sizeof(si)};
    PROCESS_INFORMATION pi = {};
    std::vector<char> line(cmdLine.begin(), cmdLine.end());
    line.push_back('\0');
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return static_cast<DWORD>(-1);
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(pi.hProcess, ms) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

// The entries of the delete-at-restart list (sources and targets alternate;
// "\??\" prefixes kept as stored).
inline std::vector<std::string> PendingRenames() {
    std::vector<std::string> out;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0, KEY_READ,
                      &key) != ERROR_SUCCESS)
        return out;
    DWORD size = 0;
    if (RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS &&
        size) {
        std::vector<char> data(size + 2, '\0');
        if (RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, nullptr,
                             reinterpret_cast<BYTE*>(data.data()), &size) == ERROR_SUCCESS) {
            // Pairs of strings; an empty target means "delete". Walk by pairs
            // so an empty target is not taken for the list's end.
            const char* p = data.data();
            const char* end = data.data() + size;
            while (p < end && *p) {
                out.push_back(p);
                p += lstrlenA(p) + 1;
                if (p >= end) break;
                out.push_back(p);
                p += lstrlenA(p) + 1;
            }
        }
    }
    RegCloseKey(key);
    return out;
}

// Sources in the delete-at-restart list (targets dropped) that lie under dir.
inline std::vector<std::string> PendingDeletionsUnder(const std::string& dir) {
    std::vector<std::string> found;
    std::vector<std::string> all = PendingRenames();
    for (size_t i = 0; i + 1 < all.size(); i += 2) {
        std::string src = all[i];
        if (src.compare(0, 4, "\\??\\") == 0) src = src.substr(4);
        if (all[i + 1].empty() && CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, src.c_str(),
                                                 static_cast<int>(dir.size()), dir.c_str(),
                                                 static_cast<int>(dir.size())) == CSTR_EQUAL)
            found.push_back(src);
    }
    return found;
}

// Removes the list entries under dir so later tests start clean.
inline void ForgetPendingUnder(const std::string& dir) {
    std::vector<std::string> all = PendingRenames();
    std::string kept;
    for (size_t i = 0; i + 1 < all.size(); i += 2) {
        std::string src = all[i].compare(0, 4, "\\??\\") == 0 ? all[i].substr(4) : all[i];
        if (CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, src.c_str(), static_cast<int>(dir.size()),
                           dir.c_str(), static_cast<int>(dir.size())) == CSTR_EQUAL)
            continue;
        kept += all[i] + '\0' + all[i + 1] + '\0';
    }
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0, KEY_ALL_ACCESS,
                      &key) != ERROR_SUCCESS)
        return;
    if (kept.empty())
        RegDeleteValueA(key, "PendingFileRenameOperations");
    else {
        kept += '\0';
        RegSetValueExA(key, "PendingFileRenameOperations", 0, REG_MULTI_SZ,
                       reinterpret_cast<const BYTE*>(kept.data()), static_cast<DWORD>(kept.size()));
    }
    RegCloseKey(key);
}

typedef char*(CDECL* UnixNameFn)(LPCWSTR);

// Under Wine: the unix name of a Windows path (null elsewhere).
inline std::string UnixName(const std::string& path) {
    auto unixName = reinterpret_cast<UnixNameFn>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name"));
    if (!unixName) return "";
    wchar_t w[MAX_PATH] = {0};
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, w, MAX_PATH);
    char* u = unixName(w);
    if (!u) return "";
    std::string s = u;
    HeapFree(GetProcessHeap(), 0, u);
    return s;
}

// Waits up to 10 s for the path to appear (or to vanish); true when it did.
inline bool AwaitPath(const std::string& path, bool present) {
    for (int i = 0; i < 200; ++i) {
        WIN32_FIND_DATAA fd;
        HANDLE h = FindFirstFileA(path.c_str(), &fd);
        const bool listed = h != INVALID_HANDLE_VALUE;
        if (listed) FindClose(h);
        if (listed == present) return true;
        Sleep(50);
    }
    return false;
}

// Wine starts a unix program asynchronously: the handle it gives cannot be
// waited on, so the effect is awaited instead.
inline void RunUnix(const std::string& cmdLine) {
    STARTUPINFOA si = {sizeof(si)};
    PROCESS_INFORMATION pi = {};
    std::vector<char> line(cmdLine.begin(), cmdLine.end());
    line.push_back('\0');
    if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        if (pi.hThread) CloseHandle(pi.hThread);
        if (pi.hProcess) CloseHandle(pi.hProcess);
    }
}

// Removes a link made by MakeDirLink. Under Wine, RemoveDirectoryA on a link
// removes the (empty) target instead, so the unix link is removed with /bin/rm.
inline void RemoveDirLink(const std::string& link) {
    const std::string u = UnixName(link);
    if (!u.empty()) {
        RunUnix("/bin/rm -f \"" + u + "\"");
        AwaitPath(link, false);
    } else
        RemoveDirectoryA(link.c_str());
}

// Makes link a directory reparse point to target. Windows: a directory
// symbolic link. Wine 8 has no reparse points of its own (CreateSymbolicLinkA
// returns TRUE and makes nothing, FSCTL_SET_REPARSE_POINT gives 50) but shows
// a unix symbolic link to a folder as a folder with
// FILE_ATTRIBUTE_REPARSE_POINT; there the link is made with /bin/ln.
inline bool MakeDirLink(const std::string& link, const std::string& target) {
    typedef BOOLEAN(WINAPI * CreateLinkFn)(LPCSTR, LPCSTR, DWORD);
    HMODULE k32 = GetModuleHandleA("kernel32.dll");
    auto createLink = reinterpret_cast<CreateLinkFn>(GetProcAddress(k32, "CreateSymbolicLinkA"));
    if (createLink) createLink(link.c_str(), target.c_str(), 1 /* SYMBOLIC_LINK_FLAG_DIRECTORY */);
    DWORD attrs = GetFileAttributesA(link.c_str());
    if (attrs != INVALID_FILE_ATTRIBUTES) return (attrs & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    const std::string t = UnixName(target), l = UnixName(link);
    if (t.empty() || l.empty()) return false;
    const std::string cmd = "/bin/ln -s \"" + t + "\" \"" + l + "\"";
    RunUnix(cmd);
    AwaitPath(link, true);
    attrs = GetFileAttributesA(link.c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_REPARSE_POINT);
}

}  // namespace infotest
