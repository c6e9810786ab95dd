// The worker that removes the agent, step by step, behind the progress dialog.
#pragma once
#include <windows.h>
#include <string>

#include "Thread/WorkerThread.h"

// The operations the sequence stands on. Tests replace single entries where
// the platform will not produce the fault (a service that stops but cannot be
// deleted, no desktop folder).
struct UninstallOperations {
    bool (*readInstallValue)(char* buffer, const char* valueName, DWORD bufferSize, const char* subKey);
    int (*applySecurity)(const char* folder, const char* typeName, std::string& detailCode);
    DWORD (*stopService)(const char* serviceName, DWORD limitMs);
    DWORD (*deleteService)(const char* serviceName, const char* machineName);
    bool (*deleteFolder)(const char* path, bool* restartRequired);
    HRESULT (*getDesktopFolder)(char* buffer, int selector);
    BOOL (*removeShortcut)(const char* path);
    int (*removeRegistryKey)();

    static const UninstallOperations& System();
};

class CUninstallWorkerThread : public CWorkerThread {
public:
    explicit CUninstallWorkerThread(const UninstallOperations& ops = UninstallOperations::System());
    ~CUninstallWorkerThread() override;
    // Logs the request and sets the stop event; the sequence runs to its end.
    void OnCancel() override;
    // 0 when every step succeeded ("000"), -1 otherwise.
    int DoWork() override;
    std::string GetResultCode() const { return m_resultCode; }

    // Read by the application once the worker has ended: files await the restart.
    bool m_bNeedRestart;

private:
    // The code of the first failing step, or "000".
    const char* RunSequence(const char*& step);
    void ProgressStep(int step);
    bool RemoveShortcuts();

    std::string m_resultCode;
    UninstallOperations m_ops;
};
