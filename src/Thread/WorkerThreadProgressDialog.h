// The modal progress dialog that hosts a worker.
#pragma once
#include "afxwin.h"
#include "Thread/WorkerThread.h"

class CWorkerThreadProgressDialog {
public:
    static int RunWorker(CWorkerThread* worker, UINT templateId, CWnd* parent, BOOL showPercentage);
};
