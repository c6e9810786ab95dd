// Version resource strings of a module, and dotted version values.
#pragma once
#include <windows.h>
#include <memory>

#include "INC/SystemDll.h"

class CFileVersionInfo {
public:
    enum {
        FILE_DESCRIPTION = 0, LEGAL_COPYRIGHT, COMMENTS, SPECIAL_BUILD, FILE_VERSION, PRIVATE_BUILD,
        COMPANY_NAME, LEGAL_TRADEMARKS, ORIGINAL_FILENAME, PRODUCT_VERSION, PRODUCT_NAME, INTERNAL_NAME,
        STRING_COUNT
    };

    CFileVersionInfo();
    virtual ~CFileVersionInfo();
    CFileVersionInfo(const CFileVersionInfo&) = delete;
    CFileVersionInfo& operator=(const CFileVersionInfo&) = delete;

    // The version resource of a loaded module (null: the running program).
    DWORD Load(HMODULE module);
    // 0 on success, else a Win32 error.
    DWORD LoadFile(const char* path);
    // The string of the given index in the given language (the first
    // translation when that language is absent); "" or null on failure.
    // Valid until the next load or destruction.
    const char* GetString(unsigned index, WORD language);
    DWORD GetLastErrorCode() const { return m_lastError; }

private:
    using GetSizeFn = DWORD(WINAPI*)(LPCSTR, LPDWORD);
    using GetInfoFn = BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID);
    using QueryFn = BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT);

    void Clear();
    bool BindVersionDll();

    std::unique_ptr<BYTE[]> m_data;
    const DWORD* m_translations;
    DWORD m_translationCount;
    DWORD m_lastError;
    CRuntimeDll m_versionDll;
    GetSizeFn m_getSize;
    GetInfoFn m_getInfo;
    QueryFn m_query;
};

// Four unsigned numbers parsed from "1.2.3.4" (or "1, 2, 3, 4").
class CVersionInfo {
public:
    explicit CVersionInfo(const char* text);
    virtual ~CVersionInfo();

    virtual bool operator<(const CVersionInfo& other) const;
    virtual bool operator>(const CVersionInfo& other) const;
    virtual bool operator<=(const CVersionInfo& other) const;
    virtual bool operator>=(const CVersionInfo& other) const;
    virtual bool operator==(const CVersionInfo& other) const;
    virtual bool operator!=(const CVersionInfo& other) const;

    DWORD GetMajor() const { return m_major; }
    DWORD GetMinor() const { return m_minor; }
    DWORD GetBuild() const { return m_build; }
    DWORD GetRevision() const { return m_revision; }

private:
    // <0, 0, >0 as this is less, equal, greater.
    int Compare(const CVersionInfo& other) const;

    DWORD m_major;
    DWORD m_minor;
    DWORD m_build;
    DWORD m_revision;
};
