#include "LIB/Util/PellionUtil.h"
#include "INC/FolderWalk.h"
#include "INC/OSVersion.h"
#include "TarnLog/TarnLog.h"
#include "Util/Registry.h"

namespace {

const char kInstallRoot[] = "HKEY_LOCAL_MACHINE";
const char kInstallKey[] = "SOFTWARE\\Corvane";
const char kScheduleFailed[] = "削除予約に失敗しました [%s] [%lu]";
const char kLinkRemoveFailed[] = "リパースポイントの削除に失敗しました [%s] [%lu]";

const ACCESS_MASK kDeleteAccess = DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;

// What cannot be had for deletion (a file held open by another program) is
// still opened far enough to be pinned and scheduled for the restart.
WalkOptions DeleteOptions() {
    WalkOptions options;
    options.file = kDeleteAccess;
    options.folder = kDeleteAccess | FILE_LIST_DIRECTORY;
    options.fileFallback = FILE_READ_ATTRIBUTES;
    options.folderFallback = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES;
    return options;
}

// Deletes the entry, a folder with everything in it, a link as the link it
// is (what it points to lies outside the tree). Stops at the first failure.
DWORD DeleteWhole(const CWalkRoot& root, CWalkEntry& entry, bool keepFolder = false) {
    if (!entry.handle.valid() || entry.error) return entry.error ? entry.error : ERROR_INVALID_HANDLE;
    if (entry.kind == WalkKind::Folder) {
        const DWORD listed = ForEachChild(root, entry, DeleteOptions(), [&](CWalkEntry& child) {
            return DeleteWhole(root, child);
        });
        if (listed || keepFolder) return listed;
    }
    return DeleteEntry(entry);
}

bool Schedule(const CWalkEntry& entry) {
    const DWORD error = ScheduleEntry(entry);
    if (error == 0) return true;
    TARNLOG(TARNLOG_ERROR, kScheduleFailed, entry.Text().c_str(), error);
    return false;
}

// Deletes what it can and schedules the rest for the restart.
bool DeleteFolderAt(const CWalkRoot& root, CWalkEntry& folder, bool* restartRequired) {
    if (restartRequired) *restartRequired = false;
    if (DeleteWhole(root, folder) == 0) return true;
    TARNLOG(TARNLOG_INFO, "モジュールの削除に失敗したので、フォルダ配下を削除・削除予約します [%s]", folder.Text().c_str());

    bool result = true;
    const DWORD listed = ForEachChild(root, folder, DeleteOptions(), [&](CWalkEntry& child) -> DWORD {
        if (child.kind == WalkKind::Link) {
            // Never scheduled: what the restart would do with a link is not
            // ours to risk.
            const DWORD error = child.handle.valid() ? DeleteEntry(child) : child.error;
            if (error) {
                TARNLOG(TARNLOG_ERROR, kLinkRemoveFailed, child.Text().c_str(), error);
                result = false;
            }
        } else if (!child.handle.valid()) {
            TARNLOG(TARNLOG_ERROR, kScheduleFailed, child.Text().c_str(), child.error);
            result = false;
        } else if (child.kind == WalkKind::Folder) {
            if (!DeleteFolderAt(root, child, restartRequired)) result = false;
        } else if ((child.error || DeleteEntry(child)) && !Schedule(child)) {
            result = false;
        }
        return 0;
    });
    if (listed) {
        TARNLOG(TARNLOG_ERROR, "フォルダの一覧に失敗しました [%s] [%lu]", folder.Text().c_str(), listed);
        result = false;
    }
    // After its contents, so at restart the folder is empty when its turn comes.
    if (!Schedule(folder)) result = false;
    if (restartRequired) *restartRequired = true;
    return result;
}

// The root opened for deletion; a link root only when its handle is the link.
DWORD OpenForDeletion(const CWalkRoot& root, CWalkEntry& entry) {
    if (root.GetState() == CWalkRoot::kLink) return root.Open(entry, kDeleteAccess, 0);
    const WalkOptions options = DeleteOptions();
    return root.IsFolder() ? root.Open(entry, options.folder, options.folderFallback)
                           : root.Open(entry, options.file, options.fileFallback);
}

}  // namespace

bool IsProtectedFolder(const char* path) {
    CWalkRoot root;
    const CWalkRoot::State state = root.Resolve(path);
    return state == CWalkRoot::kDevicePath || state == CWalkRoot::kProtected;
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
    CWalkRoot root;
    root.Resolve(path);
    return DeleteFolder(root, restartRequired);
}

bool DeleteFolder(const CWalkRoot& root, bool* restartRequired) {
    if (restartRequired) *restartRequired = false;
    const char* path = root.Text().c_str();
    CWalkEntry entry;
    switch (root.GetState()) {
    case CWalkRoot::kMissing:
        // Already gone, e.g. by an earlier run that failed at a later step.
        TARNLOG(TARNLOG_INFO, "削除対象のフォルダは存在しません [%s]", path);
        return true;
    case CWalkRoot::kDevicePath:
        // Device paths ("\\?\", "\\.\") skip the system's path normalisation,
        // so they are never resolved; they are no protected folder either.
        TARNLOG(TARNLOG_ERROR, "デバイスパスは扱えません。フォルダの削除が出来ません [%s]", path);
        return false;
    case CWalkRoot::kOpen:
    case CWalkRoot::kLink:
    case CWalkRoot::kFailed:
        break;
    default:
        TARNLOG(TARNLOG_ERROR, "削除できないフォルダです。フォルダの削除が出来ません [%s]", path);
        return false;
    }
    const DWORD error = root.GetState() == CWalkRoot::kFailed ? root.GetError() : OpenForDeletion(root, entry);
    if (root.GetState() == CWalkRoot::kLink) {
        const DWORD removed = error ? error : DeleteEntry(entry);
        if (removed) TARNLOG(TARNLOG_ERROR, kLinkRemoveFailed, path, removed);
        return removed == 0;
    }
    if (!entry.handle.valid()) {
        TARNLOG(TARNLOG_ERROR, "フォルダを開けません。フォルダの削除が出来ません [%s] [%lu]", path, error);
        return false;
    }
    return DeleteFolderAt(root, entry, restartRequired);
}

BOOL DeleteTree(const char* path, BOOL keepFolder) {
    CWalkRoot root;
    const CWalkRoot::State state = root.Resolve(path);
    if (state != CWalkRoot::kOpen && state != CWalkRoot::kLink) return 0;
    if (state == CWalkRoot::kLink && keepFolder) return 0;  // a link's contents are not ours
    CWalkEntry entry;
    if (OpenForDeletion(root, entry)) return 0;
    return DeleteWhole(root, entry, keepFolder != FALSE) == 0;
}
