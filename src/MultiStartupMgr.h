// Single-instance guard: a named mutex that the running instance holds.
#pragma once
#include <windows.h>
#include <string>
#include "INC/Owner.h"
#include "INC/OSVersion.h"

// Derives the kernel object name: the given name, or the default
// "__ZEV_SIMPLE_SYNCOBJECT_NAME__" + upper-cased program file name, in the
// Global\ or Local\ namespace where the system has namespaces.
class CSimpleSyncObject {
public:
    CSimpleSyncObject(const char* name, BOOL global);
    // With the OS facts given instead of queried.
    CSimpleSyncObject(const char* name, BOOL global, const COSVersion& os);
    virtual ~CSimpleSyncObject();
    CSimpleSyncObject(const CSimpleSyncObject&) = delete;
    CSimpleSyncObject& operator=(const CSimpleSyncObject&) = delete;

    // 0 while all is well, else the error that stopped the construction.
    DWORD GetStatus() const { return m_status; }
    // The full object name; null when none could be built.
    const char* GetName() const { return m_hasName ? m_name.c_str() : nullptr; }

protected:
    DWORD m_status;
    std::string m_name;
    bool m_hasName;
    BOOL m_global;
    COSVersion m_os;

private:
    void BuildName(const char* name);
};

class CSimpleMutex : public CSimpleSyncObject {
public:
    CSimpleMutex(const char* name, BOOL global, DWORD timeout, LPSECURITY_ATTRIBUTES sa);
    CSimpleMutex(const char* name, BOOL global, DWORD timeout, LPSECURITY_ATTRIBUTES sa, const COSVersion& os);
    ~CSimpleMutex() override;

    bool IsHeld() const { return m_mutex.valid(); }

private:
    void Acquire(DWORD timeout, LPSECURITY_ATTRIBUTES sa);
    CHandle m_mutex;
};

// The guard as the application uses it: CMultiStartupMgr(nullptr, TRUE, 0);
// GetStatus() 0 means this instance is the only one.
class CMultiStartupMgr : public CSimpleMutex {
public:
    CMultiStartupMgr(const char* name, BOOL global, DWORD timeout);
};
