// The worker that removes the agent, step by step, behind the progress dialog.
#pragma once
#include <windows.h>
#include <string>

#include "Thread/WorkerThread.h"

class CWalkRoot;
class CSecurityRecord;

// The operations the sequence stands on. Each answers 0 for success, else
// the cause: a Win32 code, an HRESULT, or the operation's own failure number.
// Tests replace single entries where the platform will not produce the fault
// (a service that stops but cannot be deleted, no desktop folder).
struct UninstallOperations {
    DWORD (*readInstallValue)(char* buffer, const char* valueName, DWORD bufferSize, const char* subKey);
    DWORD (*applySecurity)(const CWalkRoot& root, const char* typeName, std::string& detailCode,
                           CSecurityRecord* record);
    // *restored: how many recorded entries got their owner and list back.
    DWORD (*restoreSecurity)(const CWalkRoot& root, const CSecurityRecord& record, size_t* restored);
    DWORD (*stopService)(const char* serviceName, DWORD limitMs);
    DWORD (*deleteService)(const char* serviceName, const char* machineName);
    DWORD (*deleteFolder)(const CWalkRoot& root, bool* restartRequired);
    DWORD (*getDesktopFolder)(char* buffer, int selector);
    DWORD (*removeShortcut)(const char* path);
    DWORD (*removeRegistryKey)();

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
    // After a failure that leaves the agent's service installed, its folder
    // gets back the owners and lists it had before the run opened it.
    void RestoreSecurity(const CWalkRoot& root, const CSecurityRecord& record);
    void ProgressStep(int step);
    bool RemoveShortcuts();

    std::string m_resultCode;
    UninstallOperations m_ops;
};
