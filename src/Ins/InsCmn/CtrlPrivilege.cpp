#include "Ins/InsCmn/CtrlPrivilege.h"

#include "INC/Owner.h"
#include "INC/PathUtil.h"
#include "INC/RegRead.h"
#include "INC/OSVersion.h"
#include "TarnLog/TarnLog.h"

#include <aclapi.h>
#include <shlwapi.h>
#include <stdio.h>
#include <string.h>

namespace {

const char kPrivilege[] = "SeTakeOwnershipPrivilege";

// Opens the process token; logs and returns the error on failure.
DWORD OpenOwnToken(DWORD access, CToken& token) {
    if (OpenProcessToken(GetCurrentProcess(), access, token.out())) return ERROR_SUCCESS;
    DWORD error = GetLastError();
    TARNLOG(TARNLOG_ERROR, "OpenProcessToken失敗(%d)", error);
    return error;
}

DWORD LookupTakeOwnership(LUID& luid) {
    if (LookupPrivilegeValueA(nullptr, kPrivilege, &luid)) return ERROR_SUCCESS;
    DWORD error = GetLastError();
    TARNLOG(TARNLOG_ERROR, "LookupPrivilegeValue失敗(%d)", error);
    return error;
}

bool StartsWith(const char* path, const char* prefix) {
    const char* found = StrStrIA(path, prefix);
    return found == path;
}

}  // namespace

DWORD IsTakeOwnershipEnabled(BOOL* enabled) {
    if (!enabled) return ERROR_INVALID_PARAMETER;
    CToken token;
    DWORD error = OpenOwnToken(TOKEN_QUERY | TOKEN_ADJUST_PRIVILEGES, token);
    if (error) return error;

    DWORD size = 0;
    if (!GetTokenInformation(token.get(), TokenPrivileges, nullptr, 0, &size)) {
        error = GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER) {
            TARNLOG(TARNLOG_ERROR, "GetTokenInformation失敗(%d)", error);
            return error;
        }
    }
    if (size == 0) {
        TARNLOG(TARNLOG_ERROR, "GetTokenInformation失敗(%d)", ERROR_INVALID_HANDLE);
        return ERROR_INVALID_HANDLE;
    }
    CHeapBlock buffer(size);
    if (!buffer.get()) {
        error = GetLastError();
        TARNLOG(TARNLOG_ERROR, "HeapAlloc失敗(%d)", error);
        return error;
    }
    if (!GetTokenInformation(token.get(), TokenPrivileges, buffer.get(), size, &size)) {
        error = GetLastError();
        TARNLOG(TARNLOG_ERROR, "GetTokenInformation失敗(%d)", error);
        return error;
    }
    LUID luid;
    error = LookupTakeOwnership(luid);
    if (error) return error;

    BOOL found = IsPrivilegeEnabledIn(*static_cast<const TOKEN_PRIVILEGES*>(buffer.get()), luid) ? TRUE : FALSE;
    *enabled = found;
    return ERROR_SUCCESS;
}

bool IsPrivilegeEnabledIn(const TOKEN_PRIVILEGES& privileges, const LUID& luid) {
    for (DWORD i = 0; i < privileges.PrivilegeCount; ++i) {
        const LUID_AND_ATTRIBUTES& entry = privileges.Privileges[i];
        // Enabled-by-default (3) counts as not enabled, so the caller's
        // bracket enables and later disables it again.
        if (entry.Luid.LowPart == luid.LowPart && entry.Luid.HighPart == luid.HighPart &&
            entry.Attributes == SE_PRIVILEGE_ENABLED)
            return true;
    }
    return false;
}

DWORD SetTakeOwnership(int enable) {
    CToken token;
    DWORD error = OpenOwnToken(TOKEN_ADJUST_PRIVILEGES, token);
    if (error) return error;
    TOKEN_PRIVILEGES privileges = {};
    error = LookupTakeOwnership(privileges.Privileges[0].Luid);
    if (error) return error;
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = enable > 0 ? SE_PRIVILEGE_ENABLED : 0;
    if (!AdjustTokenPrivileges(token.get(), FALSE, &privileges, sizeof(privileges), nullptr, nullptr)) {
        error = GetLastError();
        TARNLOG(TARNLOG_ERROR, "AdjustTokenPrivileges失敗(%d)", error);
        return error;
    }
    return ERROR_SUCCESS;
}

