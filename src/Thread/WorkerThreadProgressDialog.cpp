#include "Thread/WorkerThreadProgressDialog.h"

// TODO(RunWorker): stand-in until the progress dialog lands; runs the work on
// the calling thread without a window.
int CWorkerThreadProgressDialog::RunWorker(CWorkerThread* worker, UINT, CWnd*, BOOL) {
    if (!worker) return 3;
    return worker->DoWork();
}
