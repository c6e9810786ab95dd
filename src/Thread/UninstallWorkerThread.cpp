#include "Thread/UninstallWorkerThread.h"

#include <stdio.h>
#include <string.h>

#include "INC/FolderWalk.h"
#include "INC/PathUtil.h"
#include "Ins/InsCmn/Sequre.h"
#include "Ins/InsCmn/SetSequreType.h"
#include "LIB/Util/AgentRegistry.h"
#include "LIB/Util/PellionUtil.h"
#include "TarnLog/TarnLog.h"
#include "Util/ServiceControl.h"
#include "Util/ShortcutUtil.h"

namespace {

const char kCaption[] = "エージェント端末アンインストーラー";
const char kFirstLine[] = "エージェント端末をアンインストールしています。";
const char* const kStepTexts[] = {
    "サービスを停止中です。",
    "インストールフォルダからファイルを削除中です。",
    "ショートカットファイルを削除中です。",
    "レジストリ情報を削除中です。",
};
const int kSteps = 4;
const char kServiceName[] = "Corvane";
const char* const kShortcutNames[] = {"インベントリ情報アップロード", "リモート操作クライアント"};
const char kSuccess[] = "000";
// The failure of an operation that reports no cause of its own.
const DWORD kFailed = ERROR_GEN_FAILURE;

}  // namespace

// The operations of other layers, each turned to say success as 0.
const UninstallOperations& UninstallOperations::System() {
    static const UninstallOperations ops = {
        [](char* buffer, const char* valueName, DWORD bufferSize, const char* subKey) -> DWORD {
            return ReadInstallValue(buffer, valueName, bufferSize, subKey) ? 0 : ERROR_FILE_NOT_FOUND;
        },
        [](const CWalkRoot& root, const char* typeName, std::string& detailCode, CSecurityRecord* record) -> DWORD {
            return static_cast<DWORD>(CmdSequre(root, typeName, detailCode, record));
        },
        [](const CWalkRoot& root, const CSecurityRecord& record, size_t* restored) -> DWORD {
            size_t failed = 0;
            *restored = RestoreSecurityTree(root, record, &failed);
            return failed ? ERROR_PARTIAL_COPY : 0;
        },
        StopServiceAndWait,
        DeleteServiceByName,
        [](const CWalkRoot& root, bool* restartRequired) -> DWORD {
            return DeleteFolder(root, restartRequired) ? 0 : kFailed;
        },
        [](char* buffer, int selector) -> DWORD {
            const HRESULT hr = GetDesktopFolder(buffer, selector);
            return SUCCEEDED(hr) ? 0 : static_cast<DWORD>(hr);
        },
        [](const char* path) -> DWORD { return RemoveShortcut(path) ? 0 : kFailed; },
        []() -> DWORD { return RemoveAgentRegistryKey() ? 0 : kFailed; },
    };
    return ops;
}

CUninstallWorkerThread::CUninstallWorkerThread(const UninstallOperations& ops)
    : m_bNeedRestart(false), m_resultCode(kSuccess), m_ops(ops) {}

CUninstallWorkerThread::~CUninstallWorkerThread() {}

void CUninstallWorkerThread::OnCancel() {
    TARNLOG(TARNLOG_INFO, "キャンセルボタン押下");
    if (GetStopEvent()) SetEvent(GetStopEvent());
}

// An exception ends the run as a failure of the step it came from: the
// operator sees that step's code, never a success.
int CUninstallWorkerThread::DoWork() {
    const char* step = "001";
    if (!RunLoggingExceptions("CUninstallWorkerThread::DoWork", [&] { m_resultCode = RunSequence(step); }))
        m_resultCode = step;
    return m_resultCode == kSuccess ? 0 : -1;
}

