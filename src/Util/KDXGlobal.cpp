#include "Util/KDXGlobal.h"

#include <mbstring.h>
#include <shlwapi.h>
#include <string.h>

#include <string>

#include "INC/MbText.h"
#include "INC/RegRead.h"
#include "INC/SystemDll.h"
#include "INC/WideText.h"
#include "INC/Acl.h"
#include "INC/OSVersion.h"
#include "TarnLog/TarnLog.h"
#include "TarnLog/TarnLogExcptionCallStack.h"
#include "TarnLog/TarnLogWriter.h"

namespace {

const char kInstallDirVariable[] = "VELMOR_INSTDIR";
const char kSysIniName[] = "KDMSys.ini";
const char kSettingsKey[] = "SOFTWARE\\Zev Product\\VELMORClientView\\KdmInst";
const char kProductKeyRoot[] = "Zev Product\\VELMORClientView";
const char kRvuKeyRoot[] = "SOFTWARE\\Zev Product\\RVU";
const char kRvuDllName[] = "ZevRvuC.dll";
const char kPathSection[] = "PATH";
const DWORD kSettingsFileReadFailed = 4306;
const size_t kMaxKeyNameLength = 512;
const int kLastFolderId = 36;

// Folder keys of section PATH in KDMSys.ini by id; 26 has none, 5 is
// formatted with the caller's index.
const char* const kFolderKeys[kLastFolderId + 1] = {
    "DBRoot",       "MasterDB",      "CabData",       "LogDB",         "RecData",      "HSSSvrDB",
    "LayoutCache",  "LOGDIR",        "REPORTDIR",     "TMPDIR",        "DBRootLog",    "DBRootHoData",
    "DBRootHoIndex", "AnalysisDB",   "HssData",       "HssIndex",      "DBRootAsData", "AstExDB",
    "AstExTmp",     "LogAgrtDB",     "SQLMasterDB",   "SQLAstExDB",    "EvtLogDB",     "EvtLogDB_upd",
    "Coordination", "SQLSamDB",      nullptr,            "DevSet",        "KdmLogAltDB",  "RepGenData",
    "AstSnpDB",     "SubLogDB",      "SQLIncidentDB", "SQLIdAuditDB",  "UsrOprTrendDB", "SQLIPMngDB",
    "DiskMntData",
};
const int kHssServerDbId = 5;
const int kTmpDirId = 9;

// Registry value of a database-root id, or nullptr for other ids.
const char* DBRootValueName(int id) {
    switch (id) {
    case 0: return "KdmDBRoot";
    case 10: return "KdmDBRootLog";
    case 11: return "KdmDBRootHoData";
    case 12: return "KdmDBRootHoIndex";
    case 16: return "KdmDBRootAsData";
    default: return nullptr;
    }
}

// The install and database folders may also be REG_EXPAND_SZ, taken as
// they stand; the generic settings are REG_SZ only.
const unsigned kFolderTypes = REGREAD_SZ | REGREAD_EXPAND_SZ;

DWORD ReadSettingsFolder(const char* valueName, char* buffer, DWORD size) {
    DWORD error =
        RegReadString(HKEY_LOCAL_MACHINE, kSettingsKey, KEY_QUERY_VALUE, valueName, buffer, size, kFolderTypes);
    if (error == ERROR_SUCCESS && !buffer[0]) return ERROR_INVALID_DATA;
    return error;
}

// Cuts path after its last backslash; false when it holds none.
bool CutAfterLastBackslash(char* path) {
    unsigned char* slash = _mbsrchr(Bytes(path), '\\');
    if (!slash) return false;
    slash[1] = '\0';
    return true;
}

// Reads a key of section PATH of the settings file; the error when it is
// missing or empty (4306 when the read set no code).
DWORD ReadPathKey(const char* key, char* buffer, DWORD size, const char* iniPath) {
    SetLastError(ERROR_SUCCESS);
    GetPrivateProfileStringA(kPathSection, key, "", buffer, size, iniPath);
    if (buffer[0]) return ERROR_SUCCESS;
    DWORD error = GetLastError();
    return error ? error : kSettingsFileReadFailed;
}

// GetEnvironmentVariableA as the platform should give it: Wine's ANSI call
// cuts a value at its length in wide characters, dropping the last bytes of
// double-byte text, so the wide value is read and converted here. Returns
// the length, 0 when unset, or a value of size or more when it does not fit.
DWORD ReadEnvironment(const char* name, char* buffer, DWORD size) {
    std::wstring wideName;
    if (!Widen(name, wideName)) return 0;
    DWORD wideLength = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    if (!wideLength) return 0;
    std::wstring wide(wideLength, L'\0');
    wideLength = GetEnvironmentVariableW(wideName.c_str(), &wide[0], wideLength);
    if (!wideLength) return 0;
    std::string value;
    if (!Narrow(wide.c_str(), value)) return 0;
    if (value.size() >= size) return static_cast<DWORD>(value.size() + 1);
    memcpy(buffer, value.c_str(), value.size() + 1);
    return static_cast<DWORD>(value.size());
}

void InitializeLog(const char* path) { CTarnLogWrapper(__FILE__, __LINE__).Initialize(path, 4096, nullptr, -1, 0); }

// A folder created with applySecurity is opened to everyone.
void ApplyFolderSecurity(const char* path) {
    CAclHolder acl(BuildEveryoneFullControlAcl());
    if (acl.get()) ApplyDacl(path, acl.get());
}

// Creates one folder; 1 created, 2 already there, 0 failed.
int CreateOne(const char* path, SECURITY_ATTRIBUTES* attributes, BOOL applySecurity) {
    if (CreateDirectoryA(path, attributes)) {
        if (applySecurity) ApplyFolderSecurity(path);
        return 1;
    }
    return GetLastError() == ERROR_ALREADY_EXISTS ? 2 : 0;
}

}  // namespace

