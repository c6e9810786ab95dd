#include "LIB/Util/PellionUtil.h"
#include <mbstring.h>
#include <cstring>
#include <vector>
#include "INC/MbText.h"
#include "INC/RegRead.h"
#include "LIB/Util/OSVersion.h"
#include "TarnLog/TarnLog.h"
#include "Util/Registry.h"

namespace {

const char kInstallRoot[] = "HKEY_LOCAL_MACHINE";
const char kInstallKey[] = "SOFTWARE\\Corvane";
const char kScheduleFailed[] = "削除予約に失敗しました [%s] [%lu]";
const char kLinkRemoveFailed[] = "リパースポイントの削除に失敗しました [%s] [%lu]";

std::string WithoutTrailingBackslash(std::string path) {
    while (!path.empty() && EndsWithBackslash(path.c_str())) path.pop_back();
    return path;
}

// Full, long-name form of an existing or planned path, without a trailing
// backslash; empty when the system cannot resolve it.
std::string Canonical(const char* path) {
    char full[MAX_PATH] = {0};
    const DWORD n = GetFullPathNameA(path, sizeof(full), full, nullptr);
    if (n == 0 || n >= sizeof(full)) return "";
    char longName[MAX_PATH] = {0};
    const DWORD m = GetLongPathNameA(full, longName, sizeof(longName));
    return WithoutTrailingBackslash((m > 0 && m < sizeof(longName)) ? longName : full);
}

// Folders whose loss breaks the system: the Windows folder (inside: true,
// nothing in it may go) and the Program Files folders of both registry views
// (inside: false, the agent itself lives there).
struct SystemFolder {
    std::string path;
    bool inside;
};

std::vector<SystemFolder> SystemFolders() {
    std::vector<SystemFolder> folders;
    char buf[MAX_PATH] = {0};
    if (GetWindowsDirectoryA(buf, sizeof(buf))) folders.push_back({buf, true});
    if (GetSystemWindowsDirectoryA(buf, sizeof(buf))) folders.push_back({buf, true});
    const REGSAM views[] = {KEY_WOW64_64KEY, KEY_WOW64_32KEY};
    const char* const values[] = {"ProgramFilesDir", "ProgramFilesDir (x86)", "ProgramW6432Dir"};
    for (REGSAM view : views) {
        // A view or value that cannot be read names no folder to protect.
        CRegKey key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", 0, KEY_READ | view,
                          key.out()) != ERROR_SUCCESS)
            continue;
        for (const char* value : values) {
            if (RegQueryString(key.get(), value, buf, sizeof(buf), REGREAD_SZ | REGREAD_MULTI_SZ) == ERROR_SUCCESS &&
                buf[0])
                folders.push_back({buf, false});
        }
    }
    for (SystemFolder& f : folders) {
        const std::string c = Canonical(f.path.c_str());
        if (!c.empty()) f.path = c;
    }
    return folders;
}

// True when a is b or lies inside it (case-insensitive; both canonical).
bool IsWithin(const std::string& a, const std::string& b) {
    return a.size() >= b.size() && _mbsnbicmp(Bytes(a.c_str()), Bytes(b.c_str()), b.size()) == 0 &&
           (a.size() == b.size() || a[b.size()] == '\\');
}

// Decides whether a deletion may start at path, and gives the form it works
// on. A deletion must start at an absolute path ("X:\..." or
// "\\server\share\..."); relative and drive-relative paths depend on the
// current folder and are refused whatever their length. The path is then
// resolved (".", "..", short names, trailing backslashes) so that no
// spelling slips past the checks, and refused when it is a drive or share
// root, when it is or holds the Windows folder or a Program Files folder, or
// when it lies inside the Windows folder.
bool ResolveDeletable(const char* path, std::string& out) {
    if (!path) return false;
    const bool drive = IsDriveLetter(path[0]) && path[1] == ':' && path[2] == '\\';
    const bool unc = path[0] == '\\' && path[1] == '\\' && path[2] && path[2] != '?' && path[2] != '.';
    if (!drive && !unc) return false;
    const std::string full = Canonical(path);
    if (full.empty()) return false;
    if (drive && full.size() <= 2) return false;
    if (unc && SplitPath(full).size() <= 4) return false;  // "", "", server, share
    for (const SystemFolder& system : SystemFolders()) {
        if (IsWithin(system.path, full) || (system.inside && IsWithin(full, system.path))) return false;
    }
    out = full;
    return true;
}

