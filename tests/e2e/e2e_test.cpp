// End to end: the real AgentUninstaller_Win.exe on a simulated agent, its windows read and pressed as by an operator.
#include <windows.h>
#include <shlobj.h>
#include <gtest/gtest.h>
#include <functional>
#include <string>
#include <vector>
#include "INC/Owner.h"
#include "SeedAgent.h"
#include "TestUtil.h"
#include "UiDriver.h"

using testutil::Exists;

namespace {

const wchar_t kTitle[] = L"エージェント端末アンインストーラー";
const char kOwnVersion[] = "2.000.08";  // the exe's ProductVersion, read as 2.0.8.0
const char kNotInstalled[] = "エージェント端末がインストールされていないため、本アンインストーラーを実行できません。";
const char kAsk[] = "契約書ＮＯを入力してください。";
const char kWrong[] = "契約書ＮＯが違います。";
const DWORD kWait = 20000;
std::string Failure(const char* code) {
    return std::string("アンインストールに失敗しました。\r\nエラーコード：") + code +
           " \r\n\r\n<詳細情報>\r\nバージョン：" + kOwnVersion + " \r\n\r\n再度実行してください。";
}

HWND WaitFor(const testutil::Child& p, const wchar_t* caption, bool messageBox) {
    return uidriver::WaitForWindow(caption, messageBox, p.pid(), kWait);
}

// What of the agent a run left on the machine, a bit each.
enum Left { kNothing = 0, kService = 1, kFolder = 2, kShortcuts = 4, kKey = 8, kAll = 15 };
const REGSAM kAgentView = testutil::IsWow64Process() ? KEY_WOW64_64KEY : 0;
const char kAgentKey[] = "SOFTWARE\\Corvane", kSub[] = "SOFTWARE\\Corvane\\Sub",
           kSession[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
bool KeyExists(const char* key, REGSAM view) {
    CRegKey k;
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ | view, k.out()) == ERROR_SUCCESS;
}
// Sets a value of type REG_SZ (value nullptr: deletes it).
void SetValue(const char* key, REGSAM view, const char* name, const char* value) {
    CRegKey k;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_SET_VALUE | view, k.out());
    if (!value) RegDeleteValueA(k.get(), name);
    else RegSetValueExA(k.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), strlen(value) + 1);
}

struct EndToEnd : ::testing::Test {
    void SetUp() override { ASSERT_TRUE(testutil::Copy(testutil::Env("AGENT_EXE"), exe_)) << "AGENT_EXE"; }
    void TearDown() override {
        seed::Unseed(agentDir_);
        if (byPackage_) testutil::Run("msiexec.exe", {"/x", testutil::Env("AGENT_MSI"), "/qn"});  // its records
    }

    void Install(const char* version, const char* contractNo, const std::string& serviceMode = "") {
        seed::Unseed(agentDir_);
        ASSERT_EQ(0u, seed::Seed(agentDir_, version, contractNo, serviceMode));
        DeleteFileA((dir_ / "Log\\AgentUninstaller_Win.exe.log").c_str());
    }

    // The agent as its 64-bit package installs it, plus what it cannot carry; a 32-bit Windows is seeded by hand.
    void InstallByPackage() {
        if (!testutil::IsWow64Process()) return Install(kOwnVersion, "AB12CD34", "slow");
        seed::Unseed(agentDir_);
        ASSERT_EQ(0u, testutil::Run("msiexec.exe", {"/i", testutil::Env("AGENT_MSI"), "/qn"}).exitCode);
        byPackage_ = true;
        char installed[MAX_PATH] = "";
        DWORD size = sizeof(installed);
        CRegKey key;
        ASSERT_EQ(0, RegOpenKeyExA(HKEY_LOCAL_MACHINE, kAgentKey, 0, KEY_READ | kAgentView, key.out()));
        ASSERT_EQ(0, RegGetValueA(key.get(), nullptr, "InstallPath", RRF_RT_REG_SZ, nullptr, installed, &size));
        agentDir_ = installed;
        ASSERT_EQ(0u, seed::SeedExtras(agentDir_));
        ASSERT_EQ(static_cast<DWORD>(SERVICE_RUNNING), testutil::ServiceState(seed::kServiceName));
        DeleteFileA((dir_ / "Log\\AgentUninstaller_Win.exe.log").c_str());
    }

