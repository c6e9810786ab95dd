// Facts about the running Windows: a classification of version and edition
// (the OS kind) and whether the system is 64-bit. The classification itself
// is a pure function of the version facts so it can be checked row by row.
#pragma once
#include <windows.h>

// What the version queries report, as the classification needs it.
struct OSVersionFacts {
    bool queryOk = false;        // GetVersionExW succeeded
    DWORD platformId = 0;        // VER_PLATFORM_WIN32s / _WINDOWS / _NT
    DWORD major = 0;
    DWORD minor = 0;
    wchar_t csdChar1 = 0;        // second character of the service-pack text
    bool exOk = false;           // the extended query (OSVERSIONINFOEXW) succeeded
    BYTE productType = 0;        // VER_NT_WORKSTATION 1, _DOMAIN_CONTROLLER 2, _SERVER 3
    WORD suiteMask = 0;
    bool productInfoOk = false;  // GetProductInfo exists and was called
    DWORD product = 0;           // its product number
    bool tabletPC = false;       // GetSystemMetrics(SM_TABLETPC) != 0
};

enum {
    OSKIND_UNKNOWN = -1,
    OSKIND_WIN2000_PRO = 12,
    OSKIND_VISTA_BUSINESS = 20,
    OSKIND_WIN8 = 33,
    OSKIND_NT_OTHER = 47,
};

// The OS kind of the table (-1 .. 47) for the given facts.
int ClassifyOS(const OSVersionFacts& facts);

class COSVersion {
public:
    // Queries the running system.
    COSVersion();
    // Classifies the given facts; the 64-bit flag is given too (for tests
    // and for callers that must reason about another system).
    COSVersion(const OSVersionFacts& facts, BOOL is64Bit);
    virtual ~COSVersion();

    int GetKind() const { return m_kind; }
    DWORD GetLastErrorCode() const { return m_lastError; }
    BOOL Is64BitOS() const { return m_is64Bit; }

    bool IsClassified() const { return m_kind >= 0 && m_kind <= OSKIND_NT_OTHER; }
    bool HasObjectNamespaces() const { return m_kind >= OSKIND_WIN2000_PRO && m_kind <= OSKIND_NT_OTHER; }
    bool IsVistaOrLater() const { return m_kind >= OSKIND_VISTA_BUSINESS && m_kind <= OSKIND_NT_OTHER; }
    bool IsWindows8OrLater() const { return m_kind >= OSKIND_WIN8 && m_kind <= OSKIND_NT_OTHER; }

private:
    int m_kind;
    DWORD m_lastError;
    BOOL m_is64Bit;
};