// A reparse point (junction, symbolic link, mount point) is removed as the
// link it is; what it points to lies outside the tree and is never touched.
bool RemoveLink(const std::string& path, DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryA(path.c_str()) != FALSE
                                                   : DeleteFileA(path.c_str()) != FALSE;
}

// attributes as the directory search reported them.
bool DeleteFileClearingReadOnly(const std::string& path, DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    return DeleteFileA(path.c_str()) != FALSE;
}

// dir: an accepted path without trailing backslash.
BOOL DeleteTreeIn(const std::string& dir, BOOL keepFolder) {
    {
        CFindFile find(dir.c_str(), "*");
        CFindFile::FindEntry entry;
        DWORD error = 0;
        while (find.FindNext(entry, &error)) {
            if (entry.IsDots()) continue;
            const std::string child = dir + "\\" + entry.data.cFileName;
            const DWORD attributes = entry.data.dwFileAttributes;
            bool ok;
            if (entry.IsLink())
                ok = RemoveLink(child, attributes);
            else if (entry.IsFolder())
                ok = DeleteTreeIn(child, FALSE) != 0;
            else
                ok = DeleteFileClearingReadOnly(child, attributes);
            if (!ok) return 0;
        }
        if (error != ERROR_NO_MORE_FILES) return 0;
    }  // the search is closed before the folder is removed
    if (keepFolder) return 1;
    return RemoveDirectoryA(dir.c_str()) ? 1 : 0;
}

bool ScheduleDeletion(const std::string& path) {
    if (MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) return true;
    TARNLOG(TARNLOG_ERROR, kScheduleFailed, path.c_str(), GetLastError());
    return false;
}

// path: an accepted folder without trailing backslash.
bool DeleteFolderIn(const std::string& path, bool* restartRequired) {
    if (restartRequired) *restartRequired = false;
    if (DeleteTreeIn(path, FALSE)) return true;
    TARNLOG(TARNLOG_INFO, "モジュールの削除に失敗したので、フォルダ配下を削除・削除予約します [%s]", path.c_str());

    bool result = true;
    CFindFile find(path.c_str(), "*");
    CFindFile::FindEntry entry;
    while (find.FindNext(entry)) {
        if (entry.IsDots()) continue;
        const std::string full = entry.GetFullPath();
        const DWORD attributes = entry.data.dwFileAttributes;
        if (entry.IsLink()) {
            // Never scheduled: what the restart would do with a link is not
            // ours to risk.
            if (!RemoveLink(full, attributes)) {
                TARNLOG(TARNLOG_ERROR, kLinkRemoveFailed, full.c_str(), GetLastError());
                result = false;
            }
        } else if (entry.IsFolder()) {
            if (!DeleteFolderIn(full, restartRequired)) result = false;
        } else if (!DeleteFileClearingReadOnly(full, attributes) && !ScheduleDeletion(full)) {
            result = false;
        }
    }
    find.Close();
    // After its contents, so at restart the folder is empty when its turn comes.
    if (!ScheduleDeletion(path)) result = false;
    if (restartRequired) *restartRequired = true;
    return result;
}

}  // namespace

bool IsProtectedFolder(const char* path) {
    std::string resolved;
    return !ResolveDeletable(path, resolved);
}

REGSAM InstallKeyView(const COSVersion& os) { return os.Is64BitOS() ? KEY_WOW64_64KEY : 0; }

