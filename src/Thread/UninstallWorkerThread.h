// The worker that removes the agent.
#pragma once
#include <string>

#include "Thread/WorkerThread.h"

class CUninstallWorkerThread : public CWorkerThread {
public:
    CUninstallWorkerThread();
    ~CUninstallWorkerThread() override;
    void OnCancel() override;
    int DoWork() override;
    std::string GetResultCode() const { return m_resultCode; }

    // Read by the application once the worker has ended: files await the restart.
    bool m_bNeedRestart;

private:
    std::string m_resultCode;
};
