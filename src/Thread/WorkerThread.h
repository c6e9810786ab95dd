// Running one piece of work on a thread of its own and reporting on it.
#pragma once
#include <windows.h>
#include <string>

#include "Thread/BaseThread.h"

class CWorkerThread;

// The progress sink. SetProgress and SetText are called on the worker thread,
// so an implementation only stores values or posts messages there.
class CWorkerThreadManager {
public:
    CWorkerThreadManager() : m_pWorker(nullptr), m_nPosition(0), m_nRange(0) {}
    virtual ~CWorkerThreadManager() {}
    virtual int SetProgress(int position, int range) {
        m_nPosition = position;
        m_nRange = range;
        return position;
    }
    virtual void SetText(int index, const char* text) {}
    virtual void OnWorkerEnd(int result) {}
    virtual void SetUnit(const char* text) { m_strUnit = text ? text : ""; }
    virtual void StartTimer(UINT id, UINT elapse) {}
    virtual void StopTimer(UINT id) {}
    virtual HWND GetWindow() { return nullptr; }

protected:
    CWorkerThread* m_pWorker;
    // Plain 32-bit values written by the worker and read whole by the owner.
    volatile int m_nPosition;
    volatile int m_nRange;
    std::string m_strUnit;
};

// A thread that runs DoWork once and tells the sink its result.
class CWorkerThread : public CBaseThread {
public:
    CWorkerThread() : CBaseThread(0, nullptr), m_pManager(nullptr) {}
    using CBaseThread::Start;
    DWORD Start(CWorkerThreadManager* sink) {
        m_pManager = sink;
        return Start();
    }
    virtual void OnCancel() {}
    virtual void OnTimer(UINT id) {}
    virtual int DoWork() = 0;

protected:
    // DoWork, then its result to the sink. A DoWork that throws counts as -1, so
    // a dialog waiting for the end is always told.
    int Main() override;
    CWorkerThreadManager* GetManager() const { return m_pManager; }

private:
    CWorkerThreadManager* m_pManager;
};

// Runs the worker to its end with no window: the base sink takes its reports.
// DoWork's result; -1 when the thread did not run it, 3 for no worker.
int RunWorkerWithoutWindow(CWorkerThread* worker);
