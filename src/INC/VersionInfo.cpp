#include "INC/VersionInfo.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

const char* const kStringKeys[CFileVersionInfo::STRING_COUNT] = {
    "FileDescription", "LegalCopyright", "Comments", "SpecialBuild", "FileVersion", "PrivateBuild",
    "CompanyName", "LegalTrademarks", "OriginalFilename", "ProductVersion", "ProductName", "InternalName",
};

// Some version calls fail without setting an error; a failure must never
// come back as 0.
DWORD LastErrorOr(DWORD fallback) {
    DWORD e = GetLastError();
    return e ? e : fallback;
}

// Pieces of text between occurrences of sep (a whole string); empty pieces count.
std::vector<std::string> Split(const std::string& text, const char* sep) {
    std::vector<std::string> pieces;
    const size_t sepLen = strlen(sep);
    size_t start = 0;
    for (;;) {
        size_t pos = text.find(sep, start);
        if (pos == std::string::npos) break;
        pieces.push_back(text.substr(start, pos - start));
        start = pos + sepLen;
    }
    pieces.push_back(text.substr(start));
    return pieces;
}

DWORD ParseField(const std::string& piece) {
    const size_t first = piece.find_first_not_of(" \t");
    if (first == std::string::npos) return 0;
    const size_t last = piece.find_last_not_of(" \t");
    const std::string trimmed = piece.substr(first, last - first + 1);
    // atoi's reading (sign, leading digits, rest ignored), but saturating
    // instead of undefined on overflow; a negative value wraps round.
    return static_cast<DWORD>(static_cast<long>(strtol(trimmed.c_str(), nullptr, 10)));
}

}  // namespace

CFileVersionInfo::CFileVersionInfo()
    : m_translations(nullptr), m_translationCount(0), m_lastError(0), m_getSize(nullptr), m_getInfo(nullptr),
      m_query(nullptr) {}

CFileVersionInfo::~CFileVersionInfo() {}

void CFileVersionInfo::Clear() {
    m_data.reset();
    m_translations = nullptr;
    m_translationCount = 0;
    m_lastError = 0;
}

DWORD CFileVersionInfo::Load(HMODULE module) {
    std::vector<char> path(32768, '\0');
    if (GetModuleFileNameA(module, path.data(), static_cast<DWORD>(path.size())) == 0)
        return LastErrorOr(ERROR_INVALID_HANDLE);
    return LoadFile(path.data());
}

// version.dll is not one of the system's known DLLs: imported at link time it
// would be searched for beside the program first, where anyone may plant one.
// It is taken from the system folder at the first load and kept by the reader.
bool CFileVersionInfo::BindVersionDll() {
    if (m_versionDll.get()) return true;
    CRuntimeDll dll("version.dll");
    m_getSize = dll.Get<GetSizeFn>("GetFileVersionInfoSizeA");
    m_getInfo = dll.Get<GetInfoFn>("GetFileVersionInfoA");
    m_query = dll.Get<QueryFn>("VerQueryValueA");
    if (!m_getSize || !m_getInfo || !m_query) return false;  // freed, its error kept
    m_versionDll = std::move(dll);
    return true;
}

DWORD CFileVersionInfo::LoadFile(const char* path) {
    if (!path || !*path) return ERROR_INVALID_PARAMETER;
    if (!BindVersionDll()) return LastErrorOr(ERROR_MOD_NOT_FOUND);
    DWORD handle = 0;
    const DWORD size = m_getSize(path, &handle);
    if (size == 0) return LastErrorOr(ERROR_RESOURCE_DATA_NOT_FOUND);

    Clear();
    m_data.reset(new BYTE[size]());
    if (!m_getInfo(path, 0, size, m_data.get())) return LastErrorOr(ERROR_RESOURCE_DATA_NOT_FOUND);
    void* translations = nullptr;
    UINT bytes = 0;
    if (!m_query(m_data.get(), "\\VarFileInfo\\Translation", &translations, &bytes))
        return LastErrorOr(ERROR_RESOURCE_TYPE_NOT_FOUND);
    m_translations = static_cast<const DWORD*>(translations);
    m_translationCount = bytes / 4;
    return 0;
}

const char* CFileVersionInfo::GetString(unsigned index, WORD language) {
    if (!m_data || !m_translations) {
        m_lastError = ERROR_NOT_READY;
        return nullptr;
    }
    if (m_translationCount == 0) {
        m_lastError = ERROR_NO_DATA;
        return nullptr;
    }
    m_lastError = 0;
    // Each pair is a 16-bit language id (low word) and a code page (high word).
    DWORD pair = m_translations[0];
    for (DWORD i = 0; i < m_translationCount; ++i) {
        if (LOWORD(m_translations[i]) == language) {
            pair = m_translations[i];
            break;
        }
    }
    char key[64] = {0};
    snprintf(key, sizeof(key), "\\StringFileInfo\\%04x%04x\\", LOWORD(pair), HIWORD(pair));
    if (index >= STRING_COUNT) {
        m_lastError = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    strncat(key, kStringKeys[index], sizeof(key) - strlen(key) - 1);
    void* value = nullptr;
    UINT length = 0;
    if (m_query(m_data.get(), key, &value, &length)) return static_cast<const char*>(value);
    m_lastError = GetLastError();
    return m_lastError == ERROR_RESOURCE_TYPE_NOT_FOUND ? "" : nullptr;
}

CVersionInfo::CVersionInfo(const char* text) : m_major(0), m_minor(0), m_build(0), m_revision(0) {
    if (!text) return;
    std::vector<std::string> pieces = Split(text, ".");
    if (pieces.size() < 2) pieces = Split(text, ",");
    DWORD* const fields[] = {&m_major, &m_minor, &m_build, &m_revision};
    for (size_t i = 0; i < pieces.size() && i < 4; ++i) *fields[i] = ParseField(pieces[i]);
}

CVersionInfo::~CVersionInfo() {}

int CVersionInfo::Compare(const CVersionInfo& other) const {
    const DWORD mine[] = {m_major, m_minor, m_build, m_revision};
    const DWORD theirs[] = {other.m_major, other.m_minor, other.m_build, other.m_revision};
    for (int i = 0; i < 4; ++i)
        if (mine[i] != theirs[i]) return mine[i] < theirs[i] ? -1 : 1;
    return 0;
}

bool CVersionInfo::operator<(const CVersionInfo& other) const { return Compare(other) < 0; }
bool CVersionInfo::operator>(const CVersionInfo& other) const { return Compare(other) > 0; }
bool CVersionInfo::operator<=(const CVersionInfo& other) const { return Compare(other) <= 0; }
bool CVersionInfo::operator>=(const CVersionInfo& other) const { return Compare(other) >= 0; }
bool CVersionInfo::operator==(const CVersionInfo& other) const { return Compare(other) == 0; }
bool CVersionInfo::operator!=(const CVersionInfo& other) const { return !(*this == other); }
