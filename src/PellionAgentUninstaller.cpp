#include "PellionAgentUninstaller.h"

#include <commctrl.h>
#include <string.h>

#include "CommandLine.h"
#include "ContractNumber.h"
#include "INC/Owner.h"
#include "MultiStartupMgr.h"
#include "PellionAgentUninstallerDlg.h"
#include "TarnLog/TarnLog.h"
#include "Thread/UninstallWorkerThread.h"
#include "Thread/WorkerThreadProgressDialog.h"
#include "Util/KDMTheme.h"
#include "Util/KDXGlobal.h"
#include "LIB/Util/PellionUtil.h"
#include "INC/VersionInfo.h"
#include "resource.h"

namespace {

const char kTitle[] = "エージェント端末アンインストーラー";
const char kAlreadyRunning[] = "既に起動しています";
const char kNotInstalled[] =
    "エージェント端末がインストールされていないため、本アンインストーラーを実行できません。";
const char kCompleted[] = "アンインストールが完了しました。";

// No one can answer a window of this process: its window station is not visible (a service's), or it
// runs in session 0, where no one has sat at the desktop since Windows Vista. why: for the log.
bool SeenByNoOne(std::string& why) {
    DWORD session = 0;
    if (ProcessIdToSessionId(GetCurrentProcessId(), &session) && session == 0) {
        why = "セッション0";
        return true;
    }
    HWINSTA station = GetProcessWindowStation();
    USEROBJECTFLAGS flags = {};
    char name[256] = "";
    if (!station || !GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof(flags), nullptr) ||
        (flags.dwFlags & WSF_VISIBLE))
        return false;
    GetUserObjectInformationA(station, UOI_NAME, name, sizeof(name), nullptr);
    why = std::string("表示されないウィンドウステーション[") + name + "]";
    return true;
}

// One loaded bitmap, deleted when the road ends; the theme keeps copies of its own.
class LoadedBitmap : public COwner<CGdiTraits<HBITMAP>> {
public:
    LoadedBitmap(HINSTANCE module, UINT id) : COwner(LoadBitmapA(module, MAKEINTRESOURCEA(id))) {}
};

#ifdef AGENT_TEST_HOOKS
// Test build only, never shipped: AGENT_TEST_CRASH=main crashes the main thread once the number is accepted,
// =worker the worker as it stops the service, so that a real run ends in the crash handler.
bool CrashWanted(const char* where) {
    char wanted[16] = "";
    GetEnvironmentVariableA("AGENT_TEST_CRASH", wanted, sizeof(wanted));
    return lstrcmpA(wanted, where) == 0;
}
void CrashIfWanted(const char* where) {
    volatile int* volatile nowhere = nullptr;  // read at run time, so the write is a real access violation
    if (CrashWanted(where)) *nowhere = 0;
}
DWORD StopServiceOrCrash(const char* serviceName, DWORD limitMs) {
    CrashIfWanted("worker");
    return UninstallOperations::System().stopService(serviceName, limitMs);
}
UninstallOperations Operations() {
    UninstallOperations ops = UninstallOperations::System();
    ops.stopService = StopServiceOrCrash;
    return ops;
}
#else
void CrashIfWanted(const char*) {}
const UninstallOperations& Operations() { return UninstallOperations::System(); }
#endif

}  // namespace

BEGIN_MESSAGE_MAP(CPellionAgentUninstallerApp, CWinAppEx)
    ON_COMMAND(ID_HELP, &CWinApp::OnHelp)
END_MESSAGE_MAP()

CPellionAgentUninstallerApp::CPellionAgentUninstallerApp() : CWinAppEx(TRUE) {}
CPellionAgentUninstallerApp::~CPellionAgentUninstallerApp() {}

CPellionAgentUninstallerApp theApp;

