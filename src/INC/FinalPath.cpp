#include "INC/FinalPath.h"

#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <vector>

#include "INC/Owner.h"
#include "INC/RegRead.h"
#include "INC/SystemDll.h"
#include "INC/WideText.h"

namespace {

// The Windows folder (inside: true, nothing in it may go) and the Program
// Files folders of both registry views (inside: false, the agent lives there).
struct SystemFolder {
    std::wstring path;
    bool inside;
};

std::vector<SystemFolder> SystemFolders() {
    std::vector<SystemFolder> folders;
    wchar_t buf[MAX_PATH] = {0};
    if (GetWindowsDirectoryW(buf, MAX_PATH)) folders.push_back({buf, true});
    if (GetSystemWindowsDirectoryW(buf, MAX_PATH)) folders.push_back({buf, true});
    const REGSAM views[] = {KEY_WOW64_64KEY, KEY_WOW64_32KEY};
    const char* const values[] = {"ProgramFilesDir", "ProgramFilesDir (x86)", "ProgramW6432Dir"};
    for (REGSAM view : views) {
        // A view or value that cannot be read names no folder to protect.
        CRegKey key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", 0, KEY_READ | view,
                          key.out()) != ERROR_SUCCESS)
            continue;
        char text[MAX_PATH] = {0};
        std::wstring wide;
        for (const char* value : values) {
            if (RegQueryString(key.get(), value, text, sizeof(text), REGREAD_SZ | REGREAD_MULTI_SZ) == ERROR_SUCCESS &&
                text[0] && Widen(text, wide))
                folders.push_back({wide, false});
        }
    }
    for (SystemFolder& f : folders) {
        const std::wstring final = FinalForm(f.path);
        if (!final.empty()) f.path = final;
    }
    return folders;
}

std::wstring WithoutTrailingBackslashes(std::wstring path) {
    while (path.size() > 1 && path.back() == L'\\') path.pop_back();
    return path;
}

}  // namespace

std::wstring FullLongForm(const std::wstring& path) {
    std::wstring full(GetFullPathNameW(path.c_str(), 0, nullptr, nullptr), L'\0');
    DWORD n = full.empty() ? 0 : GetFullPathNameW(path.c_str(), full.size(), &full[0], nullptr);
    if (n == 0 || n >= full.size()) return L"";
    full.resize(n);
    std::wstring longName(GetLongPathNameW(full.c_str(), nullptr, 0), L'\0');
    n = longName.empty() ? 0 : GetLongPathNameW(full.c_str(), &longName[0], longName.size());
    if (n > 0 && n < longName.size()) full.assign(longName.c_str(), n);
    return WithoutTrailingBackslashes(full);
}

DWORD NativePathOf(HANDLE handle, std::wstring& out) {
    typedef NTSTATUS(NTAPI * QueryObjectFn)(HANDLE, OBJECT_INFORMATION_CLASS, PVOID, ULONG, PULONG);
    static const QueryObjectFn queryObject = [] {
        CRuntimeDll ntdll;  // in every process: nothing is loaded
        return ntdll.UseLoaded("ntdll.dll") ? ntdll.Get<QueryObjectFn>("NtQueryObject") : nullptr;
    }();
    if (!queryObject) return ERROR_PROC_NOT_FOUND;
    std::vector<LONGLONG> buffer(256);
    for (;;) {
        ULONG needed = 0;
        const ULONG size = buffer.size() * sizeof(LONGLONG);
        const NTSTATUS status = queryObject(handle, ObjectNameInformation, buffer.data(), size, &needed);
        if (status == 0) break;
        // STATUS_INFO_LENGTH_MISMATCH, STATUS_BUFFER_OVERFLOW, STATUS_BUFFER_TOO_SMALL: a bigger buffer
        if (status != static_cast<NTSTATUS>(0xC0000004) && status != static_cast<NTSTATUS>(0x80000005) &&
            status != static_cast<NTSTATUS>(0xC0000023))
            return ERROR_INVALID_HANDLE;
        if (needed <= size) needed = size * 2;
        if (needed > 0x20000) return ERROR_BUFFER_OVERFLOW;
        buffer.resize(needed / sizeof(LONGLONG) + 1);
    }
    const UNICODE_STRING& name = reinterpret_cast<const OBJECT_NAME_INFORMATION*>(buffer.data())->Name;
    out.assign(name.Buffer, name.Length / sizeof(wchar_t));
    return 0;
}

// The platform's call may refuse a path past MAX_PATH (Wine does); the
// native name is then put on its drive.
DWORD FinalPathOf(HANDLE handle, std::wstring& out) {
    std::wstring path(MAX_PATH, L'\0');
    DWORD n = GetFinalPathNameByHandleW(handle, &path[0], path.size(), FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n >= path.size()) {
        path.resize(n + 1);
        n = GetFinalPathNameByHandleW(handle, &path[0], path.size(), FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    }
    if (n > 0 && n < path.size()) {
        path.resize(n);
        out.swap(path);
        return 0;
    }
    const DWORD error = n ? ERROR_BUFFER_OVERFLOW : GetLastError();
    std::wstring native;
    if (NativePathOf(handle, native) != 0) return error;
    if (native.compare(0, 12, L"\\Device\\Mup\\") == 0) {
        out = L"\\\\?\\UNC" + native.substr(11);
        return 0;
    }
    wchar_t drive[] = L"A:";
    wchar_t device[MAX_PATH];
    for (; drive[0] <= L'Z'; ++drive[0]) {
        const DWORD length = QueryDosDeviceW(drive, device, MAX_PATH) ? lstrlenW(device) : 0;
        if (length && IsWithinPath(native, std::wstring(device, length)) && native.size() > length) {
            out = L"\\\\?\\" + std::wstring(drive) + native.substr(length);
            return 0;
        }
    }
    return error;
}

std::wstring WithoutDevicePrefix(const std::wstring& path) {
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\" + path.substr(7);
    if (path.compare(0, 4, L"\\\\?\\") == 0) return path.substr(4);
    return path;
}

bool IsWithinPath(const std::wstring& a, const std::wstring& b) {
    return a.size() >= b.size() && CompareStringOrdinal(a.c_str(), b.size(), b.c_str(), b.size(), TRUE) == CSTR_EQUAL &&
           (a.size() == b.size() || a[b.size()] == L'\\');
}

std::wstring FinalForm(const std::wstring& path) {
    const std::wstring full = FullLongForm(path);
    if (full.empty()) return L"";
    CFileHandle h(CreateFileW(full.c_str(), FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    std::wstring final;
    if (h.valid() && FinalPathOf(h.get(), final) == 0) return WithoutTrailingBackslashes(WithoutDevicePrefix(final));
    return full;
}

bool IsProtectedPath(const std::wstring& path) {
    const std::wstring p = WithoutTrailingBackslashes(path);
    const bool unc = p.compare(0, 2, L"\\\\") == 0;
    if (!unc && p.size() <= 2) return true;  // "C:" and "C:\"
    // "\\server\share" has three backslashes; a folder in the share a fourth.
    if (unc && std::count(p.begin(), p.end(), L'\\') < 4) return true;
    for (const SystemFolder& system : SystemFolders()) {
        if (IsWithinPath(system.path, p) || (system.inside && IsWithinPath(p, system.path))) return true;
    }
    return false;
}