DWORD AccountSid(const char* account, COwner<CHeapTraits>& sid) {
    if (!account) return ERROR_INVALID_PARAMETER;
    char domain[256] = {0};
    DWORD domainSize = sizeof(domain);
    DWORD sidSize = 0;
    SID_NAME_USE use;

    if (!LookupAccountNameA(nullptr, account, nullptr, &sidSize, domain, &domainSize, &use)) {
        DWORD error = GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER) {
            TARNLOG(TARNLOG_ERROR, "LookupAccountName失敗(%d)", error);
            return error;
        }
    }
    if (sidSize == 0) {
        TARNLOG(TARNLOG_ERROR, "LookupAccountName失敗(%d)", ERROR_INVALID_ACCOUNT_NAME);
        return ERROR_INVALID_ACCOUNT_NAME;
    }
    sid = CHeapBlock(sidSize);
    if (!sid.get()) {
        DWORD error = GetLastError();
        TARNLOG(TARNLOG_ERROR, "HeapAlloc失敗(%d)", error);
        return error;
    }
    domainSize = sizeof(domain);
    if (!LookupAccountNameA(nullptr, account, sid.get(), &sidSize, domain, &domainSize, &use)) {
        DWORD error = GetLastError();
        TARNLOG(TARNLOG_ERROR, "LookupAccountName失敗(%d)", error);
        return error;
    }
    return ERROR_SUCCESS;
}

DWORD ChangeOwner(const char* account, const char* path) {
    if (!account || !path) return ERROR_INVALID_PARAMETER;
    char pathCopy[MAX_PATH] = {0};
    lstrcpynA(pathCopy, path, MAX_PATH);
    COwner<CHeapTraits> sid;
    if (DWORD error = AccountSid(account, sid)) return error;

    // A path cut to the buffer would name another object, or none, which
    // counts as done: a path that does not fit fails instead.
    DWORD result = lstrlenA(path) >= MAX_PATH
                       ? static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE)
                       : SetNamedSecurityInfoA(pathCopy, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, sid.get(), nullptr,
                                               nullptr, nullptr);
    if (result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;

    DWORD attributes = GetFileAttributesA(path);
    DWORD attributesError = GetLastError();
    TARNLOG(TARNLOG_ERROR, "所有者情報変更に失敗(%d) %s GetFileAttributes:Return(%d) Error(%d)", result, path,
            attributes, attributesError);
    if (result == ERROR_INVALID_NAME && IsUnneededUserSetFile(path)) {
        TARNLOG(TARNLOG_INFO, "!!!不要ファイルチェック[%s]", path);
        return ERROR_SUCCESS;
    }
    return result;
}

bool IsUnneededUserSetFile(const char* path) {
    if (!path || !*path) return false;
    char folder[MAX_PATH] = {0};
    if (GetClientViewFolder(folder) != ERROR_SUCCESS) return false;
    if (!PathAppendA(folder, "UserSet")) return false;
    if (!StartsWith(path, folder)) return false;
    if (!AddBackslash(folder, sizeof(folder))) return false;

    char prefix[MAX_PATH + 16];
    snprintf(prefix, sizeof(prefix), "%sWIN_", folder);
    if (StartsWith(path, prefix)) return true;
    snprintf(prefix, sizeof(prefix), "%sRAZIV_", folder);
    return StartsWith(path, prefix);
}

DWORD GetProgramFilesDir(char* buffer, DWORD size, DWORD view) {
    if (!buffer || size == 0 || view > 2) return ERROR_INVALID_PARAMETER;
    REGSAM access = KEY_QUERY_VALUE;
    if (COSVersion().Is64BitOS()) {
        if (view == 1) access |= KEY_WOW64_64KEY;
        if (view == 2) access |= KEY_WOW64_32KEY;
    }
    LONG status = RegReadString(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", access,
                                "ProgramFilesDir", buffer, size, REGREAD_SZ | REGREAD_EXPAND_SZ);
    if (status != ERROR_SUCCESS) return static_cast<DWORD>(status);
    return buffer[0] ? ERROR_SUCCESS : ERROR_NO_DATA;
}

DWORD GetClientViewFolder(char* buffer) {
    DWORD status = GetProgramFilesDir(buffer, MAX_PATH, 2);
    if (status) return status;
    size_t length = strlen(buffer);
    if (length && EndsWithBackslash(buffer)) buffer[--length] = '\0';
    if (length + 32 > MAX_PATH) return ERROR_INVALID_PARAMETER;
    lstrcatA(buffer, "\\Zev Product\\VELMOR Client View");
    return ERROR_SUCCESS;
}
