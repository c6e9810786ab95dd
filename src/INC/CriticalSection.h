// A critical section and the guard that holds it for one scope.
#pragma once
#include <windows.h>

namespace lib {

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

// Enters at construction unless told to wait, remembers whether it holds the
// section and leaves it at destruction only when it does.
class CSynchronizer {
public:
    explicit CSynchronizer(CCriticalSection& section, bool lockNow = true) : m_section(section), m_locked(false) {
        if (lockNow) Lock();
    }
    virtual ~CSynchronizer() { Unlock(); }
    CSynchronizer(const CSynchronizer&) = delete;
    CSynchronizer& operator=(const CSynchronizer&) = delete;
    void Lock() {
        if (m_locked) return;
        m_section.Enter();
        m_locked = true;
    }
    void Unlock() {
        if (!m_locked) return;
        m_locked = false;
        m_section.Leave();
    }

private:
    CCriticalSection& m_section;
    bool m_locked;
};

}  // namespace lib
