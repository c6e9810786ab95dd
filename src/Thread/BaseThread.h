// A Win32 thread owned by an object: its stop and start-up events and the
// start, stop and wait operations.
#pragma once
#include <windows.h>

#include "INC/Owner.h"

class IRunnable {
public:
    virtual ~IRunnable() {}
    virtual void Run() = 0;
};

class CBaseThread : public IRunnable {
public:
    CBaseThread(DWORD stackSize, LPSECURITY_ATTRIBUTES security);
    // Asks the thread to stop and waits for it up to 30 seconds.
    ~CBaseThread() override;
    CBaseThread(const CBaseThread&) = delete;
    CBaseThread& operator=(const CBaseThread&) = delete;

    void Run() override;
    // Sets the stop event and posts WM_QUIT; true when the post succeeded.
    virtual bool Stop();

    // 0 once the new thread has its message queue; the error, logged, when no
    // thread could be made.
    DWORD Start();
    bool Wait(DWORD timeout);
    bool StopAndWait(DWORD timeout);
    bool WaitForEnd() { return Wait(INFINITE); }

    HANDLE GetStopEvent() const { return m_stopEvent.get(); }
    HANDLE GetThreadHandle() const { return m_thread.get(); }
    DWORD GetThreadId() const { return m_threadId; }

protected:
    virtual int OnThreadInit();
    virtual int Main();
    virtual void OnThreadExit() {}
    virtual bool PreTranslateMessage(MSG* msg) { return false; }

private:
    static unsigned __stdcall ThreadEntry(void* param);

    IRunnable* m_delegate;
    bool m_ownsDelegate;
    DWORD m_stackSize;
    LPSECURITY_ATTRIBUTES m_security;
    CHandle m_thread;
    unsigned m_threadId;
    CHandle m_stopEvent;
    int m_priority;
    bool m_disablePriorityBoost;
    CHandle m_startedEvent;
};