    // A box of the program with this text, an icon and OK alone; pressed with Enter.
    static void ExpectOkBoxAndPress(HWND box, const std::string& text) {
        ASSERT_TRUE(box != nullptr) << text;
        const uidriver::MessageBoxInfo info = uidriver::ReadMessageBox(box);
        EXPECT_EQ(text, info.text);
        EXPECT_TRUE(info.hasIcon && info.buttons == std::vector<int>{IDOK}) << info.buttons.size() << " buttons";
        ASSERT_TRUE(uidriver::PressKey(box, uidriver::Key::Enter));
    }

    // A second start while this one shows a window is refused at once, with a box or, quiet, without a window.
    void ExpectSecondStartRefused() const {
        testutil::Child second(exe_, {});
        ExpectOkBoxAndPress(WaitFor(second, L"失敗", true), "既に起動しています");
        EXPECT_EQ(static_cast<DWORD>(ERROR_INSTALL_ALREADY_RUNNING), second.Wait(kWait));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INSTALL_ALREADY_RUNNING), RunUnseen({"/quiet"}));
    }
    // The program run to its end with args (on desktop, "station\\desktop", if given), never a window; its exit code.
    DWORD RunUnseen(const std::vector<std::string>& args, const char* desktop = nullptr) const {
        testutil::Child p(testutil::CommandLine(exe_, args), false, false, desktop);
        bool seen = false;
        const DWORD code = uidriver::WaitWatchingWindows(p.pi_.hProcess, p.pid(), kWait, &seen);
        EXPECT_FALSE(seen) << "a window of a run that must show none";
        return code;
    }
    std::string Log(const std::string& folder = "Log") const {
        return testutil::ReadBytes(dir_ / (folder + "\\AgentUninstaller_Win.exe.log"));
    }
    // Every line of the log parses, and the first is the start banner.
    static void ExpectWholeLog(const std::string& log) {
        bool parsed = false;
        const std::vector<testutil::LogLine> lines = testutil::ParseAll(log, &parsed);
        ASSERT_TRUE(parsed && !lines.empty());
        EXPECT_EQ("==========<開始>==========", lines.front().message);
    }
    // The line before the end banner: the run summed up, for a deployment tool to grep.
    static std::string Summary(const std::string& log) {
        const std::vector<testutil::LogLine> lines = testutil::ParseAll(log);
        return lines.size() > 1 && lines.back().mark == "--" ? lines[lines.size() - 2].message : "";
    }
    static std::string Summed(const char* result, DWORD exit, int restart = 0) {
        return std::string("RESULT=") + result + " EXIT=" + std::to_string(exit) + " RESTART=" + std::to_string(restart);
    }

    int WhatIsLeft() const {
        char desktop[MAX_PATH] = "";
        SHGetFolderPathA(nullptr, CSIDL_COMMON_DESKTOPDIRECTORY, nullptr, 0, desktop);
        const std::string d = desktop;
        const bool shortcuts =
            Exists(d + "\\インベントリ情報アップロード.lnk") || Exists(d + "\\リモート操作クライアント.lnk");
        return (testutil::ServiceState(seed::kServiceName) ? kService : 0) | (Exists(agentDir_) ? kFolder : 0) |
               (shortcuts ? kShortcuts : 0) | (KeyExists(kAgentKey, kAgentView) ? kKey : 0);
    }
    // Starts the program, confirms the number and returns the box that reports the run.
    static HWND RunUninstall(const testutil::Child& p) {
        HWND dlg = WaitFor(p, kTitle, false);
        if (!dlg || !uidriver::SetText(dlg, 1000, L"AB12CD34") || !uidriver::Click(dlg, IDOK)) return nullptr;
        HWND box = WaitFor(p, kTitle, true);
        return box ? box : WaitFor(p, L"確認", true);
    }

    testutil::TempDir dir_{"e2e"};
    const std::string exe_ = dir_ / "AgentUninstaller_Win.exe";
    std::string agentDir_ = dir_ / "Corvane";
    bool byPackage_ = false;
    CFileHandle held_;
};

