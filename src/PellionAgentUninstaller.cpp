#include "PellionAgentUninstaller.h"

#include <commctrl.h>
#include <string.h>

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

    SetupLog(nullptr);
    SetupCrashHandler(1, 1);
    AfxSetExceptionHook(LogStoppedException);

    // Held until this function returns, so a second start is refused for the whole run.
    CMultiStartupMgr guard(nullptr, TRUE, 0);
    if (guard.GetStatus() != 0) {
        MessageBoxA(nullptr, kAlreadyRunning, "失敗", MB_OK | MB_ICONEXCLAMATION);
        TARNLOG(TARNLOG_ERROR, "%s", kAlreadyRunning);
        return FALSE;
    }

    char installed[100];
    memset(installed, 0, sizeof(installed));
    if (!ReadInstallValue(installed, "Version", sizeof(installed), nullptr)) {
        TARNLOG(TARNLOG_ERROR, "%s", kNotInstalled);
        MessageBoxA(nullptr, kNotInstalled, kTitle, MB_OK | MB_ICONEXCLAMATION | MB_TOPMOST);
        return FALSE;
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
        MessageBoxA(nullptr,
                    "新しいバージョンがインストールされているため本アンインストーラーを実行できません。\r\n"
                    "最新のアンインストーラーをご利用ください。",
                    kTitle, MB_OK | MB_ICONEXCLAMATION | MB_TOPMOST);
        return FALSE;
    }

    CPellionAgentUninstallerDlg dialog;
    if (dialog.DoModal() != IDOK) return FALSE;
    CrashIfWanted("main");

    CUninstallWorkerThread worker(Operations());
    int result = CWorkerThreadProgressDialog::RunWorker(&worker, IDD_PROGRESS, m_pMainWnd, TRUE);
    if (result != 0) {
        CString text;
        text.Format(
            "アンインストールに失敗しました。\r\nエラーコード：%s \r\n\r\n<詳細情報>\r\nバージョン：%s \r\n\r\n"
            "再度実行してください。",
            worker.GetResultCode().c_str(), static_cast<const char*>(ownVersion));
        MessageBoxA(nullptr, text, kTitle, MB_OK | MB_ICONHAND | MB_TOPMOST);
    } else if (!worker.m_bNeedRestart) {
        MessageBoxA(nullptr, "アンインストールが完了しました。", kTitle, MB_OK | MB_ICONASTERISK | MB_TOPMOST);
    } else if (MessageBoxA(nullptr,
                           "処理を完了するには再起動する必要があります。\r\n再起動してもよろしいですか？",
                           "確認", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES) {
        TARNLOG(TARNLOG_INFO, "再起動を見送りました");
    } else {
        // Logged before the call: the restart may end this process before it returns.
        const DWORD privilege = EnableShutdownPrivilege();
        if (privilege != 0) {
            TARNLOG(TARNLOG_ERROR, "再起動の権限を有効にできませんでした。 GetLastError:[%lu]", privilege);
        } else {
            TARNLOG(TARNLOG_INFO, "再起動を要求します");
            if (!ExitWindowsEx(EWX_REBOOT, 0))
                TARNLOG(TARNLOG_ERROR, "再起動の要求に失敗しました。 GetLastError:[%lu]", GetLastError());
        }
    }
    return FALSE;
}

int CPellionAgentUninstallerApp::ExitInstance() {
    CTarnLogWrapper(__FILE__, __LINE__).Terminate();
    UnregisterTheme(m_hInstance);
    return CWinAppEx::ExitInstance();
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
