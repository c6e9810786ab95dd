#include "Ins/InsCmn/SetSequreType.h"

#include "INC/MbText.h"
#include "Ins/InsCmn/CtrlPrivilege.h"
#include "Ins/InsCmn/Sequre.h"
#include "INC/FolderWalk.h"
#include "INC/OSVersion.h"
#include "INC/WideText.h"
#include "TarnLog/TarnLog.h"

#include <mbstring.h>

namespace {

const DWORD kFull = 0x1F01FF;           // FILE_ALL_ACCESS
const DWORD kReadExecute = 0x1200A9;    // FILE_GENERIC_READ | FILE_GENERIC_EXECUTE
const DWORD kReadWrite = 0x12019F;      // FILE_GENERIC_READ | FILE_GENERIC_WRITE
const char kAppPackages[] = "ALL APPLICATION PACKAGES";

struct AccessEntry {
    const char* trustee;
    DWORD mask;
    const char* detailCode;
    bool windows8Only;
};

struct SecurityType {
    const char* name;
    AccessEntry entries[4];
};

const SecurityType kTypes[] = {
    {"Type1", {{"everyone", kFull, "049", false}, {kAppPackages, kFull, "049", true}}},
    {"Type2",
     {{"SYSTEM", kFull, "050", false},
      {"everyone", kReadExecute, "051", false},
      {kAppPackages, kReadExecute, "051", true}}},
    {"Type3", {{"SYSTEM", kFull, "052", false}}},
    {"Type4", {{"SYSTEM", kFull, "053", false}, {"Administrators", kFull, "054", false}}},
    {"Type5",
     {{"SYSTEM", kFull, "055", false},
      {"Administrators", kFull, "056", false},
      {"everyone", kReadExecute, "057", false},
      {kAppPackages, kReadExecute, "057", true}}},
    {"Type6", {{"SYSTEM", kFull, "055", false}, {"everyone", kReadWrite, "057", false}}},
    {"Type7",
     {{"SYSTEM", kFull, "055", false},
      {"Administrators", kFull, "056", false},
      {"everyone", kReadWrite, "057", false}}},
};

const SecurityType kUnknownType = {"", {{"everyone", kFull, "058", false}}};

const SecurityType& FindType(const char* name) {
    for (const SecurityType& type : kTypes) {
        if (_mbsicmp(Bytes(type.name), Bytes(name)) == 0) return type;
    }
    TARNLOG(TARNLOG_ERROR, "CmdSequre [Act=%s]", name);
    return kUnknownType;
}

// Builds the type's list; on a failed entry logs, stores its code, false.
bool BuildTypeAcl(const SecurityType& type, const char* folder, CAclHolder& acl, std::string& detailCode) {
    const bool windows8 = COSVersion().IsWindows8OrLater();
    for (const AccessEntry& entry : type.entries) {
        if (!entry.trustee) break;
        if (entry.windows8Only && !windows8) continue;
        DWORD status = AddAccessEntry(acl.out(), entry.mask, entry.trustee);
        if (status == ERROR_SUCCESS) continue;
        if (entry.windows8Only)
            TARNLOG(TARNLOG_INFO, "(ALL APPLICATION PACKAGES)アクセス権設定失敗(%d)%s", status, folder);
        else
            TARNLOG(TARNLOG_ERROR, "アクセス権設定失敗(%d)%s", status, folder);
        detailCode = entry.detailCode;
        return false;
    }
    return true;
}

}  // namespace

int CmdSequre(const char* folder, const char* typeName, std::string& detailCode) {
    if (!folder) return -1;
    CWalkRoot root;
    root.Resolve(folder);
    return CmdSequre(root, typeName, detailCode, nullptr);
}

int CmdSequre(const CWalkRoot& root, const char* typeName, std::string& detailCode, CSecurityRecord* record) {
    if (!typeName) return -1;
    const char* folder = root.Text().c_str();
    TARNLOG(TARNLOG_INFO, "Sequre:[%s]%s", typeName, folder);

    const DWORD error = root.GetError();
    switch (root.GetState()) {
    case CWalkRoot::kMissing:
        TARNLOG(TARNLOG_INFO, "権限設定無視(%d)", error);
        return 0;
    case CWalkRoot::kFailed:
        if (error == ERROR_ACCESS_DENIED || error == ERROR_INVALID_NAME) {
            TARNLOG(TARNLOG_INFO, "権限設定無視(%d)", error);
            return 0;
        }
        TARNLOG(TARNLOG_ERROR, "Error! GetFileAttributes(%d)", error);
        return static_cast<int>(error);
    case CWalkRoot::kOpen:
    case CWalkRoot::kLink:
        break;
    default:
        // Handing the system's own folders to everyone would open the whole
        // machine; the install folder never is one of them.
        TARNLOG(TARNLOG_ERROR, "保護されたフォルダなので権限設定しません。[%s]", folder);
        return -1;
    }

    // Access lists are only written on NTFS; a share's volume is not asked.
    const std::wstring& final = root.Final();
    if (final.compare(0, 4, L"\\\\?\\") == 0 && final.compare(0, 8, L"\\\\?\\UNC\\") != 0) {
        const wchar_t volume[] = {final[4], L':', L'\\', L'\0'};
        wchar_t fileSystem[MAX_PATH] = {0};
        if (!GetVolumeInformationW(volume, nullptr, 0, nullptr, nullptr, nullptr, fileSystem, MAX_PATH)) {
            const DWORD volumeError = GetLastError();
            TARNLOG(TARNLOG_ERROR, "Error! GetVolumeInformation(%d)", volumeError);
            return static_cast<int>(volumeError);
        }
        if (lstrcmpW(fileSystem, L"NTFS") != 0) {
            std::string name;
            Narrow(fileSystem, name);
            TARNLOG(TARNLOG_INFO, "Volume(%s)", name.c_str());
            return 0;
        }
    }

    CAclHolder acl;
    if (!BuildTypeAcl(FindType(typeName), folder, acl, detailCode)) return -1;

    BOOL wasEnabled = FALSE;
    DWORD status = IsTakeOwnershipEnabled(&wasEnabled);
    if (status) {
        TARNLOG(TARNLOG_ERROR, "特権情報取得失敗(%d)", status);
        return -1;
    }
    if (!wasEnabled && (status = SetTakeOwnership(1)) != 0) {
        TARNLOG(TARNLOG_ERROR, "特権付与失敗(%d)", status);
        return -1;
    }
    if (!ApplySecurityTree(root, acl.get(), record)) {
        TARNLOG(TARNLOG_ERROR, "アクセス権設定失敗(%d)%s", GetLastError(), folder);
        detailCode = "059";
        return -1;
    }
    if (!wasEnabled && (status = SetTakeOwnership(0)) != 0) {
        TARNLOG(TARNLOG_ERROR, "特権放棄失敗(%d)", status);
        return -1;
    }
    return 0;
}
