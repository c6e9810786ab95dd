// A critical section and the guard that holds it for one scope.
#pragma once
#include <windows.h>

class CCriticalSection {
public:
    CCriticalSection() { InitializeCriticalSection(&m_section); }
    virtual ~CCriticalSection() { DeleteCriticalSection(&m_section); }
    CCriticalSection(const CCriticalSection&) = delete;
    CCriticalSection& operator=(const CCriticalSection&) = delete;
    void Enter() { EnterCriticalSection(&m_section); }
    void Leave() { LeaveCriticalSection(&m_section); }

private:
    CRITICAL_SECTION m_section;
};

// Enters at construction, leaves at destruction.
class CSynchronizer {
public:
    explicit CSynchronizer(CCriticalSection& section) : m_section(section) { m_section.Enter(); }
    virtual ~CSynchronizer() { m_section.Leave(); }
    CSynchronizer(const CSynchronizer&) = delete;
    CSynchronizer& operator=(const CSynchronizer&) = delete;

private:
    CCriticalSection& m_section;
};
