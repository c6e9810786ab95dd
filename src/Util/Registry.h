// Read-only wrapper round one open registry key, opened by a textual path
// whose first component names the root ("HKEY_LOCAL_MACHINE\SOFTWARE\...").
// Every failure is thrown as CWin32Error.
#pragma once
#include <windows.h>
#include <string>
#include "Util/BaseException.h"

// Process-wide map of root-key names ("HKLM", "HKEY_CURRENT_USER", ...) to
// predefined handles; names compare case-insensitively (code page 932).
class RootKeyTable {
public:
    // The predefined handle for a root name; null for an unknown name.
    static HKEY Find(const char* name);
};

class CRegistry {
public:
    CRegistry();
    virtual ~CRegistry();
    CRegistry(const CRegistry&) = delete;
    CRegistry& operator=(const CRegistry&) = delete;

    // Access mask of the opens that follow (KEY_READ by default; add
    // KEY_WOW64_64KEY to read the 64-bit view from this 32-bit program).
    void SetAccessMask(REGSAM accessMask);
    REGSAM GetAccessMask() const { return m_accessMask; }

    void Open(const char* fullPath);
    void Close();
    bool IsOpen() const { return m_key != nullptr; }
    const std::string& GetPath() const { return m_path; }
    DWORD GetValueNameBufferLength() const { return m_valueNameLength; }

    // Raw read; returns 0, throws on failure.
    DWORD QueryValue(const char* entry, DWORD* type, BYTE* data, DWORD* size);
    // Reads a REG_SZ or REG_MULTI_SZ value; returns the bytes stored, the
    // terminating null included. On failure the buffer holds "".
    DWORD GetStringValue(const char* entry, char* buffer, DWORD bufferSize);

    static const char* TypeName(DWORD type);

private:
    [[noreturn]] static void ThrowValueError(const char* entry, DWORD type, DWORD code);

    HKEY m_key;
    REGSAM m_accessMask;
    std::string m_path;
    DWORD m_valueNameLength;
};
