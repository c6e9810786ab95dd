// Decides per log file whether a line is written and how many backups its
// rotation keeps, from marker and settings files beside the log and the
// installer's machine-wide mutex; re-read at most once a minute.
#pragma once
#include <windows.h>
#include <atomic>
#include <string>

#include "INC/CriticalSection.h"
#include "TarnLog/TarnLogKind.h"

namespace logging {

// The base layer's lock, under the names the policy has always used.
using lib::CCriticalSection;
using lib::CSynchronizer;

class COutputPolicy {
public:
    COutputPolicy();
    virtual ~COutputPolicy();
    COutputPolicy(const COutputPolicy&) = delete;
    COutputPolicy& operator=(const COutputPolicy&) = delete;

    // mode 1: always log; mode 2: log only while switched on; otherwise
    // decided by the program's (and the module's) file name. Runs once.
    void Initialize(const char* logPath, HMODULE module, int mode);
    bool IsOutput(TarnLogKind kind);
    int GetMaxBackupIndex() const { return m_backupCount.load(std::memory_order_relaxed); }

    static const DWORD kRecheckInterval = 60000;

protected:
    // The clock of the re-evaluation; a test steps it instead of waiting a minute.
    virtual DWORD GetTick() const { return GetTickCount(); }

private:
    void ReadPexCliLogSwitch();
    bool IsGatedProgram(HMODULE module) const;
    void Reevaluate(DWORD now);

    std::wstring m_outputSwitchFile;
    std::wstring m_settingsFile;
    std::wstring m_globalResearchFile;
    CCriticalSection m_lock;
    DWORD m_lastCheck;
    bool m_outputOn;
    bool m_researchOn;
    bool m_researchFromSettings;
    bool m_ungated;
    bool m_initialized;
    std::atomic<int> m_backupCount;
    FILETIME m_settingsTime;
    DWORD m_pexCliLog;
};

// The policy of the log's lower-cased file name, created on first use and
// kept for the process; null for an empty path.
COutputPolicy* GetOutputPolicy(const char* logPath);

// True when the file name (no folder) is one of the product family's programs.
bool IsFamilyModuleName(const wchar_t* fileName);

}  // namespace logging
