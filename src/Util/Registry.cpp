#include "Util/Registry.h"
#include <mbstring.h>
#include "INC/MbText.h"
#include "INC/Owner.h"
#include "INC/RegRead.h"
#include <cstdarg>
#include <cstdio>
#include <map>

namespace {

const DWORD kDefaultValueNameLength = 1024;

struct MbsLessNoCase {
    bool operator()(const std::string& a, const std::string& b) const {
        return _mbsicmp(Bytes(a.c_str()), Bytes(b.c_str())) < 0;
    }
};

// Filled once during static initialisation, read-only afterwards, so any
// thread may look names up without a lock.
const std::map<std::string, HKEY, MbsLessNoCase> g_rootKeys = {
    {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {"HKCR", HKEY_CLASSES_ROOT},
    {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
    {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {"HKCU", HKEY_CURRENT_USER},
    {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {"HKLM", HKEY_LOCAL_MACHINE},
    {"HKEY_USERS", HKEY_USERS},
    {"HKEY_PERFORMANCE_DATA", HKEY_PERFORMANCE_DATA},
};

std::string Format(const char* format, ...) {
    char buf[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(buf, sizeof(buf), format, args);
    va_end(args);
    return buf;
}

const char kOpenFailed[] = "レジストリを開くことができませんでした。(path: %s)";

}  // namespace

HKEY RootKeyTable::Find(const char* name) {
    if (!name) return nullptr;
    auto it = g_rootKeys.find(name);
    return it == g_rootKeys.end() ? nullptr : it->second;
}

CRegistry::CRegistry()
    : m_key(nullptr), m_accessMask(KEY_READ), m_valueNameLength(kDefaultValueNameLength) {}

CRegistry::~CRegistry() { Close(); }

void CRegistry::SetAccessMask(REGSAM accessMask) { m_accessMask = accessMask; }

void CRegistry::Close() {
    m_valueNameLength = kDefaultValueNameLength;
    if (m_key) {
        RegCloseKey(m_key);
        m_key = nullptr;
    }
}

void CRegistry::Open(const char* fullPath) {
    Close();
    const std::string path = fullPath ? fullPath : "";
    // The root name holds no double-byte characters, so the first 0x5C byte
    // that is not a trail byte ends it; _mbschr finds exactly that.
    const unsigned char* p = Bytes(path.c_str());
    const unsigned char* sep = _mbschr(p, '\\');
    const std::string rootName = sep ? path.substr(0, sep - p) : path;
    const std::string subkey = sep ? path.substr(sep - p + 1) : std::string();

    HKEY key = nullptr;
    if (_mbsicmp(Bytes(rootName.c_str()), Bytes("HKEY_CURRENT_USER")) == 0) {
        // The hive of the calling thread's user, not the process's cached one.
        CRegKey userRoot;
        LONG rc = RegOpenCurrentUser(m_accessMask, userRoot.out());
        if (rc != ERROR_SUCCESS)
            throw CWin32Error(__FILE__, __LINE__, Format(kOpenFailed, "HKEY_CURRENT_USER"), rc);
        rc = RegOpenKeyExA(userRoot.get(), subkey.c_str(), 0, m_accessMask, &key);
        if (rc != ERROR_SUCCESS) throw CWin32Error(__FILE__, __LINE__, Format(kOpenFailed, subkey.c_str()), rc);
    } else {
        HKEY root = RootKeyTable::Find(rootName.c_str());
        LONG rc = RegOpenKeyExA(root, subkey.c_str(), 0, m_accessMask, &key);
        if (rc == ERROR_SUCCESS && !key) rc = ERROR_INVALID_HANDLE;
        if (rc != ERROR_SUCCESS) throw CWin32Error(__FILE__, __LINE__, Format(kOpenFailed, subkey.c_str()), rc);
    }
    m_key = key;
    DWORD maxNameLength = 0;
    if (RegQueryInfoKeyA(m_key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxNameLength,
                         nullptr, nullptr, nullptr) == ERROR_SUCCESS)
        m_valueNameLength = maxNameLength + 1;
    m_path = path;
}

DWORD CRegistry::QueryValue(const char* entry, DWORD* type, BYTE* data, DWORD* size) {
    if (!m_key) throw CWin32Error(__FILE__, __LINE__, "キーが開かれていません。", ERROR_INVALID_HANDLE);
    DWORD localType = 0;
    LONG rc = RegQueryValueExA(m_key, entry, nullptr, &localType, data, size);
    if (rc != ERROR_SUCCESS) ThrowValueError(entry, localType, rc);
    if (type) *type = localType;
    return 0;
}

DWORD CRegistry::GetStringValue(const char* entry, char* buffer, DWORD bufferSize) {
    // Without a buffer the query would only report the size and "succeed".
    if (!buffer || bufferSize == 0) ThrowValueError(entry, REG_NONE, ERROR_INVALID_PARAMETER);
    if (!m_key) throw CWin32Error(__FILE__, __LINE__, "キーが開かれていません。", ERROR_INVALID_HANDLE);
    DWORD type = REG_NONE;
    DWORD size = 0;
    LONG rc = RegQueryString(m_key, entry, buffer, bufferSize, REGREAD_SZ | REGREAD_MULTI_SZ, &type, &size);
    if (rc == ERROR_DATATYPE_MISMATCH)
        throw CWin32Error(__FILE__, __LINE__,
                          Format("データ型が異なっています。(expected: %s or %s, actual: %s)", "REG_MULTI_SZ",
                                 "REG_SZ", TypeName(type)),
                          ERROR_INVALID_DATA);
    if (rc != ERROR_SUCCESS) ThrowValueError(entry, type, rc);
    return size;
}

void CRegistry::ThrowValueError(const char* entry, DWORD type, DWORD code) {
    throw CWin32Error(__FILE__, __LINE__,
                      Format("値を取得することができませんでした。(entry: %s, type: %s)", entry ? entry : "",
                             TypeName(type)),
                      code);
}

const char* CRegistry::TypeName(DWORD type) {
    switch (type) {
    case REG_SZ: return "REG_SZ";
    case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
    case REG_BINARY: return "REG_BINARY";
    case REG_DWORD: return "REG_DWORD";
    case REG_DWORD_BIG_ENDIAN: return "REG_DWORD_BIG_ENDIAN";
    case REG_LINK: return "REG_LINK";
    case REG_MULTI_SZ: return "REG_MULTI_SZ";
    case REG_RESOURCE_LIST: return "REG_RESOURCE_LIST";
    case REG_QWORD: return "REG_QWORD";
    default: return "REG_NONE";
    }
}
