#include "Thread/UninstallWorkerThread.h"

#include <stdio.h>
#include <string.h>

#include "INC/PathUtil.h"
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

}  // namespace

const UninstallOperations& UninstallOperations::System() {
    static const UninstallOperations ops = {ReadInstallValue, CmdSequre,      StopServiceAndWait, DeleteServiceByName,
                                            DeleteFolder,     GetDesktopFolder, RemoveShortcut,   RemoveAgentRegistryKey};
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
    if (!m_ops.readInstallValue(installPath, "InstallPath", sizeof(installPath), nullptr)) return "001";

    step = "002";
    TARNLOG(TARNLOG_INFO, "■■■ インストールフォルダをEveryoneコントロールに ■■■");
    std::string detail;
    const int secured = m_ops.applySecurity(installPath, "Type1", detail);
    if (secured != 0) {
        TARNLOG(TARNLOG_ERROR, "インストールフォルダの権限の変更に失敗しました[%d]", secured);
        return "002";
    }

    step = "007";
    TARNLOG(TARNLOG_INFO, "■■■ サービスのアンインストール ■■■");
    DWORD error = m_ops.stopService(kServiceName, INFINITE);
    if (error != 0 && error != ERROR_SERVICE_DOES_NOT_EXIST) {
        TARNLOG(TARNLOG_ERROR, "サービスの停止に失敗しました。 GetLastError:[%lu]", error);
        return "007";
    }
    step = "003";
    error = m_ops.deleteService(kServiceName, nullptr);
    if (error != 0 && error != ERROR_SERVICE_DOES_NOT_EXIST) {
        TARNLOG(TARNLOG_INFO, "サービスのアンインストールに失敗 [%lu]", error);
        return "003";
    }

    step = "004";
    ProgressStep(1);
    TARNLOG(TARNLOG_INFO, "■■■ モジュールの削除 ■■■");
    bool restart = false;
    if (!m_ops.deleteFolder(installPath, &restart)) {
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
    if (m_ops.removeRegistryKey() == 0) {
        TARNLOG(TARNLOG_ERROR, "レジストリの削除に失敗しました");
        return "006";
    }

    ProgressStep(4);
    TARNLOG(TARNLOG_INFO, "アンインストールが成功しました");
    return kSuccess;
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
    HRESULT hr = m_ops.getDesktopFolder(desktop, 0);
    if (FAILED(hr)) {
        TARNLOG(TARNLOG_ERROR, "All Users Desktopパス取得失敗[ 0x%08X ]", static_cast<unsigned>(hr));
        hr = m_ops.getDesktopFolder(desktop, 1);
        if (FAILED(hr)) {
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