void GetModuleFolder(char* buffer, DWORD size) {
    if (!buffer || !size) return;
    ZeroMemory(buffer, size);
    GetModuleFileNameA(nullptr, buffer, size);
    buffer[size - 1] = '\0';
    RemoveFileSpec(buffer);
    AddBackslash(buffer, size);
}

BOOL RemoveFileSpec(char* path) {
    if (!path) return FALSE;
    static const bool vistaOrLater = COSVersion().IsVistaOrLater();
    if (!vistaOrLater) return PathRemoveFileSpecA(path);

    // The wide call treats double-byte names correctly on every system.
    std::wstring wide;
    if (!Widen(path, wide)) return FALSE;
    wide.push_back(L'\0');  // room for the call on an empty path
    BOOL result = PathRemoveFileSpecW(&wide[0]);
    std::string narrow;
    if (!Narrow(wide.c_str(), narrow, true)) return FALSE;
    // Never longer than the input: only a tail was removed.
    memcpy(path, narrow.c_str(), narrow.size() + 1);
    return result;
}

int CreateDirectoryTree(const char* path, SECURITY_ATTRIBUTES* attributes, int existsResult, BOOL applySecurity) {
    if (!path || !*path || strlen(path) >= MAX_PATH) return 0;
    switch (CreateOne(path, attributes, applySecurity)) {
    case 1: return 1;
    case 2: return existsResult;
    default: break;
    }

    char copy[MAX_PATH];
    lstrcpynA(copy, path, MAX_PATH);
    unsigned char* cursor = nullptr;
    if (copy[0] == '\\' && copy[1] == '\\') {
        unsigned char* server = _mbschr(Bytes(copy) + 2, '\\');
        if (!server) return 0;
        cursor = _mbschr(server + 1, '\\');
    } else {
        cursor = _mbschr(Bytes(copy), '\\');
    }
    if (!cursor) return 0;
    for (cursor = _mbschr(cursor + 1, '\\'); cursor; cursor = _mbschr(cursor + 1, '\\')) {
        *cursor = '\0';
        int created = CreateOne(copy, attributes, applySecurity);
        *cursor = '\\';
        if (!created) return 0;
    }
    return CreateOne(copy, attributes, applySecurity) ? 1 : 0;
}

void SetupLog(HMODULE module, const char* folder) {
    char modulePath[MAX_PATH] = {0};
    GetModuleFileNameA(module, modulePath, 256);
    char name[MAX_PATH] = {0};
    lstrcpynA(name, FileNamePart(modulePath), MAX_PATH);

    char logPath[MAX_PATH * 2] = {0};
    DWORD folderError = 0;
    if (folder && *folder) {
        const std::string wanted = BesideProgram(folder);
        CopyText(logPath, sizeof(logPath), wanted.c_str());
        if (wanted.empty() || !AddBackslash(logPath, MAX_PATH) || !CreateDirectoryTree(logPath, nullptr, 1, FALSE)) {
            folderError = wanted.empty() ? ERROR_FILENAME_EXCED_RANGE : GetLastError();
            logPath[0] = '\0';
        }
    }
    if (!logPath[0]) {
        GetModuleFolder(logPath, MAX_PATH);
        AppendText(logPath, sizeof(logPath), "Log\\");
        CreateDirectoryTree(logPath, nullptr, 1, FALSE);  // a failure only means the writer drops its lines
    }
    AppendText(logPath, sizeof(logPath), name);
    AppendText(logPath, sizeof(logPath), ".log");
    // The writer's default folder is the product's; it asks through this.
    tarnlog::SetProductLogFolderProvider(GetProductLogDir);
    InitializeLog(logPath);
    if (folderError)
        TARNLOG(TARNLOG_ERROR, "ログフォルダを作成できません [%s] GetLastError:[%lu]", folder, folderError);
}

