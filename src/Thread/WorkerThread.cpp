#include "Thread/WorkerThread.h"

#include "TarnLog/TarnLog.h"

int CWorkerThread::Main() {
    int result = -1;
    RunLoggingExceptions("CWorkerThread::Main", [&] { result = DoWork(); });
    if (m_pManager) m_pManager->OnWorkerEnd(result);
    return result;
}