BOOL CPellionAgentUninstallerApp::InitInstance() {
    INITCOMMONCONTROLSEX controls;
    controls.dwSize = sizeof(controls);
    controls.dwICC = 0xFF;
    InitCommonControlsEx(&controls);

    CWinAppEx::InitInstance();

    // Loaded in this order: mask, normal, pushed, hover, disabled.
    HINSTANCE res = AfxGetModuleState()->m_hCurrentResourceHandle;
    LoadedBitmap mask(res, IDB_BUTTON_MASK), normal(res, IDB_BUTTON_NORMAL), push(res, IDB_BUTTON_PUSH),
        hover(res, IDB_BUTTON_HOVER), disable(res, IDB_BUTTON_DISABLE);
    ThemeImageSet images;
    images.hMask = mask.get();
    images.hNormal = normal.get();
    images.hPush = push.get();
    images.hHover = hover.get();
    images.hDisable = disable.get();
    images.dwFlags = 0xFFFFFFFF;
    RegisterTheme(m_hInstance, &images, 0);

    const CommandLineOptions options = ParseCommandLine(ProcessArguments());
    SetupLog(nullptr, options.logFolder.c_str());
    SetupCrashHandler(1, 1);
    AfxSetExceptionHook(LogStoppedException);

    m_bQuiet = options.quiet;
    std::string why;
    if (!m_bQuiet && SeenByNoOne(why)) {
        m_bQuiet = true;
        TARNLOG(TARNLOG_INFO, "%sのため、画面を表示せずに実行します", why.c_str());
    }
    m_dwExitCode = Run(options);
    return FALSE;
}