std::string BesideProgram(const char* path) {
    if (!path || !PathIsRelativeA(path)) return path ? path : "";
    char folder[MAX_PATH] = {0};
    GetModuleFolder(folder, MAX_PATH);
    return MakePath(folder, path);
}

void GetProductLogDir(char* buffer, size_t size) {
    if (!buffer || !size) return;
    buffer[0] = '\0';
    CKdmRegStrR logDir("KdmInst", "LOGDIR");
    if (strlen(logDir.m_value) < size) memcpy(buffer, logDir.m_value, strlen(logDir.m_value) + 1);
}

void SetupCrashHandler(BOOL withDump, BOOL install) {
    char logDir[1024] = {0};
    GetProductLogDir(logDir, sizeof(logDir));
    InstallCrashHandler(OnCrashReportLine, withDump ? logDir : nullptr, install);
}

DWORD CKdmSysInfo::GetInstallDir(char* buffer, DWORD size) {
    if (!buffer || !size) return ERROR_INVALID_PARAMETER;
    DWORD length = ReadEnvironment(kInstallDirVariable, buffer, size);
    if (length >= size) {
        buffer[0] = '\0';
        return ERROR_MORE_DATA;
    }
    if (length) return ERROR_SUCCESS;

    char folder[MAX_PATH + 1] = {0};
    DWORD got = GetModuleFileNameA(nullptr, folder, MAX_PATH);
    if (!got || got >= MAX_PATH || !CutAfterLastBackslash(folder)) lstrcpyA(folder, ".\\");

    char iniPath[MAX_PATH * 2] = {0};
    lstrcpyA(iniPath, folder);
    AppendText(iniPath, sizeof(iniPath), kSysIniName);
    if (!PathIsNetworkPathA(folder) && GetFileAttributesA(iniPath) != INVALID_FILE_ATTRIBUTES) {
        if (strlen(folder) + 1 > size) return ERROR_MORE_DATA;
        lstrcpyA(buffer, folder);
        SetEnvironmentVariableA(kInstallDirVariable, folder);
        return ERROR_SUCCESS;
    }
    return ReadSettingsFolder("KDMDIR", buffer, size);
}

DWORD CKdmSysInfo::GetSysIniPath(char* buffer, DWORD size) {
    if (!buffer || !size) return ERROR_INVALID_PARAMETER;
    buffer[0] = '\0';
    if (size <= sizeof(kSysIniName)) return ERROR_MORE_DATA;
    DWORD error = GetInstallDir(buffer, size - sizeof(kSysIniName));
    if (error) return error;
    if (!_mbschr(Bytes(buffer), '\\')) {
        buffer[0] = '\0';
        return ERROR_INVALID_DATA;
    }
    AddBackslash(buffer, size);
    AppendText(buffer, size, kSysIniName);
    return ERROR_SUCCESS;
}

DWORD CKdmSysInfo::GetDBRoot(int id, char* buffer, DWORD size) {
    const char* valueName = DBRootValueName(id);
    if (!valueName || !buffer || size < 1) return ERROR_INVALID_PARAMETER;
    return ReadSettingsFolder(valueName, buffer, size);
}

DWORD CKdmSysInfo::GetFolder(int id, char* buffer, DWORD size, int index) {
    if (!buffer || !size) return ERROR_INVALID_PARAMETER;
    buffer[0] = '\0';
    char iniPath[MAX_PATH * 2] = {0};
    if (GetSysIniPath(iniPath, sizeof(iniPath))) return ERROR_PATH_NOT_FOUND;
    if (id < 0 || id > kLastFolderId || !kFolderKeys[id]) return ERROR_INVALID_PARAMETER;

    char key[64] = {0};
    if (id == kHssServerDbId)
        wsprintfA(key, "%s-%d", kFolderKeys[id], index);
    else
        lstrcpyA(key, kFolderKeys[id]);
    DWORD error = ReadPathKey(key, buffer, size, iniPath);
    if (!error) return ERROR_SUCCESS;
    if (DBRootValueName(id)) return GetDBRoot(id, buffer, size);
    if (id == kTmpDirId) {
        error = GetInstallDir(buffer, size);
        if (error) return error;
        if (!AddBackslash(buffer, size) || !AppendText(buffer, size, "tmp")) {
            buffer[0] = '\0';
            return ERROR_MORE_DATA;
        }
        return ERROR_SUCCESS;
    }
    return error;
}