// A refused start: a box and the end. Else the number is asked for and checked, the right one uninstalls; Esc or Cancel
// ends the run silently, touching nothing; a second start is refused at each box and at the dialog. The log is whole.
TEST_F(EndToEnd, TheStartIsRefusedOrTheNumberGatesTheUninstall) {
    // contractNo: only its first 14 characters count, nullptr: no settings file; attempts: typed (ASCII), and the
    // warning (nullptr: accepted); refused: the box that ends the start; logged: an error line of the log.
    using Attempts = std::vector<std::pair<const wchar_t*, const char*>>;
    const struct { const char *version, *contractNo; Attempts attempts; DWORD exit; std::string refused, logged; } rows[] = {
        {"", "AB12CD34", {}, ERROR_UNKNOWN_PRODUCT, kNotInstalled, kNotInstalled},  // the key and InstallPath, no Version
        {"2.0.8.1", "AB12CD34", {}, ERROR_PRODUCT_VERSION,
         "新しいバージョンがインストールされているため本アンインストーラーを実行できません。\r\n"
         "最新のアンインストーラーをご利用ください。",
         std::string("現在のバージョンより、アップデート対象のバージョンの方が古いです。NowVersion[2.0.8.1], "
                     "ModuleVersion[") + kOwnVersion + "]"},
        {kOwnVersion, "AB12CD34EF56GH7890XY", {{L"", kAsk}, {L"AB12CD35", kWrong}, {L"ab12cd34ef56gh", nullptr}}, 0},
        {kOwnVersion, nullptr, {{L"", nullptr}}, 0},
        {"1.10", "\" AB12\"", {{L"AB12", kWrong}}, ERROR_INSTALL_USEREXIT},  // quoted, the blank is kept: none typed. Esc.
        {kOwnVersion, "AB12CD34", {}, ERROR_INSTALL_USEREXIT, "", "既に起動しています"},  // a second start, then Cancel
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.version) + " " + (r.contractNo ? r.contractNo : "no settings file"));
        Install(r.version, r.contractNo);
        testutil::Child p(exe_, {});
        HWND dlg = r.refused.empty() ? WaitFor(p, kTitle, false) : nullptr;
        if (!r.refused.empty()) {
            HWND box = WaitFor(p, kTitle, true);
            ExpectSecondStartRefused();  // the guard is held from before the refusal
            ExpectOkBoxAndPress(box, r.refused);
        }
        ASSERT_TRUE(dlg || !r.refused.empty());
        for (const auto& a : r.attempts) {
            ASSERT_TRUE(uidriver::SetText(dlg, 1000, L""));
            ASSERT_TRUE(uidriver::TypeText(dlg, 1000, a.first));  // through the edit, as typed keys
            // Enter in the edit acts as the uninstall button.
            ASSERT_TRUE(a.second ? uidriver::Click(dlg, IDOK) : uidriver::PressKey(dlg, uidriver::Key::Enter));
            if (!a.second) break;
            HWND warn = WaitFor(p, L"警告", true);
            ExpectSecondStartRefused();
            ExpectOkBoxAndPress(warn, a.second);
            EXPECT_EQ(dlg, GetWindow(warn, GW_OWNER));
            ASSERT_TRUE(uidriver::WaitForWindowGone(warn, kWait));
            EXPECT_EQ(std::string(a.first, a.first + wcslen(a.first)), uidriver::GetText(GetDlgItem(dlg, 1000)));
        }
        const bool accepted = !r.attempts.empty() && !r.attempts.back().second;
        if (accepted) {
            ExpectOkBoxAndPress(WaitFor(p, kTitle, true), "アンインストールが完了しました。");
        } else if (!r.attempts.empty()) {
            ASSERT_TRUE(uidriver::PressKey(dlg, uidriver::Key::Escape));
        } else if (dlg) {
            ExpectSecondStartRefused();
            EXPECT_TRUE(IsWindowVisible(dlg) && IsWindowEnabled(dlg)) << "the first instance must be undisturbed";
            ASSERT_TRUE(uidriver::Click(dlg, IDCANCEL));
        }
        EXPECT_EQ(r.exit, p.Wait(kWait));  // a box would have kept it running
        EXPECT_EQ(accepted ? kNothing : kAll - kService, WhatIsLeft());
        const std::string log = Log(), end = "----------<終了>----------\r\n\r\n";
        EXPECT_EQ(Summed(accepted ? "000" : "---", r.exit), Summary(log));
        ExpectWholeLog(log);
        bool logged = r.logged.empty();  // an error line ("!!") with this message
        for (const testutil::LogLine& l : testutil::ParseAll(log)) logged |= l.mark == "!!" && l.message == r.logged;
        EXPECT_TRUE(logged) << r.logged;
        EXPECT_EQ(end, log.substr(log.size() > end.size() ? log.size() - end.size() : 0));
    }
}

