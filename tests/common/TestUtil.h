// Helpers shared by the tests: scratch folders and registry keys that clean
// up after themselves, and facts about the bench the test runs on.
#pragma once
#include <windows.h>
#include <string>

namespace testutil {

// "win64" or "win32": the kind of Wine prefix the test was started in.
inline std::string BenchKind() {
    char buf[32] = {0};
    GetEnvironmentVariableA("BENCH_KIND", buf, sizeof(buf));
    return buf[0] ? buf : "win64";
}

// The folder of the running test program, with a trailing backslash: the
// helper programs are built beside it.
inline std::string OwnFolder() {
    char path[MAX_PATH] = {0};
    GetModuleFileNameA(NULL, path, MAX_PATH);
    std::string folder(path);
    return folder.substr(0, folder.find_last_of('\\') + 1);
}

inline bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

inline bool IsWow64Process() {
    BOOL wow = FALSE;
    ::IsWow64Process(GetCurrentProcess(), &wow);
    return wow != FALSE;
}

// Deletes a folder tree (no links followed); used for cleanup only.
inline void RemoveTree(const std::string& dir) {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::string n = fd.cFileName;
            if (n == "." || n == "..") continue;
            std::string p = dir + "\\" + n;
            SetFileAttributesA(p.c_str(), FILE_ATTRIBUTE_NORMAL);
            if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                RemoveTree(p);
            else if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveDirectoryA(p.c_str());
            else
                DeleteFileA(p.c_str());
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryA(dir.c_str());
}

// A fresh, empty folder C:\bench-tmp\<name>-<pid>-<n>, removed at destruction.
class TempDir {
public:
    explicit TempDir(const std::string& name = "t") {
        static int counter = 0;
        CreateDirectoryA("C:\\bench-tmp", nullptr);
        char buf[MAX_PATH];
        wsprintfA(buf, "C:\\bench-tmp\\%s-%lu-%d", name.c_str(), GetCurrentProcessId(), ++counter);
        path_ = buf;
        RemoveTree(path_);
        CreateDirectoryA(path_.c_str(), nullptr);
    }
    ~TempDir() { RemoveTree(path_); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

// A registry key under HKLM created for a test and deleted with its subtree
// at destruction. view is 0, KEY_WOW64_64KEY or KEY_WOW64_32KEY.
class ScopedRegKey {
public:
    ScopedRegKey(const std::string& subkey, REGSAM view = 0) : subkey_(subkey), view_(view) {
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view,
                        nullptr, &key_, nullptr);
    }
    ~ScopedRegKey() {
        if (key_) RegCloseKey(key_);
        Delete(subkey_, view_);
    }
    ScopedRegKey(const ScopedRegKey&) = delete;
    ScopedRegKey& operator=(const ScopedRegKey&) = delete;
    HKEY get() const { return key_; }
    void SetString(const char* name, const std::string& value) {
        RegSetValueExA(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
    }
    void SetDword(const char* name, DWORD value) {
        RegSetValueExA(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    }
    static void Delete(const std::string& subkey, REGSAM view) {
        HKEY k = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, KEY_ALL_ACCESS | view, &k) == ERROR_SUCCESS) {
            char name[256];
            for (;;) {
                DWORD n = sizeof(name);
                if (RegEnumKeyExA(k, 0, name, &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
                Delete(subkey + "\\" + name, view);
            }
            RegCloseKey(k);
        }
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, subkey.c_str(), view, 0);
    }

private:
    std::string subkey_;
    REGSAM view_;
    HKEY key_ = nullptr;
};

}  // namespace testutil
