#include "INC/Acl.h"

#include <aclapi.h>

#include "INC/SystemDll.h"

namespace {

typedef VOID(WINAPI* BuildTrusteeWithNameAFn)(PTRUSTEE_A, LPSTR);
typedef VOID(WINAPI* BuildTrusteeWithSidAFn)(PTRUSTEE_A, PSID);
typedef DWORD(WINAPI* SetEntriesInAclAFn)(ULONG, PEXPLICIT_ACCESS_A, PACL, PACL*);

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

}  // namespace

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