// One run per real fault: the code shown, the steps after it not attempted. Rows with an undo run again once the
// fault is gone, as an operator would, and then complete. service: how the test service answers a stop.
TEST_F(EndToEnd, EachFaultStopsTheRunAtItsStep) {
    using Step = std::function<void(EndToEnd&)>;
    const auto path = [](const char* p) -> Step {  // nullptr: no value
        return [p](EndToEnd&) { SetValue(kAgentKey, kAgentView, "InstallPath", p); };
    };
    char shortName[MAX_PATH] = "";
    ASSERT_NE(0u, GetShortPathNameA("C:\\Program Files", shortName, MAX_PATH));
    const struct { const char *name, *service; Step fault; const char* code; int left; Step undo; } rows[] = {
        {"clean", "prompt", nullptr, "000", kNothing, nullptr},
        {"no InstallPath", "prompt", path(nullptr), "001", kAll, nullptr},
        {"a protected folder", "prompt", path("C:\\windows"), "002", kAll, nullptr},
        {"Program Files", "prompt", path("C:\\Program Files"), "002", kAll, nullptr},
        {"a drive root", "prompt", path("C:\\"), "002", kAll, nullptr},
        {"a service that will not stop", "refuse", nullptr, "007", kAll, nullptr},
        // What the walk would reach through a linked parent or a short name is the protected folder itself.
        {"a linked parent into the Windows folder", "prompt",
         [](EndToEnd& t) {
             ASSERT_TRUE(testutil::MakeLink(t.dir_ / "winlink", "C:\\windows"));
             ASSERT_TRUE(testutil::WriteBytes("C:\\windows\\temp\\e2e-keep.txt", "keep"));
             SetValue(kAgentKey, kAgentView, "InstallPath", (t.dir_ / "winlink\\temp").c_str());
         },
         "002", kAll,
         [](EndToEnd& t) {
             EXPECT_TRUE(Exists("C:\\windows\\temp\\e2e-keep.txt"));
             testutil::RemoveLink(t.dir_ / "winlink");
             SetValue(kAgentKey, kAgentView, "InstallPath", t.agentDir_.c_str());
         }},
        {"a short name of Program Files", "prompt", path(shortName), "002", kAll, nullptr},
        {"a tree past MAX_PATH", "prompt", [](EndToEnd& t) { ASSERT_TRUE(testutil::MakeDeepTree(t.agentDir_ + "\\bin")); },
         "000", kNothing, nullptr},
        // A held file, and a list of restart deletions of the wrong type that the system will not extend.
        {"a file neither deleted nor scheduled", "prompt",
         [](EndToEnd& t) {
             t.held_.reset(CreateFileA((t.agentDir_ + "\\bin\\data\\inventory.dat").c_str(), GENERIC_READ,
                                       FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
             SetValue(kSession, 0, "PendingFileRenameOperations", "not a list");
         },
         "004", kFolder | kShortcuts | kKey,
         [](EndToEnd& t) { t.held_.reset(), SetValue(kSession, 0, "PendingFileRenameOperations", nullptr); }},
        {"a subkey", "prompt",
         [](EndToEnd&) { RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSub, 0, nullptr, 0, KEY_WRITE | kAgentView, nullptr,
                                         CRegKey().out(), nullptr); },
         "006", kKey, [](EndToEnd&) { testutil::ScopedRegKey::Delete(kSub, kAgentView); }},
    };
    // On 64-bit Windows the 32-bit view's key of the same name is not the agent's.
    const bool twoViews = testutil::IsWow64Process();
    testutil::ScopedRegKey twin(twoViews ? kAgentKey : "SOFTWARE\\Corvane-none", KEY_WOW64_32KEY);
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        Install(kOwnVersion, "AB12CD34", r.service);
        if (r.fault) r.fault(*this);
        for (bool again : {false, true}) {
            testutil::Child p(exe_, {});
            const bool ok = std::string(r.code) == "000" || again;
            ExpectOkBoxAndPress(RunUninstall(p), ok ? "アンインストールが完了しました。" : Failure(r.code));
            EXPECT_EQ(ok ? 0u : ERROR_INSTALL_FAILURE, p.Wait(kWait));
            EXPECT_EQ(Summed(ok ? "000" : r.code, ok ? 0 : ERROR_INSTALL_FAILURE), Summary(Log()));
            EXPECT_EQ(ok ? kNothing : r.left, WhatIsLeft());
            if (!r.undo) break;
            r.undo(*this);
        }
        EXPECT_TRUE(!twoViews || KeyExists(kAgentKey, KEY_WOW64_32KEY));
    }
}

