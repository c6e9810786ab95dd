// Helpers of the install-information tests: child processes, files, links
// and the pending delete-at-restart list.
#pragma once
#include <windows.h>
#include <algorithm>
#include <string>
#include <utility>
#include <vector>
#include "TestUtil.h"

namespace infotest {

using testutil::Exists;

inline void MakeFile(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(h, "x", 1, &written, nullptr);
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
        name_ = "Local\\info-" + std::string(tag) + "-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(++counter);
        h_ = CreateEventA(nullptr, TRUE, FALSE, name_.c_str());
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
    explicit Child(const std::string& cmdLine, bool suspended = false) {
        STARTUPINFOA si = {sizeof(si)};
        std::vector<char> line(cmdLine.begin(), cmdLine.end());
        line.push_back('\0');
        if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, suspended ? CREATE_SUSPENDED : 0, nullptr,
                            nullptr, &si, &pi_) ||
            !pi_.hProcess)  // Wine starts a unix program with no handles and a stray thread handle value
            pi_ = PROCESS_INFORMATION();
    }
    ~Child() {
        if (pi_.hProcess && WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) Kill();
        if (pi_.hProcess) CloseHandle(pi_.hProcess);
        if (pi_.hThread) CloseHandle(pi_.hThread);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    bool started() const { return pi_.hProcess != nullptr; }
    HANDLE process() const { return pi_.hProcess; }
    void Resume() { ResumeThread(pi_.hThread); }
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

inline DWORD RunToEnd(const std::string& cmdLine) { return Child(cmdLine).Wait(60000); }

// The delete-at-restart list as (source without "\??\", target) pairs.
inline std::vector<std::pair<std::string, std::string>> PendingRenames() {
    std::vector<std::pair<std::string, std::string>> out;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0, KEY_READ,
                      &key) != ERROR_SUCCESS)
        return out;
    std::vector<char> data(65536, '\0');
    DWORD size = static_cast<DWORD>(data.size() - 2);
    if (RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()),
                         &size) == ERROR_SUCCESS) {
        // Walk by pairs: an empty target ("delete") is not the list's end.
        for (const char* p = data.data(); p < data.data() + size && *p;) {
            std::string src = p, dst = p + src.size() + 1;
            p += src.size() + dst.size() + 2;
            out.emplace_back(src.compare(0, 4, "\\??\\") == 0 ? src.substr(4) : src, dst);
        }
    }
    RegCloseKey(key);
    return out;
}

inline bool IsUnder(const std::string& path, const std::string& dir) {
    return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, path.c_str(),
                          static_cast<int>(std::min(path.size(), dir.size())), dir.c_str(),
                          static_cast<int>(dir.size())) == CSTR_EQUAL;
}

// The files and folders under dir that are scheduled for deletion, in order.
inline std::vector<std::string> PendingDeletionsUnder(const std::string& dir) {
    std::vector<std::string> found;
    for (const auto& op : PendingRenames())
        if (op.second.empty() && IsUnder(op.first, dir)) found.push_back(op.first);
    return found;
}

// Drops the list's entries under dir so later tests start clean.
inline void ForgetPendingUnder(const std::string& dir) {
    std::string kept;
    for (const auto& op : PendingRenames())
        if (!IsUnder(op.first, dir)) kept += "\\??\\" + op.first + '\0' + op.second + '\0';
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0, KEY_ALL_ACCESS,
                      &key) != ERROR_SUCCESS)
        return;
    if (kept.empty())
        RegDeleteValueA(key, "PendingFileRenameOperations");
    else
        RegSetValueExA(key, "PendingFileRenameOperations", 0, REG_MULTI_SZ,
                       reinterpret_cast<const BYTE*>(kept.c_str()), static_cast<DWORD>(kept.size() + 1));
    RegCloseKey(key);
}

// Under Wine: the unix name of a Windows path (empty elsewhere).
inline std::string UnixName(const std::string& path) {
    typedef char*(CDECL * UnixNameFn)(LPCWSTR);
    auto unixName = reinterpret_cast<UnixNameFn>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name"));
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
inline bool RunUnixAndAwait(const std::string& cmdLine, const std::string& path, bool present) {
    { Child unix(cmdLine); }
    for (int i = 0; i < 200; ++i, Sleep(50)) {
        WIN32_FIND_DATAA fd;
        HANDLE h = FindFirstFileA(path.c_str(), &fd);
        if (h != INVALID_HANDLE_VALUE) FindClose(h);
        if ((h != INVALID_HANDLE_VALUE) == present) return true;
    }
    return false;
}

// Makes link a directory reparse point to target. Windows: a directory
// symbolic link. Wine 8 has no reparse points of its own (CreateSymbolicLinkA
// returns TRUE and makes nothing, FSCTL_SET_REPARSE_POINT gives 50) but shows
// a unix symbolic link to a folder as a folder with
// FILE_ATTRIBUTE_REPARSE_POINT; there the link is made with /bin/ln.
inline bool MakeDirLink(const std::string& link, const std::string& target) {
    typedef BOOLEAN(WINAPI * CreateLinkFn)(LPCSTR, LPCSTR, DWORD);
    auto createLink = reinterpret_cast<CreateLinkFn>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "CreateSymbolicLinkA"));
    if (createLink) createLink(link.c_str(), target.c_str(), 1 /* SYMBOLIC_LINK_FLAG_DIRECTORY */);
    if (!Exists(link) && !UnixName(link).empty())
        RunUnixAndAwait("/bin/ln -s \"" + UnixName(target) + "\" \"" + UnixName(link) + "\"", link, true);
    const DWORD attrs = GetFileAttributesA(link.c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Removes a link made by MakeDirLink. Wine's RemoveDirectoryA on a link
// removes the (empty) target instead, so there the unix link goes by /bin/rm.
inline void RemoveDirLink(const std::string& link) {
    if (UnixName(link).empty())
        RemoveDirectoryA(link.c_str());
    else
        RunUnixAndAwait("/bin/rm -f \"" + UnixName(link) + "\"", link, false);
}

}  // namespace infotest
