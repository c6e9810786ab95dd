#include "Thread/WorkerThread.h"

#include "TarnLog/TarnLog.h"

int CWorkerThread::Main() {
    int result = -1;
    RunLoggingExceptions("CWorkerThread::Main", [&] { result = DoWork(); });
    if (m_pManager) m_pManager->OnWorkerEnd(result);
    return result;
}

namespace {

class CEndSink : public CWorkerThreadManager {
public:
    void OnWorkerEnd(int result) override { m_result = result; }
    int m_result = -1;
};

}  // namespace

int RunWorkerWithoutWindow(CWorkerThread* worker) {
    if (!worker) return 3;
    CEndSink sink;
    if (worker->Start(&sink) != 0) return -1;  // no thread, no end to wait for
    worker->WaitForEnd();
    return sink.m_result;
}
