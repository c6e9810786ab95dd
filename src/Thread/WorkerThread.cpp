#include "Thread/WorkerThread.h"

#include <exception>

#include "TarnLog/TarnLog.h"

int CWorkerThread::Main() {
    int result = -1;
    try {
        result = DoWork();
    } catch (const std::exception& e) {
        TARNLOG(TARNLOG_ERROR, "例外を捕捉しました。[%s] %s", "CWorkerThread::Main", e.what());
    } catch (...) {
        TARNLOG(TARNLOG_ERROR, "例外を捕捉しました。[%s] %s", "CWorkerThread::Main", "unknown exception");
    }
    if (m_pManager) m_pManager->OnWorkerEnd(result);
    return result;
}