// step names the code of the step under way, for DoWork's exception path.
const char* CUninstallWorkerThread::RunSequence(const char*& step) {
    CWorkerThreadManager* sink = GetManager();
    if (sink) sink->SetText(0, kCaption);
    ProgressStep(0);

    char installPath[520];
    memset(installPath, 0, sizeof(installPath));
    if (m_ops.readInstallValue(installPath, "InstallPath", sizeof(installPath), nullptr) != 0) return "001";

    step = "002";
    TARNLOG(TARNLOG_INFO, "■■■ インストールフォルダをEveryoneコントロールに ■■■");
    // Resolved once: the access lists and the deletion act on this same
    // folder, whatever its name comes to mean meanwhile.
    CWalkRoot root;
    root.Resolve(installPath);
    CSecurityRecord record;
    std::string detail;
    const DWORD secured = m_ops.applySecurity(root, "Type1", detail, &record);
    if (secured != 0) {
        TARNLOG(TARNLOG_ERROR, "インストールフォルダの権限の変更に失敗しました[%d]", static_cast<int>(secured));
        RestoreSecurity(root, record);
        return "002";
    }

    step = "007";
    TARNLOG(TARNLOG_INFO, "■■■ サービスのアンインストール ■■■");
    DWORD error = m_ops.stopService(kServiceName, INFINITE);
    if (error != 0 && error != ERROR_SERVICE_DOES_NOT_EXIST) {
        TARNLOG(TARNLOG_ERROR, "サービスの停止に失敗しました。 GetLastError:[%lu]", error);
        RestoreSecurity(root, record);
        return "007";
    }
    step = "003";
    error = m_ops.deleteService(kServiceName, nullptr);
    if (error != 0 && error != ERROR_SERVICE_DOES_NOT_EXIST) {
        TARNLOG(TARNLOG_INFO, "サービスのアンインストールに失敗 [%lu]", error);
        RestoreSecurity(root, record);
        return "003";
    }

    step = "004";
    ProgressStep(1);
    TARNLOG(TARNLOG_INFO, "■■■ モジュールの削除 ■■■");
    bool restart = false;
    if (m_ops.deleteFolder(root, &restart) != 0) {
        TARNLOG(TARNLOG_INFO, "モジュールの削除失敗です");
        return "004";
    }
    m_bNeedRestart = restart;

    step = "005";
    ProgressStep(2);
    TARNLOG(TARNLOG_INFO, "■■■ ショートカットの削除 ■■■");
    if (!RemoveShortcuts()) return "005";

    step = "006";
    ProgressStep(3);
    TARNLOG(TARNLOG_INFO, "■■■ レジストリの削除 ■■■");
    if (m_ops.removeRegistryKey() != 0) {
        TARNLOG(TARNLOG_ERROR, "レジストリの削除に失敗しました");
        return "006";
    }

    ProgressStep(4);
    TARNLOG(TARNLOG_INFO, "アンインストールが成功しました");
    return kSuccess;
}

void CUninstallWorkerThread::RestoreSecurity(const CWalkRoot& root, const CSecurityRecord& record) {
    if (!record.Size()) return;
    size_t restored = 0;
    if (m_ops.restoreSecurity(root, record, &restored) == 0)
        TARNLOG(TARNLOG_INFO, "インストールフォルダの所有者とアクセス権を元に戻しました。 件数:[%lu]",
                static_cast<unsigned long>(restored));
    else
        TARNLOG(TARNLOG_ERROR, "インストールフォルダの所有者とアクセス権を元に戻しました。 件数:[%lu] 戻せなかった件数:[%lu]",
                static_cast<unsigned long>(restored), static_cast<unsigned long>(record.Size() - restored));
}

void CUninstallWorkerThread::ProgressStep(int step) {
    TARNLOG(TARNLOG_INFO, "■■■ プログレスバーを次のステップに進める ■■■");
    CWorkerThreadManager* sink = GetManager();
    if (!sink) return;
    if (step >= kSteps) {
        sink->SetProgress(kSteps, kSteps);
        return;
    }
    char text[512];
    snprintf(text, sizeof(text), "%s\r\n%s", kFirstLine, kStepTexts[step]);
    sink->SetText(1, text);
    sink->SetProgress(step, kSteps);
}

// Only one desktop is cleaned: the all users' one, else the current user's.
bool CUninstallWorkerThread::RemoveShortcuts() {
    char desktop[520];
    memset(desktop, 0, sizeof(desktop));
    DWORD hr = m_ops.getDesktopFolder(desktop, 0);
    if (hr != 0) {
        TARNLOG(TARNLOG_ERROR, "All Users Desktopパス取得失敗[ 0x%08X ]", static_cast<unsigned>(hr));
        hr = m_ops.getDesktopFolder(desktop, 1);
        if (hr != 0) {
            TARNLOG(TARNLOG_ERROR, "Current Desktopパス取得失敗[ 0x%08X ]", static_cast<unsigned>(hr));
            return false;
        }
    }
    for (const char* name : kShortcutNames) {
        char file[MAX_PATH];
        snprintf(file, sizeof(file), "%s.lnk", name);
        std::string path;
        JoinPath(path, desktop, file);
        m_ops.removeShortcut(path.c_str());
    }
    return true;
}