// The banners of a whole run in order; a held file left for the restart (No, or quiet) stays until Wine's restart.
TEST_F(EndToEnd, HeldFileWaitsForTheRestart) {
    for (bool quiet : {false, true}) {
        SCOPED_TRACE(quiet ? "quiet" : "answered No");
        InstallByPackage();
        const std::string held = agentDir_ + "\\ソフト表示機能\\能力表.txt";
        CFileHandle lock(CreateFileA(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(lock.valid());
        testutil::WriteBytes(dir_ / "contract.txt", "AB12CD34");
        if (quiet) {
            EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS_REBOOT_REQUIRED), RunUnseen({"/quiet", "/contractfile=contract.txt"}));
        } else {
            testutil::Child p(exe_, {});
            HWND ask = RunUninstall(p);
            ASSERT_TRUE(ask != nullptr);
            EXPECT_EQ("処理を完了するには再起動する必要があります。\r\n再起動してもよろしいですか？",
                      uidriver::ReadMessageBox(ask).text);
            ExpectSecondStartRefused();
            ASSERT_TRUE(uidriver::PressKey(ask, uidriver::Key::Enter));  // No is the default
            EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS_REBOOT_REQUIRED), p.Wait(kWait));
        }
        EXPECT_EQ(kFolder, WhatIsLeft());
        EXPECT_TRUE(Exists(held));
        EXPECT_FALSE(Exists(agentDir_ + "\\bin"));  // what is not held goes at once
        std::vector<std::string> banners;
        for (const testutil::LogLine& l : testutil::ParseAll(Log()))
            if (l.message.compare(0, 6, "■■■") == 0) banners.push_back(l.message);
        const std::string step = "■■■ プログレスバーを次のステップに進める ■■■";
        const std::vector<std::string> expected = {
            step, "■■■ インストールフォルダをEveryoneコントロールに ■■■", "■■■ サービスのアンインストール ■■■",
            step, "■■■ モジュールの削除 ■■■", step, "■■■ ショートカットの削除 ■■■", step,
            "■■■ レジストリの削除 ■■■", step};
        EXPECT_EQ(expected, banners);
        EXPECT_EQ(1, testutil::CountMessages(testutil::ParseAll(Log()), "再起動を見送りました"));
        EXPECT_EQ(Summed("000", ERROR_SUCCESS_REBOOT_REQUIRED, 1), Summary(Log()));
        lock.reset();
        EXPECT_EQ(0u, testutil::Run("wineboot.exe", {"-r"}).exitCode);
        EXPECT_FALSE(Exists(agentDir_));
    }
}

