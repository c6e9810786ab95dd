#include "Ins/InsCmn/Sequre.h"

#include "INC/PathUtil.h"
#include "INC/SystemDll.h"
#include "Ins/InsCmn/CtrlPrivilege.h"
#include "TarnLog/TarnLog.h"

#include <aclapi.h>
#include <shlwapi.h>
#include <string>
#include <vector>

namespace {

typedef VOID(WINAPI* BuildTrusteeWithNameAFn)(PTRUSTEE_A, LPSTR);
typedef VOID(WINAPI* BuildTrusteeWithSidAFn)(PTRUSTEE_A, PSID);
typedef DWORD(WINAPI* SetEntriesInAclAFn)(ULONG, PEXPLICIT_ACCESS_A, PACL, PACL*);

const char kOwner[] = "Administrators";
const DWORD kFullControl = 0x1F01FF;

// Loaded for each use and released after it.
const char kAdvApi[] = "AdvApi32.DLL";

// Adds one entry to *acl; the old list is freed only once the new one exists.
DWORD AddEntry(PACL* acl, EXPLICIT_ACCESS_A& entry, const CRuntimeDll& advapi) {
    DWORD error = 0;
    SetEntriesInAclAFn setEntries = advapi.Get<SetEntriesInAclAFn>("SetEntriesInAclA", &error);
    if (!setEntries) return error;
    PACL newAcl = nullptr;
    DWORD status = setEntries(1, &entry, *acl, &newAcl);
    if (status != ERROR_SUCCESS) return status;
    if (*acl) LocalFree(*acl);
    *acl = newAcl;
    return ERROR_SUCCESS;
}

bool IsReparsePoint(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

BOOL ChangeOwnerLogged(const char* path) {
    DWORD status = CSecurityCalls::Current().ChangeOwner(kOwner, path);
    if (status == ERROR_SUCCESS) return TRUE;
    TARNLOG(TARNLOG_ERROR, "所有者情報変更失敗(%d) %s", status, path);
    return FALSE;
}

// Walks one folder (path with its trailing backslash); FALSE stops the walk.
BOOL WalkFolder(const std::string& folder, PACL acl) {
    WIN32_FIND_DATAA data;
    CFindHandle find(FindFirstFileA((folder + "*").c_str(), &data));
    if (find.get() == INVALID_HANDLE_VALUE) {
        TARNLOG(TARNLOG_ERROR, "ファイルが見つからない");
        return FALSE;
    }
    for (;;) {
        std::string child = folder + data.cFileName;
        if (IsReparsePoint(data.dwFileAttributes)) {
            // A junction or link leads out of the tree (perhaps into a
            // system folder): neither its target nor the link is changed.
            TARNLOG(TARNLOG_INFO, "リパースポイントなので処理しません。[%s]", child.c_str());
        } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (data.cFileName[0] != '.' && !ApplySecurityTree((child + "\\").c_str(), acl)) return FALSE;
        } else {
            DWORD status = CSecurityCalls::Current().ChangeOwner(kOwner, child.c_str());
            if (status != ERROR_SUCCESS) {
                if (lstrcmpiA(PathFindExtensionA(child.c_str()), ".tmp") != 0) {
                    TARNLOG(TARNLOG_ERROR, "所有者情報変更失敗(%d) %s", status, child.c_str());
                    return FALSE;
                }
                TARNLOG(TARNLOG_ERROR, "TMPファイルなので処理を続行します。[%s]", child.c_str());
            } else {
                CSecurityCalls::Current().ApplyDacl(child.c_str(), acl);
            }
        }
        // 234 is retried, but only as often as the file search does
        // elsewhere: a search that keeps answering it has not seen every
        // entry, so the walk stops with that error.
        for (int retries = 0; !FindNextFileA(find.get(), &data);) {
            if (GetLastError() != ERROR_MORE_DATA) return TRUE;
            if (++retries > 10) return FALSE;
        }
    }
}

CSecurityCalls* g_current = nullptr;

}  // namespace

