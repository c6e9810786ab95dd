#include "Thread/BaseThread.h"

#include <process.h>

#include "TarnLog/TarnLog.h"

CBaseThread::CBaseThread(DWORD stackSize, LPSECURITY_ATTRIBUTES security)
    : m_delegate(nullptr),
      m_ownsDelegate(false),
      m_stackSize(stackSize),
      m_security(security),
      m_threadId(0),
      m_stopEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      m_priority(THREAD_PRIORITY_NORMAL),
      m_disablePriorityBoost(false),
      m_startedEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

CBaseThread::~CBaseThread() {
    StopAndWait(30000);
    m_stopEvent.reset();
    m_startedEvent.reset();
    m_thread.reset();
    if (m_delegate && m_ownsDelegate) delete m_delegate;
}

DWORD CBaseThread::Start() {
    if (m_thread.valid()) {
        m_thread.reset();
        ResetEvent(m_stopEvent.get());
        ResetEvent(m_startedEvent.get());
    }
    m_thread.reset(reinterpret_cast<HANDLE>(
        _beginthreadex(m_security, m_stackSize, ThreadEntry, this, CREATE_SUSPENDED, &m_threadId)));
    if (!m_thread.valid()) {
        const DWORD error = GetLastError() ? GetLastError() : ERROR_NOT_ENOUGH_MEMORY;
        TARNLOG(TARNLOG_ERROR, "スレッドの作成に失敗しました。 GetLastError:[%lu]", error);
        return error;
    }
    SetThreadPriority(m_thread.get(), m_priority);
    SetThreadPriorityBoost(m_thread.get(), m_disablePriorityBoost);
    ResumeThread(m_thread.get());
    WaitForSingleObject(m_startedEvent.get(), INFINITE);
    return 0;
}

bool CBaseThread::Stop() {
    SetEvent(m_stopEvent.get());
    if (m_threadId == 0) return false;
    return PostThreadMessageA(m_threadId, WM_QUIT, 0, 0) != FALSE;
}

bool CBaseThread::Wait(DWORD timeout) {
    if (!m_thread.valid()) return true;
    return WaitForSingleObject(m_thread.get(), timeout) != WAIT_TIMEOUT;
}

bool CBaseThread::StopAndWait(DWORD timeout) {
    Stop();
    return Wait(timeout);
}

// No exception goes on into the runtime's thread start; the started event is
// set whatever happened, so Start never waits for a thread that has died.
unsigned __stdcall CBaseThread::ThreadEntry(void* param) {
    CBaseThread* self = static_cast<CBaseThread*>(param);
    self->m_threadId = GetCurrentThreadId();
    RunLoggingExceptions("CBaseThread::ThreadEntry", [self] {
        if (self->m_delegate) {
            SetEvent(self->m_startedEvent.get());
            self->m_delegate->Run();
        } else {
            self->Run();
        }
    });
    SetEvent(self->m_startedEvent.get());
    return 0;
}

void CBaseThread::Run() {
    int init = OnThreadInit();
    SetEvent(m_startedEvent.get());
    if (init == 0) Main();
    OnThreadExit();
}

int CBaseThread::OnThreadInit() {
    MSG msg;
    PeekMessageA(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    return 0;
}

// Pumps the thread's messages until the stop event is set or WM_QUIT comes.
int CBaseThread::Main() {
    HANDLE stop = m_stopEvent.get();
    for (;;) {
        if (MsgWaitForMultipleObjects(1, &stop, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0) return 0;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) return 0;
            TranslateMessage(&msg);
            if (!PreTranslateMessage(&msg)) DispatchMessageA(&msg);
            if (WaitForSingleObject(stop, 0) == WAIT_OBJECT_0) return 0;
        }
    }
}