DWORD CPellionAgentUninstallerApp::Run(const CommandLineOptions& options) {
    if (!options.badArgument.empty()) {
        m_bSummary = true;
        TARNLOG(TARNLOG_ERROR, "コマンドラインが不正です: %s", options.badArgument.c_str());
        const std::string text = "コマンドラインが不正です: " + options.badArgument + "\r\n\r\n" + UsageText();
        Tell(text.c_str(), kTitle, MB_OK | MB_ICONEXCLAMATION);
        return ERROR_INVALID_PARAMETER;
    }
    if (options.help) {
        m_bSummary = true;
        Tell(UsageText(), kTitle, MB_OK | MB_ICONASTERISK);
        return ERROR_SUCCESS;
    }

    // Held until this function returns, so a second start is refused for the whole run.
    CMultiStartupMgr guard(nullptr, TRUE, 0);
    if (guard.GetStatus() != 0) {
        Tell(kAlreadyRunning, "失敗", MB_OK | MB_ICONEXCLAMATION);
        TARNLOG(TARNLOG_ERROR, "%s", kAlreadyRunning);
        return ERROR_INSTALL_ALREADY_RUNNING;
    }
    m_bSummary = true;

    char installed[100];
    memset(installed, 0, sizeof(installed));
    if (!ReadInstallValue(installed, "Version", sizeof(installed), nullptr)) {
        TARNLOG(TARNLOG_ERROR, "%s", kNotInstalled);
        Tell(kNotInstalled, kTitle, MB_OK | MB_ICONEXCLAMATION | MB_TOPMOST);
        return ERROR_UNKNOWN_PRODUCT;
    }

    CFileVersionInfo reader;
    CString ownVersion;
    reader.Load(nullptr);
    const char* product = reader.GetString(9, 0x411);
    if (product) {
        ownVersion = product;
    } else {
        TARNLOG(TARNLOG_ERROR, "製品バージョンの取得に失敗 Error[%lu]", reader.GetLastErrorCode());
    }

    CVersionInfo installedVersion(installed);
    CVersionInfo own(ownVersion);
    if (installedVersion > own) {
        TARNLOG(TARNLOG_ERROR,
                "現在のバージョンより、アップデート対象のバージョンの方が古いです。NowVersion[%s], ModuleVersion[%s]",
                installed, static_cast<const char*>(ownVersion));
        Tell(
            "新しいバージョンがインストールされているため本アンインストーラーを実行できません。\r\n"
            "最新のアンインストーラーをご利用ください。",
            kTitle, MB_OK | MB_ICONEXCLAMATION | MB_TOPMOST);
        return ERROR_PRODUCT_VERSION;
    }

    if (const DWORD refused = AcceptContractNumber(options)) return refused;
    CrashIfWanted("main");

    CUninstallWorkerThread worker(Operations());
    const int result = m_bQuiet ? RunWorkerWithoutWindow(&worker)
                                : CWorkerThreadProgressDialog::RunWorker(&worker, IDD_PROGRESS, m_pMainWnd, TRUE);
    // A worker whose thread could not be made never ran: its run failed before the first step.
    m_resultCode = result != 0 && worker.GetResultCode() == "000" ? "001" : worker.GetResultCode();
    m_bRestartPending = worker.m_bNeedRestart;
    if (result != 0) {
        CString text;
        text.Format(
            "アンインストールに失敗しました。\r\nエラーコード：%s \r\n\r\n<詳細情報>\r\nバージョン：%s \r\n\r\n"
            "再度実行してください。",
            m_resultCode.c_str(), static_cast<const char*>(ownVersion));
        Tell(text, kTitle, MB_OK | MB_ICONHAND | MB_TOPMOST);
        return ERROR_INSTALL_FAILURE;
    }
    if (!worker.m_bNeedRestart) {
        Tell(kCompleted, kTitle, MB_OK | MB_ICONASTERISK | MB_TOPMOST);
        return ERROR_SUCCESS;
    }
    // Files wait for the restart. A quiet run makes one only when told to: administrators schedule the
    // restarts of a fleet. Told not to, the operator is not asked, and the run is complete for now.
    bool restart = false;
    if (options.noRestart)
        Tell(kCompleted, kTitle, MB_OK | MB_ICONASTERISK | MB_TOPMOST);
    else
        restart =
            options.forceRestart || Tell("処理を完了するには再起動する必要があります。\r\n再起動してもよろしいですか？",
                                         "確認", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
    if (!restart) {
        TARNLOG(TARNLOG_INFO, "再起動を見送りました");
        return ERROR_SUCCESS_REBOOT_REQUIRED;
    }
    const DWORD privilege = EnableShutdownPrivilege();
    if (privilege != 0) {
        TARNLOG(TARNLOG_ERROR, "再起動の権限を有効にできませんでした。 GetLastError:[%lu]", privilege);
        return ERROR_SUCCESS_REBOOT_REQUIRED;
    }
    // Logged before the call: the restart may end this process before it returns.
    TARNLOG(TARNLOG_INFO, "再起動を要求します");
    if (!ExitWindowsEx(EWX_REBOOT, 0)) {
        TARNLOG(TARNLOG_ERROR, "再起動の要求に失敗しました。 GetLastError:[%lu]", GetLastError());
        return ERROR_SUCCESS_REBOOT_REQUIRED;
    }
    return ERROR_SUCCESS_REBOOT_INITIATED;
}

// The number is never logged: the log is read by more people than the number is meant for. Interactively,
// a file that does not hold the number leaves it to the dialog.
DWORD CPellionAgentUninstallerApp::AcceptContractNumber(const CommandLineOptions& options) {
    if (m_bQuiet || !options.contractFile.empty()) {
        std::string number;
        if (!options.contractFile.empty()) {
            const std::string path = BesideProgram(options.contractFile.c_str());
            if (const DWORD error = ReadContractFile(path, number))
                TARNLOG(TARNLOG_ERROR, "契約書ＮＯのファイルを読めません [%s] GetLastError:[%lu]", path.c_str(), error);
        }
        switch (CheckContractNumber(number.c_str())) {
        case ContractCheck::NoSettingsFile:
        case ContractCheck::Match: return 0;
        case ContractCheck::Empty: TARNLOG(TARNLOG_ERROR, "契約書ＮＯが指定されていません"); break;
        case ContractCheck::Wrong: TARNLOG(TARNLOG_ERROR, "契約書ＮＯが違います。"); break;
        }
        if (m_bQuiet) return ERROR_INSTALL_PACKAGE_REJECTED;
    }
    CPellionAgentUninstallerDlg dialog;
    return dialog.DoModal() == IDOK ? 0 : ERROR_INSTALL_USEREXIT;
}

int CPellionAgentUninstallerApp::Tell(const char* text, const char* caption, UINT style) const {
    return m_bQuiet ? 0 : MessageBoxA(nullptr, text, caption, style);
}

int CPellionAgentUninstallerApp::ExitInstance() {
    // One line a deployment tool's log collector can grep for: the last before the end banner.
    if (m_bSummary)
        TARNLOG(TARNLOG_INFO, "RESULT=%s EXIT=%lu RESTART=%d", m_resultCode.c_str(), m_dwExitCode,
                m_bRestartPending ? 1 : 0);
    CTarnLogWrapper(__FILE__, __LINE__).Terminate();
    UnregisterTheme(m_hInstance);
    CWinAppEx::ExitInstance();
    return static_cast<int>(m_dwExitCode);
}

DWORD EnableShutdownPrivilege() {
    CToken token;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.out())) {
        TOKEN_PRIVILEGES privileges;
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid))
            AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
    }
    // Taken whatever happened: a lacking privilege leaves ERROR_NOT_ALL_ASSIGNED here.
    return GetLastError();
}
