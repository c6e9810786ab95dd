#include "Util/ShortcutUtil.h"

#include "Ins/InsCmn/Sequre.h"
#include "TarnLog/TarnLog.h"

#include <shlobj.h>
#include <shlwapi.h>

HRESULT GetDesktopFolder(char* buffer, int selector) {
    buffer[0] = '\0';
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    int folderId = CSIDL_DESKTOPDIRECTORY;
    if (GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT && selector == 0)
        folderId = CSIDL_COMMON_DESKTOPDIRECTORY;

    LPITEMIDLIST items = nullptr;
    HRESULT result = SHGetSpecialFolderLocation(nullptr, folderId, &items);
    if (FAILED(result)) return result;
    SHGetPathFromIDListA(items, buffer);
    CoTaskMemFree(items);
    return result;
}

BOOL RemoveShortcut(const char* path) {
    TARNLOG(TARNLOG_INFO, "ショートカット削除");
    if (!PathFileExistsA(path)) return TRUE;

    CAclHolder acl(BuildEveryoneFullControlAcl());
    if (!acl.get() || !ApplyDacl(path, acl.get())) {
        TARNLOG(TARNLOG_ERROR, "ショートカットのフルコントロールアクセス権限付与失敗");
        return TRUE;
    }
    // DeleteFileA refuses a read-only file whatever its list says.
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY);
    if (!DeleteFileA(path)) {
        DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND) TARNLOG(TARNLOG_INFO, "ショートカット削除失敗[%d]", error);
    }
    return TRUE;
}