// A window station made without WSF_VISIBLE, as a service's is, with a desktop to start a program on.
struct HiddenStation : testutil::NoCopy {
    const std::string name_ = testutil::UniqueName("hidden"), desktop_ = name_ + "\\Default";
    const HWINSTA station_ = CreateWindowStationA(name_.c_str(), 0, WINSTA_ALL_ACCESS, nullptr),
                  own_ = GetProcessWindowStation();  // a desktop is made in the station of the process
    const HDESK desk_ = SetProcessWindowStation(station_) ? CreateDesktopA("Default", nullptr, nullptr, 0, GENERIC_ALL,
                                                                           nullptr) : nullptr;
    HiddenStation() { SetProcessWindowStation(own_); }
    ~HiddenStation() { CloseDesktop(desk_), CloseWindowStation(station_); }
};

// Quiet runs, and a run no one can see: never a window, the outcome in the full exit code and in the summary line.
// The number from a file acts as typed (the dialog's filter and comparison) and is never logged.
TEST_F(EndToEnd, QuietRunsAnswerInTheirExitCode) {
    HiddenStation hidden;
    ASSERT_TRUE(hidden.station_ && hidden.desk_);
    const std::string file = "/contractfile=契約表.txt";  // beside the program; 表 ends in the byte 0x5C
    // line: the file's text (nullptr: no file); log: the log's folder (nullptr: Log); hidden: on the hidden station.
    const struct { const char *version, *contractNo, *line; std::vector<std::string> args; DWORD exit;
                   const char *result, *log; bool hidden; } rows[] = {
        {kOwnVersion, "AB12CD34", "AB12CD34\r\nsecond line", {"/quiet", file}, 0, "000"},
        {kOwnVersion, "ab12CD34", " AB12-cd34 ", {"-QUIET", "/ContractFile=契約表.txt", "/log=logs\\ソフト"}, 0, "000",
         "logs\\ソフト"},  // blanks and a hyphen, as typed, fall away
        {kOwnVersion, "AB12CD34EF56GH7890XY", "AB12CD34EF56GH99", {"/quiet", file}, 0, "000"},  // 14 count
        {kOwnVersion, "AB12CD34", "ＡＢ１２ＣＤ３４", {"/quiet", file}, ERROR_INSTALL_PACKAGE_REJECTED, "---"},
        {kOwnVersion, "AB12CD34", "AB12CD35", {"/quiet", file}, ERROR_INSTALL_PACKAGE_REJECTED, "---"},
        {kOwnVersion, "AB12CD34", nullptr, {"/quiet", file}, ERROR_INSTALL_PACKAGE_REJECTED, "---"},
        {kOwnVersion, nullptr, nullptr, {}, 0, "000", nullptr, true},  // no settings file: nothing to ask
        {"", "AB12CD34", "AB12CD34", {"/quiet", file}, ERROR_UNKNOWN_PRODUCT, "---"},
        {"2.0.8.1", "AB12CD34", "AB12CD34", {"/quiet", file}, ERROR_PRODUCT_VERSION, "---"},
        {kOwnVersion, "AB12CD34", "AB12CD34", {file, "/bogus=AB12CD34", "/quiet"}, ERROR_INVALID_PARAMETER, "---"},
        {kOwnVersion, "AB12CD34", "AB12CD34", {"/quiet", "/norestart", "/forcerestart"}, ERROR_INVALID_PARAMETER, "---"},
        {kOwnVersion, "AB12CD34", "AB12CD34", {"/?", "/quiet"}, 0, "---"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(testutil::CommandLine("", r.args) + " " + (r.line ? r.line : "no file"));
        Install(r.version, r.contractNo);
        testutil::RemoveTree(dir_ / "logs");
        DeleteFileA((dir_ / "契約表.txt").c_str());
        if (r.line) testutil::WriteBytes(dir_ / "契約表.txt", r.line);
        EXPECT_EQ(r.exit, RunUnseen(r.args, r.hidden ? hidden.desktop_.c_str() : nullptr));
        EXPECT_EQ(std::string(r.result) == "000" ? kNothing : kAll - kService, WhatIsLeft());
        const std::string log = Log(r.log ? r.log : "Log");
        EXPECT_EQ(Summed(r.result, r.exit), Summary(log)) << log;
        EXPECT_EQ(!r.log, Exists(dir_ / "Log\\AgentUninstaller_Win.exe.log"));
        EXPECT_EQ(std::string::npos, log.find("AB12")) << "the number is logged";
        EXPECT_EQ(r.hidden ? 1 : 0, testutil::CountMessages(testutil::ParseAll(log), "表示されないウィンドウステーション[" +
                                                                                        hidden.name_ + "]のため、画面を表示せずに実行します"));
    }
    // Interactively a bad switch is named in a box, with the usage.
    testutil::Child p(testutil::CommandLine(exe_, {"-Bogus=AB12CD34"}));
    HWND box = WaitFor(p, kTitle, true);
    ASSERT_TRUE(box != nullptr);
    EXPECT_EQ(0u, uidriver::ReadMessageBox(box).text.find("コマンドラインが不正です: -Bogus\r\n\r\n"));
    ASSERT_TRUE(uidriver::PressKey(box, uidriver::Key::Enter));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), p.Wait(kWait));
}

