#include "Util/ShortcutUtil.h"

#include "INC/Owner.h"
#include "INC/SystemDll.h"
#include "INC/Acl.h"
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

bool ResolveMsiShortcut(const char* path, char* target) {
    typedef UINT(WINAPI * GetShortcutTarget)(LPCSTR, LPSTR, LPSTR, LPSTR);
    typedef INT(WINAPI * GetComponentPath)(LPCSTR, LPCSTR, LPSTR, DWORD*);
    CRuntimeDll msi("msi.dll");
    GetShortcutTarget getTarget = msi.Get<GetShortcutTarget>("MsiGetShortcutTargetA");
    GetComponentPath getPath = msi.Get<GetComponentPath>("MsiGetComponentPathA");
    char product[39] = "", feature[39] = "", component[39] = "";
    if (!getTarget || !getPath || getTarget(path, product, feature, component) != 0) return false;
    char found[MAX_PATH] = "";
    DWORD size = MAX_PATH;
    const INT state = getPath(product, component, found, &size);
    if (state != 3 /* INSTALLSTATE_LOCAL */ && state != 4 /* INSTALLSTATE_SOURCE */) return false;
    lstrcpynA(target, found, MAX_PATH);
    return true;
}

bool ResolveShellLink(const char* path, char* target) {
    CComRef<IShellLinkA> link;
    CComRef<IPersistFile> file;
    HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                  reinterpret_cast<void**>(link.out()));
    if (SUCCEEDED(hr)) hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.out()));
    WCHAR wide[MAX_PATH] = L"";
    if (SUCCEEDED(hr) && !MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH)) hr = E_INVALIDARG;
    if (SUCCEEDED(hr)) hr = file->Load(wide, STGM_READ);
    if (SUCCEEDED(hr)) hr = link->Resolve(nullptr, SLR_ANY_MATCH | SLR_NO_UI);
    char found[MAX_PATH] = "";
    if (SUCCEEDED(hr)) hr = link->GetPath(found, MAX_PATH, nullptr, SLGP_UNCPRIORITY);
    if (hr != S_OK) return false;
    lstrcpynA(target, found, MAX_PATH);
    return true;
}

