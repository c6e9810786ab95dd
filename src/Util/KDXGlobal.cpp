#include "Util/KDXGlobal.h"

#include "Ins/InsCmn/Sequre.h"
#include "Util/SystemDll.h"

#include <mbstring.h>
#include <shlwapi.h>
#include <string.h>

#include <string>

#include "LIB/Util/OSVersion.h"
#include "TarnLog/TarnLog.h"
#include "TarnLog/TarnLogExcptionCallStack.h"

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
    "Coordination", "SQLSamDB",      NULL,            "DevSet",        "KdmLogAltDB",  "RepGenData",
    "AstSnpDB",     "SubLogDB",      "SQLIncidentDB", "SQLIdAuditDB",  "UsrOprTrendDB", "SQLIPMngDB",
    "DiskMntData",
};
const int kHssServerDbId = 5;
const int kTmpDirId = 9;

// Registry value of a database-root id, or NULL for other ids.
const char* DBRootValueName(int id) {
    switch (id) {
    case 0: return "KdmDBRoot";
    case 10: return "KdmDBRootLog";
    case 11: return "KdmDBRootHoData";
    case 12: return "KdmDBRootHoIndex";
    case 16: return "KdmDBRootAsData";
    default: return NULL;
    }
}

unsigned char* Bytes(char* text) { return reinterpret_cast<unsigned char*>(text); }
const unsigned char* Bytes(const char* text) { return reinterpret_cast<const unsigned char*>(text); }

class CRegKey {
public:
    CRegKey() : m_key(NULL) {}
    ~CRegKey() {
        if (m_key) RegCloseKey(m_key);
    }
    CRegKey(const CRegKey&) = delete;
    CRegKey& operator=(const CRegKey&) = delete;
    LONG Open(const char* subKey, REGSAM access) {
        return RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, access, &m_key);
    }
    HKEY get() const { return m_key; }

private:
    HKEY m_key;
};

// Reads a string value of an HKLM key into buffer, always NUL-terminated.
// Only REG_SZ is text for the generic settings; the install and database
// folders may also be REG_EXPAND_SZ, taken as they stand. Any other type
// would put binary data where a path is expected: 1629.
DWORD ReadString(const char* subKey, REGSAM access, const char* valueName, char* buffer, DWORD size,
                 bool expandAllowed) {
    buffer[0] = '\0';
    CRegKey key;
    LONG error = key.Open(subKey, access);
    if (error != ERROR_SUCCESS) return error;
    DWORD type = 0;
    DWORD bytes = size - 1;
    error = RegQueryValueExA(key.get(), valueName, NULL, &type, reinterpret_cast<BYTE*>(buffer), &bytes);
    if (error != ERROR_SUCCESS) {
        buffer[0] = '\0';
        return error;
    }
    if (type != REG_SZ && !(expandAllowed && type == REG_EXPAND_SZ)) {
        buffer[0] = '\0';
        return ERROR_DATATYPE_MISMATCH;
    }
    buffer[bytes < size ? bytes : size - 1] = '\0';
    return ERROR_SUCCESS;
}

DWORD ReadSettingsFolder(const char* valueName, char* buffer, DWORD size) {
    DWORD error = ReadString(kSettingsKey, KEY_QUERY_VALUE, valueName, buffer, size, true);
    if (error == ERROR_SUCCESS && !buffer[0]) return ERROR_INVALID_DATA;
    return error;
}

// Appends text to buffer; false (buffer unchanged) when it does not fit.
bool Append(char* buffer, size_t size, const char* text) {
    size_t length = strlen(buffer);
    size_t add = strlen(text);
    if (length + add + 1 > size) return false;
    memcpy(buffer + length, text, add + 1);
    return true;
}

// Cuts path after its last backslash; false when it holds none.
bool CutAfterLastBackslash(char* path) {
    unsigned char* slash = _mbsrchr(Bytes(path), '\\');
    if (!slash) return false;
    slash[1] = '\0';
    return true;
}

// The last component of path (all of it without a backslash).
const char* FileNamePart(const char* path) {
    const unsigned char* slash = _mbsrchr(Bytes(path), '\\');
    return slash ? reinterpret_cast<const char*>(slash + 1) : path;
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
    wchar_t wideName[64] = {0};
    if (!MultiByteToWideChar(CP_ACP, 0, name, -1, wideName, 64)) return 0;
    DWORD wideLength = GetEnvironmentVariableW(wideName, NULL, 0);
    if (!wideLength) return 0;
    std::wstring wide(wideLength, L'\0');
    wideLength = GetEnvironmentVariableW(wideName, &wide[0], wideLength);
    if (!wideLength) return 0;
    int length = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, NULL, 0, NULL, NULL);
    if (length <= 0) return 0;
    if (static_cast<DWORD>(length) > size) return static_cast<DWORD>(length);
    WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, buffer, length, NULL, NULL);
    return static_cast<DWORD>(length - 1);
}