// The agent installed by its package: one run leaves nothing of it.
TEST_F(EndToEnd, AnAgentInstalledByItsPackageGoesWhole) {
    InstallByPackage();
    testutil::Child p(exe_, {});
    ExpectOkBoxAndPress(RunUninstall(p), "アンインストールが完了しました。");
    EXPECT_TRUE(p.Ended(kWait));
    EXPECT_EQ(kNothing, WhatIsLeft());
}

// A link in the install folder is never followed: its target keeps every file (Wine stores no access lists to
// compare). A second start is refused while the progress dialog or the result box stands.
TEST_F(EndToEnd, LinksAreNotFollowedAndASecondStartWaitsItsTurn) {
    Install(kOwnVersion, "AB12CD34", "slow");  // the service takes two seconds to stop
    testutil::TempDir outside("outside");
    ASSERT_TRUE(testutil::WriteBytes(outside / "keep.txt", "keep"));
    ASSERT_TRUE(testutil::MakeLink(agentDir_ + "\\bin\\link", outside.path_));
    testutil::Child p(exe_, {});
    HWND dlg = WaitFor(p, kTitle, false);
    ASSERT_TRUE(dlg && uidriver::SetText(dlg, 1000, L"AB12CD34") && uidriver::Click(dlg, IDOK));
    Sleep(500);
    ExpectSecondStartRefused();  // while the progress dialog stands
    HWND box = WaitFor(p, kTitle, true);
    ExpectSecondStartRefused();  // while the result box stands
    // Wine removes no link to a non-empty folder (RemoveDirectory acts on the target): "004", the link left.
    const bool stopped = box && uidriver::ReadMessageBox(box).text == Failure("004");
    ExpectOkBoxAndPress(box, stopped ? Failure("004") : "アンインストールが完了しました。");
    EXPECT_EQ(stopped ? kFolder | kShortcuts | kKey : kNothing, WhatIsLeft()) << Log();
    if (stopped) {
        EXPECT_TRUE(Exists(agentDir_ + "\\bin\\link") && !Exists(agentDir_ + "\\PellionSys.ini"));
        EXPECT_NE(std::string::npos, Log().find("リパースポイントの削除に失敗しました [" + agentDir_ + "\\bin\\link]"));
        testutil::RemoveLink(agentDir_ + "\\bin\\link");
    }
    EXPECT_TRUE(p.Ended(kWait));
    EXPECT_EQ("keep", testutil::ReadBytes(outside / "keep.txt"));
}

// A log that earlier runs filled to its limit is rotated into its backup by the next run, which starts afresh.
TEST_F(EndToEnd, AFullLogIsRotatedByTheNextRun) {
    Install("", "AB12CD34");  // not installed, quiet: the shortest whole run
    const std::string earlier(4194300, 'x');
    CreateDirectoryA((dir_ / "Log").c_str(), nullptr);
    ASSERT_TRUE(testutil::WriteBytes(dir_ / "Log\\AgentUninstaller_Win.exe.log", earlier));
    EXPECT_EQ(static_cast<DWORD>(ERROR_UNKNOWN_PRODUCT), RunUnseen({"/quiet"}));
    EXPECT_TRUE(earlier == testutil::ReadBytes(dir_ / "Log\\AgentUninstaller_Win.exe.log.BAK"));  // no 4 MB diff
    ExpectWholeLog(Log());
}