DWORD CKdmSysInfo::GetRvuDllPath(char* buffer, DWORD size) {
    if (!buffer || !size) return ERROR_INVALID_PARAMETER;
    buffer[0] = '\0';
    DWORD got = GetModuleFileNameA(nullptr, buffer, size);
    if (!got) return GetLastError();
    if (got >= size) {
        buffer[0] = '\0';
        return ERROR_MORE_DATA;
    }
    CutAfterLastBackslash(buffer);
    if (AddBackslash(buffer, size) && AppendText(buffer, size, kRvuDllName) && PathFileExistsA(buffer))
        return ERROR_SUCCESS;

    char key[MAX_PATH] = {0};
    wsprintfA(key, "%s\\%s", kRvuKeyRoot, "ClientService");
    DWORD error = RegReadString(HKEY_LOCAL_MACHINE, key, KEY_READ, "InstallPath", buffer, size, kFolderTypes);
    if (error) return error;
    if (!AddBackslash(buffer, size) || !AppendText(buffer, size, "ZevRvuC") || !AddBackslash(buffer, size) ||
        !AppendText(buffer, size, kRvuDllName)) {
        buffer[0] = '\0';
        return ERROR_MORE_DATA;
    }
    return ERROR_SUCCESS;
}

DWORD CKdmSysInfo::QueryProductInfo(const char* product, const char* keyName, int infoId, char* buffer,
                                    DWORD size) {
    typedef DWORD(__cdecl * GetProductInfoProc)(const char*, const char*, BYTE, char*, DWORD);
    if (!buffer || !size) return ERROR_INVALID_PARAMETER;
    buffer[0] = '\0';
    char path[520] = {0};
    DWORD error = GetRvuDllPath(path, sizeof(path));
    if (error) return error;
    // A full path: nothing is searched for.
    CRuntimeDll library;
    if (!library.LoadPath(path)) return library.GetError();
    GetProductInfoProc query = library.Get<GetProductInfoProc>("RVUGetProductInfo", &error);
    if (!query) return error;
    error = query(product, keyName, static_cast<BYTE>(infoId), buffer, size);
    buffer[size - 1] = '\0';
    if (error) buffer[0] = '\0';
    return error;
}

CKdmRegStrR::CKdmRegStrR(const char* keyName, const char* valueName) {
    ZeroMemory(m_value, sizeof(m_value));
    DWORD error = (keyName && valueName) ? Read(keyName, valueName) : ERROR_INVALID_PARAMETER;
    if (error) m_value[0] = '\0';
    SetLastError(error);
}

CKdmRegStrR::~CKdmRegStrR() {}

DWORD CKdmRegStrR::Read(const char* keyName, const char* valueName) {
    if (!*keyName || !*valueName) return ERROR_INVALID_PARAMETER;
    if (strlen(keyName) > kMaxKeyNameLength) return 1743;

    if (!strcmp(valueName, "LOGDIR") || !strcmp(valueName, "REPORTDIR")) {
        char iniPath[MAX_PATH * 2] = {0};
        if (!CKdmSysInfo::GetSysIniPath(iniPath, sizeof(iniPath)) &&
            !ReadPathKey(valueName, m_value, sizeof(m_value), iniPath))
            return ERROR_SUCCESS;
    } else if (!strcmp(valueName, "TMPDIR")) {
        if (!CKdmSysInfo::GetFolder(kTmpDirId, m_value, sizeof(m_value), 0) && m_value[0]) return ERROR_SUCCESS;
    }
    m_value[0] = '\0';

    int infoId = 0;
    if (!strcmp(valueName, "ProductTreatment")) infoId = 3;
    else if (!strcmp(valueName, "ProductName")) infoId = 4;
    else if (!strcmp(valueName, "Special")) infoId = 5;
    if (infoId)
        return CKdmSysInfo::QueryProductInfo("VELMORClientView", keyName, infoId, m_value, sizeof(m_value));

    char key[kMaxKeyNameLength + 64] = {0};
    wsprintfA(key, "software\\%s\\%s", kProductKeyRoot, keyName);
    return RegReadString(HKEY_LOCAL_MACHINE, key, KEY_QUERY_VALUE, valueName, m_value, sizeof(m_value), REGREAD_SZ);
}
