// Running one piece of work on a thread of its own and reporting on it.
#pragma once
#include <windows.h>

// TODO(CWorkerThread): stand-in until the thread framework lands; only what
// the start-up road needs.
class CWorkerThread {
public:
    virtual ~CWorkerThread() {}
    virtual void OnCancel() {}
    virtual int DoWork() = 0;
};
