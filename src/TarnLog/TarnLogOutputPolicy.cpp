#include "TarnLog/TarnLogOutputPolicy.h"

#include <shlwapi.h>
#include <wchar.h>
#include <map>
#include <new>

#include "INC/Owner.h"
#include "INC/RegRead.h"
#include "INC/WideText.h"

namespace logging {

namespace {

const char kProductKey[] = "SOFTWARE\\Zev Product\\VELMORClientView\\KdmInst";
const char kInstallerMutex[] = "Global\\InstallCommonMutexName";

// Programs and libraries of the product family; they stay silent unless
// logging is switched on. The uninstaller is not one of them.
const wchar_t* const kFamilyModules[] = {
    L"KdmAgent.exe",  L"KdmInst.exe",      L"KdmSvc.exe",      L"KdmTray.exe",
    L"KdmSysInfo.dll", L"KDXGlobal.dll",   L"ZevRvuC.dll",     L"VelmorClient.exe",
    L"VelmorView.exe", L"VelmorUpdate.exe", L"TarnLog.dll",
};

std::wstring ModuleFileName(HMODULE module) {
    wchar_t path[MAX_PATH + 1] = {0};
    GetModuleFileNameW(module, path, MAX_PATH);
    return PathFindFileNameW(path);
}

struct CWideLess {
    using is_transparent = void;
    bool operator()(const std::wstring& a, const std::wstring& b) const { return a < b; }
    bool operator()(const wchar_t* a, const std::wstring& b) const { return wcscmp(a, b.c_str()) < 0; }
    bool operator()(const std::wstring& a, const wchar_t* b) const { return wcscmp(a.c_str(), b) < 0; }
};

struct CPolicyTable {
    CCriticalSection lock;
    std::map<std::wstring, COutputPolicy*, CWideLess> policies;
};

// Made once and never destroyed, so lines logged during process exit still find it.
CPolicyTable* Table() {
    static CPolicyTable* table = new (std::nothrow) CPolicyTable;
    return table;
}

}  // namespace

bool IsFamilyModuleName(const wchar_t* fileName) {
    if (!fileName || !*fileName) return false;
    for (const wchar_t* name : kFamilyModules)
        if (_wcsicmp(fileName, name) == 0) return true;
    return false;
}

COutputPolicy::COutputPolicy()
    : m_lastCheck(0),
      m_outputOn(true),
      m_researchOn(false),
      m_researchFromSettings(true),
      m_ungated(true),
      m_initialized(false),
      m_backupCount(1),
      m_settingsTime{0, 0},
      m_pexCliLog(0) {}

COutputPolicy::~COutputPolicy() {}

void COutputPolicy::ReadPexCliLogSwitch() {
    char folder[MAX_PATH + 1] = {0};
    if (RegReadString(HKEY_LOCAL_MACHINE, kProductKey, KEY_QUERY_VALUE, "KDMDIR", folder, MAX_PATH,
                      REGREAD_SZ | REGREAD_EXPAND_SZ) != ERROR_SUCCESS ||
        !folder[0])
        return;
    if (PathAppendA(folder, "AppSet") && PathAppendA(folder, "VivedadUroz.ini"))
        m_pexCliLog = GetPrivateProfileIntA("Off", "PexCliLog", 0, folder);
}

bool COutputPolicy::IsGatedProgram(HMODULE module) const {
    std::wstring program = ModuleFileName(GetModuleHandleW(nullptr));
    if (m_pexCliLog != 0 && _wcsicmp(program.c_str(), L"PexCli.exe") == 0) return true;
    if (IsFamilyModuleName(program.c_str())) return true;
    return module && IsFamilyModuleName(ModuleFileName(module).c_str());
}

void COutputPolicy::Initialize(const char* logPath, HMODULE module, int mode) {
    CSynchronizer lock(m_lock);
    if (m_initialized) return;
    try {
        ReadPexCliLogSwitch();
        if (mode == 1)
            m_ungated = true;
        else if (mode == 2)
            m_ungated = false;
        else
            m_ungated = !IsGatedProgram(module);

        std::wstring path;
        Widen(logPath, path);  // a path that does not convert gives empty names
        m_settingsFile = path + L".chk";
        std::wstring folder(path);
        folder.resize(folder.size() + MAX_PATH + 1);
        PathRemoveFileSpecW(&folder[0]);
        folder.resize(wcslen(folder.c_str()));
        m_globalResearchFile = folder + L"\\global.log.chk";
        m_outputSwitchFile = folder + L"\\LogOutput.txt";
    } catch (...) {
        // Out of memory: the policy stays as created (everything but research is logged).
        return;
    }
    m_initialized = true;
}

void COutputPolicy::Reevaluate(DWORD now) {
    m_lastCheck = now;

    if (CHandle(OpenMutexA(SYNCHRONIZE, FALSE, kInstallerMutex)).valid()) {
        m_outputOn = true;
    } else if (!m_ungated) {
        m_outputOn = PathFileExistsW(m_outputSwitchFile.c_str()) != FALSE;
    }

    CFileHandle settings(CreateFileW(m_settingsFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!settings.valid()) {
        m_researchOn = PathFileExistsW(m_globalResearchFile.c_str()) != FALSE;
        return;
    }
    FILETIME written = {0, 0};
    GetFileTime(settings.get(), nullptr, nullptr, &written);
    DWORD size = GetFileSize(settings.get(), nullptr);

    if (CompareFileTime(&written, &m_settingsTime) == 0) {
        m_researchOn = m_researchFromSettings;
        return;
    }
    m_settingsTime = written;
    if (size == 0) {
        m_backupCount = 1;
        m_researchFromSettings = m_researchOn = true;
        return;
    }
    int backups = static_cast<int>(GetPrivateProfileIntW(L"Config", L"MaxBackupIndex", 1, m_settingsFile.c_str()));
    m_backupCount = backups < 1 ? 1 : backups;
    // Room for more than "Research": a longer text must not shrink into a match.
    wchar_t level[32] = {0};
    GetPrivateProfileStringW(L"Config", L"Level", L"Research", level, 32, m_settingsFile.c_str());
    m_researchFromSettings = m_researchOn = _wcsicmp(level, L"Research") == 0;
}

bool COutputPolicy::IsOutput(TarnLogKind kind) {
    CSynchronizer lock(m_lock);
    if (!m_initialized) return kind != TARNLOG_RESEARCH;
    DWORD now = GetTick();
    if (m_lastCheck == 0 || now - m_lastCheck >= kRecheckInterval) Reevaluate(now);
    if (!m_outputOn) return false;
    if (kind != TARNLOG_RESEARCH) return true;
    return m_researchOn;
}

COutputPolicy* GetOutputPolicy(const char* logPath) {
    wchar_t wide[1024];
    if (!logPath || !*logPath) return nullptr;
    if (!MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, logPath, -1, wide, 1024) || !wide[0]) return nullptr;
    wchar_t* name = PathFindFileNameW(wide);
    _wcslwr(name);

    CPolicyTable* table = Table();
    if (!table) return nullptr;
    CSynchronizer lock(table->lock);
    auto it = table->policies.find(name);
    if (it != table->policies.end()) return it->second;
    COutputPolicy* policy = new (std::nothrow) COutputPolicy;
    if (!policy) return nullptr;
    try {
        table->policies.emplace(name, policy);
    } catch (...) {
        delete policy;
        return nullptr;
    }
    return policy;
}

}  // namespace logging