DWORD CSecurityCalls::ChangeOwner(const char* account, const char* path) { return ::ChangeOwner(account, path); }

BOOL CSecurityCalls::ApplyDacl(const char* path, PACL acl) { return ::ApplyDacl(path, acl); }

CSecurityCalls& CSecurityCalls::Current() {
    static CSecurityCalls real;
    return g_current ? *g_current : real;
}

CSecurityCalls* CSecurityCalls::Replace(CSecurityCalls* calls) {
    CSecurityCalls* old = g_current;
    g_current = calls;
    return old;
}

BOOL ApplySecurityTree(const char* path, PACL acl) {
    if (IsReparsePoint(GetFileAttributesA(path))) {
        TARNLOG(TARNLOG_INFO, "リパースポイントなので処理しません。[%s]", path);
        return TRUE;
    }
    if (!ChangeOwnerLogged(path)) return FALSE;
    if (!PathIsDirectoryA(path) && PathFileExistsA(path)) {
        CSecurityCalls::Current().ApplyDacl(path, acl);
        return TRUE;
    }

    // Open the folder to everyone while its contents are walked.
    {
        CAclHolder open;
        AddAccessEntry(open.out(), kFullControl, "everyone");
        CSecurityCalls::Current().ApplyDacl(path, open.get());
    }

    std::vector<char> folder(lstrlenA(path) + 2, '\0');
    lstrcpyA(folder.data(), path);
    AddBackslash(folder.data(), folder.size());
    if (!WalkFolder(folder.data(), acl)) return FALSE;

    if (!ChangeOwnerLogged(path)) return FALSE;
    CSecurityCalls::Current().ApplyDacl(path, acl);
    return TRUE;
}

DWORD AddAccessEntry(PACL* acl, DWORD mask, const char* trustee) {
    if (!acl) return ERROR_INVALID_PARAMETER;
    CRuntimeDll advapi(kAdvApi);
    DWORD error = 0;
    BuildTrusteeWithNameAFn buildTrustee = advapi.Get<BuildTrusteeWithNameAFn>("BuildTrusteeWithNameA", &error);
    if (!buildTrustee) return error;

    EXPLICIT_ACCESS_A entry = {};
    entry.grfAccessPermissions = mask;
    entry.grfAccessMode = (mask & SYNCHRONIZE) ? SET_ACCESS : DENY_ACCESS;
    entry.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
    buildTrustee(&entry.Trustee, const_cast<LPSTR>(trustee));
    return AddEntry(acl, entry, advapi);
}

BOOL ApplyDacl(const char* path, PACL acl) {
    if (!path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    SECURITY_DESCRIPTOR descriptor;
    if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION)) return FALSE;
    if (!SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE)) return FALSE;
    return SetFileSecurityA(path, DACL_SECURITY_INFORMATION, &descriptor);
}

PACL BuildEveryoneFullControlAcl() {
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID sid = nullptr;
    if (!AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &sid)) return nullptr;

    CRuntimeDll advapi(kAdvApi);
    DWORD error = 0;
    PACL acl = nullptr;
    BuildTrusteeWithSidAFn buildTrustee = advapi.Get<BuildTrusteeWithSidAFn>("BuildTrusteeWithSidA", &error);
    if (buildTrustee) {
        EXPLICIT_ACCESS_A entry = {};
        entry.grfAccessPermissions = STANDARD_RIGHTS_ALL | SPECIFIC_RIGHTS_ALL;
        entry.grfAccessMode = SET_ACCESS;
        entry.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
        buildTrustee(&entry.Trustee, sid);
        error = AddEntry(&acl, entry, advapi);
    }
    FreeSid(sid);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return nullptr;
    }
    return acl;
}

void AddTrailingBackslash(char* path) { AddBackslash(path, MAX_PATH); }