void InitializeLog(const char* path) { CTarnLogWrapper(__FILE__, __LINE__).Initialize(path, 4096, NULL, -1, 0); }

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

bool AddBackslash(char* path, size_t size) {
    size_t length = strlen(path);
    if (length) {
        const unsigned char* slash = _mbsrchr(Bytes(path), '\\');
        if (slash && slash[1] == '\0') return true;
    }
    return Append(path, size, "\\");
}

void GetModuleFolder(char* buffer, DWORD size) {
    if (!buffer || !size) return;
    ZeroMemory(buffer, size);
    GetModuleFileNameA(NULL, buffer, size);
    buffer[size - 1] = '\0';
    RemoveFileSpec(buffer);
    AddBackslash(buffer, size);
}

BOOL RemoveFileSpec(char* path) {
    if (!path) return FALSE;
    static const bool vistaOrLater = COSVersion().IsVistaOrLater();
    if (!vistaOrLater) return PathRemoveFileSpecA(path);

    // The wide call treats double-byte names correctly on every system.
    int wideLength = MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, path, -1, NULL, 0);
    if (wideLength <= 0) return FALSE;
    std::wstring wide(static_cast<size_t>(wideLength), L'\0');
    if (!MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, path, -1, &wide[0], wideLength)) return FALSE;
    BOOL result = PathRemoveFileSpecW(&wide[0]);
    BOOL usedDefault = FALSE;
    int length = WideCharToMultiByte(CP_ACP, WC_COMPOSITECHECK, wide.c_str(), -1, NULL, 0, NULL, &usedDefault);
    if (length <= 0 || usedDefault) return FALSE;
    std::string narrow(static_cast<size_t>(length), '\0');
    if (!WideCharToMultiByte(CP_ACP, WC_COMPOSITECHECK, wide.c_str(), -1, &narrow[0], length, NULL, &usedDefault) ||
        usedDefault)
        return FALSE;
    // Never longer than the input: only a tail was removed.
    memcpy(path, narrow.c_str(), strlen(narrow.c_str()) + 1);
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
    unsigned char* cursor = NULL;
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

void SetupLog(HMODULE module) {
    char modulePath[MAX_PATH] = {0};
    GetModuleFileNameA(module, modulePath, 256);
    char name[MAX_PATH] = {0};
    lstrcpynA(name, FileNamePart(modulePath), MAX_PATH);

    char logPath[MAX_PATH * 2] = {0};
    GetModuleFolder(logPath, MAX_PATH);
    Append(logPath, sizeof(logPath), "Log\\");
    CreateDirectoryTree(logPath, NULL, 1, FALSE);  // a failure only means the writer drops its lines
    Append(logPath, sizeof(logPath), name);
    Append(logPath, sizeof(logPath), ".log");
    InitializeLog(logPath);
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
    char dumpPath[MAX_PATH] = {0};
    // PathCombineA fails for a folder that leaves no room: then no dump.
    // Without a product log folder the bare name would land in the current
    // folder, wherever the elevated program was started: no dump either.
    bool haveDumpPath = logDir[0] && PathCombineA(dumpPath, logDir, "VELMOR.DMP") != NULL;
    InstallCrashHandler(OnCrashReportLine, withDump && haveDumpPath ? dumpPath : NULL, install);
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
    DWORD got = GetModuleFileNameA(NULL, folder, MAX_PATH);
    if (!got || got >= MAX_PATH || !CutAfterLastBackslash(folder)) lstrcpyA(folder, ".\\");

    char iniPath[MAX_PATH * 2] = {0};
    lstrcpyA(iniPath, folder);
    Append(iniPath, sizeof(iniPath), kSysIniName);
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
    Append(buffer, size, kSysIniName);
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
        if (!AddBackslash(buffer, size) || !Append(buffer, size, "tmp")) {
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
    DWORD got = GetModuleFileNameA(NULL, buffer, size);
    if (!got) return GetLastError();
    if (got >= size) {
        buffer[0] = '\0';
        return ERROR_MORE_DATA;
    }
    CutAfterLastBackslash(buffer);
    if (AddBackslash(buffer, size) && Append(buffer, size, kRvuDllName) && PathFileExistsA(buffer))
        return ERROR_SUCCESS;

    char key[MAX_PATH] = {0};
    wsprintfA(key, "%s\\%s", kRvuKeyRoot, "ClientService");
    DWORD error = ReadString(key, KEY_READ, "InstallPath", buffer, size, true);
    if (error) return error;
    if (!AddBackslash(buffer, size) || !Append(buffer, size, "ZevRvuC") || !AddBackslash(buffer, size) ||
        !Append(buffer, size, kRvuDllName)) {
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
    CLibrary library(LoadLibraryA(path));
    if (!library.get()) return GetLastError();
    GetProductInfoProc query = reinterpret_cast<GetProductInfoProc>(GetProcAddress(library.get(), "RVUGetProductInfo"));
    if (!query) return GetLastError();
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
    return ReadString(key, KEY_QUERY_VALUE, valueName, m_value, sizeof(m_value), false);
}