bool ReadInstallValue(char* buffer, const char* valueName, DWORD bufferSize, const char* subKey) {
    if (!buffer || !valueName) return false;
    CRegistry reg;
    COSVersion os;
    reg.SetAccessMask(KEY_READ | InstallKeyView(os));
    std::string path = std::string(kInstallRoot) + "\\" + kInstallKey;
    if (subKey) path += std::string("\\") + subKey;
    try {
        reg.Open(path.c_str());
        reg.GetStringValue(valueName, buffer, bufferSize);
        return true;
    } catch (const CWin32Error& e) {
        if (e.GetErrorCode() == ERROR_FILE_NOT_FOUND)
            TARNLOG(TARNLOG_INFO, "レジストリ情報のキーが存在しませんでした. Entry:[%s] Err:[%s]", valueName, e.what());
        else
            TARNLOG(TARNLOG_ERROR, "レジストリ情報の取得に失敗しました. Entry:[%s] Err:[%s] Code:[%lu]", valueName,
                    e.what(), e.GetErrorCode());
        return false;
    }
}

bool GetInstallFilePath(std::string& out, const char* subKey, const char* relativeName) {
    char buffer[520] = {0};
    if (!ReadInstallValue(buffer, "InstallPath", sizeof(buffer), subKey) ||
        !PathAppendInPlace(buffer, relativeName, sizeof(buffer))) {
        TARNLOG(TARNLOG_ERROR, "インストールフォルダの取得に失敗しました");
        return false;
    }
    out = buffer;
    return true;
}

bool DeleteFolder(const char* path, bool* restartRequired) {
    if (!path) {
        TARNLOG(TARNLOG_ERROR, "引数不正。フォルダの削除が出来ません");
        return false;
    }
    if (restartRequired) *restartRequired = false;
    std::string folder;
    if (path[0] == '\\' && path[1] == '\\' && (path[2] == '?' || path[2] == '.')) {
        // Device paths ("\\?\", "\\.\") skip the system's path normalisation,
        // so they are never resolved; they are no protected folder either.
        TARNLOG(TARNLOG_ERROR, "デバイスパスは扱えません。フォルダの削除が出来ません [%s]", path);
        return false;
    }
    if (!ResolveDeletable(path, folder)) {
        TARNLOG(TARNLOG_ERROR, "削除できないフォルダです。フォルダの削除が出来ません [%s]", path);
        return false;
    }
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            // Already gone, e.g. by an earlier run that failed at a later step.
            TARNLOG(TARNLOG_INFO, "削除対象のフォルダは存在しません [%s]", folder.c_str());
            return true;
        }
    } else if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        if (RemoveLink(folder, attributes)) return true;
        TARNLOG(TARNLOG_ERROR, kLinkRemoveFailed, folder.c_str(), GetLastError());
        return false;
    }
    return DeleteFolderIn(folder, restartRequired);
}

BOOL DeleteTree(const char* path, BOOL keepFolder) {
    std::string folder;
    if (!ResolveDeletable(path, folder)) return 0;
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return keepFolder ? 0 : (RemoveLink(folder, attributes) ? 1 : 0);  // a link's contents are not ours
    return DeleteTreeIn(folder, keepFolder);
}

bool CFindFile::FindEntry::IsDots() const {
    return strcmp(data.cFileName, ".") == 0 || strcmp(data.cFileName, "..") == 0;
}

std::string CFindFile::FindEntry::GetFullPath() const { return MakePath(directory.c_str(), data.cFileName); }

CFindFile::CFindFile(const char* directory, const char* pattern)
    : m_directory(directory ? directory : ""), m_pattern(pattern ? pattern : "") {}

CFindFile::~CFindFile() { Close(); }

void CFindFile::Close() { m_find.reset(); }

bool CFindFile::FindNext(FindEntry& entry, DWORD* error) {
    DWORD localError = 0;
    DWORD& err = error ? *error : localError;
    err = 0;
    if (!m_find.valid()) {
        m_find.reset(FindFirstFileA(MakePath(m_directory.c_str(), m_pattern.c_str()).c_str(), &entry.data));
        if (!m_find.valid()) {
            err = GetLastError();
            return false;
        }
    } else {
        int retries = 0;
        while (!FindNextFileA(m_find.get(), &entry.data)) {
            err = GetLastError();
            if (err != ERROR_MORE_DATA || ++retries > 10) return false;
        }
        err = 0;
    }
    entry.directory = m_directory;
    return true;
}