// A crash on either thread (the test build's hooks): its report ends the log, flushed, a full dump if marked.
TEST_F(EndToEnd, ACrashOnEitherThreadEndsTheLogWithItsReport) {
    ASSERT_EQ(std::string::npos, testutil::ReadBytes(exe_).find("AGENT_TEST_CRASH"));  // shipped without hooks
    ASSERT_TRUE(testutil::Copy(testutil::OwnFolder() + "hooked\\AgentUninstaller_Win.exe", exe_));
    const std::string logs = dir_ / "prodlog";
    CreateDirectoryA(logs.c_str(), nullptr);
    testutil::WriteBytes(dir_ / "KDMSys.ini", "[PATH]\r\nLOGDIR=" + logs + "\r\n");
    testutil::ScopedEnv noInstDir("VELMOR_INSTDIR", nullptr);
    for (const char* where : {"main", "worker"}) {
        SCOPED_TRACE(where);
        const bool dump = where[0] == 'w';
        Install(kOwnVersion, "AB12CD34", "prompt");
        for (const std::string& f : {logs + "\\VELMOR.DMP", dir_ / "Log\\AgentUninstaller_Win_dmp.exe.log"}) DeleteFileA(f.c_str());
        if (dump) testutil::WriteBytes(logs + "\\KDMDMP.INI", "");
        testutil::ScopedEnv crash("AGENT_TEST_CRASH", where);
        testutil::Child p(exe_, {});
        HWND dlg = WaitFor(p, kTitle, false);
        ASSERT_TRUE(dlg && uidriver::SetText(dlg, 1000, L"AB12CD34") && uidriver::Click(dlg, IDOK));
        const DWORD code = p.Wait(180000);  // a full-memory dump of a windowed process takes Wine half a minute
        // Under qemu-i386 user emulation Wine gets the fault without its trap number: an illegal instruction.
        EXPECT_TRUE(code == EXCEPTION_ACCESS_VIOLATION || code == EXCEPTION_ILLEGAL_INSTRUCTION) << code;
        std::string report, marks;
        for (const testutil::LogLine& l : testutil::ParseAll(Log()))
            if (l.source == "TarnLogExcptionCallStack.cpp") report += l.message + "\n", marks += l.mark;
        EXPECT_EQ(std::string(marks.size(), '!'), marks);  // error lines all
        char codeLine[64];
        wsprintfA(codeLine, "\n例外コード 0x%08X, 例外発生アドレス 0x", code);
        size_t at = 0;  // in this order
        for (const std::string& piece : {std::string(codeLine), std::string("\nロードモジュール\n  [0x"),
                                         std::string("] AgentUninstaller_Win.exe\n"),
                                         std::string("\nコールスタック\n  0x"), std::string("] CrashIfWanted() + 0x")})
            EXPECT_NE(std::string::npos, at = report.find(piece, at)) << piece << " in\n" << report;
        const std::string thread = "例外発生 ThreadID=" + std::to_string(p.pi_.dwThreadId) + "\n";
        EXPECT_EQ(!dump, report.find(thread) != std::string::npos) << report;
        EXPECT_EQ(dump, report.find("ダンプファイル作成 = 0\n") != std::string::npos) << report;
        const std::string dmp = testutil::ReadBytes(logs + "\\VELMOR.DMP");
        EXPECT_EQ(dump, dmp.size() > 1024 * 1024 && dmp.compare(0, 4, "MDMP") == 0) << dmp.size();
        EXPECT_TRUE(Exists(dir_ / "Log\\AgentUninstaller_Win_dmp.exe.log"));  // the flush after the closing line made it
        EXPECT_EQ(std::string::npos, Log().find("----------<終了>----------"));
        EXPECT_EQ(kAll, WhatIsLeft());
    }
}

}  // namespace
