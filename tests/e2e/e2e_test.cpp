// End-to-end: the real AgentUninstaller_Win.exe started against a simulated agent installation,
// its windows read and pressed as an operator would.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "SeedAgent.h"
#include "TestUtil.h"
#include "UiDriver.h"

namespace {

const wchar_t kTitle[] = L"エージェント端末アンインストーラー";
const char kOwnVersion[] = "2.000.08";  // the exe's ProductVersion, read as 2.0.8.0
const char kNotInstalled[] = "エージェント端末がインストールされていないため、本アンインストーラーを実行できません。";
const char kAsk[] = "契約書ＮＯを入力してください。";
const char kWrong[] = "契約書ＮＯが違います。";
const DWORD kWait = 20000;

// One started copy of the program, killed if a test leaves it running.
struct Program : testutil::Child {
    explicit Program(const std::string& exe) : testutil::Child(exe, {}) {}
    HWND WaitFor(const wchar_t* caption, bool messageBox) const {
        return uidriver::WaitForWindow(caption, messageBox, pid(), kWait);
    }
};

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(testutil::Copy(getenv("AGENT_EXE") ? getenv("AGENT_EXE") : "", exe_)) << "AGENT_EXE";
    }
    void TearDown() override { seed::Unseed(agentDir_); }

    void Install(const char* version, const char* contractNo) {
        seed::Unseed(agentDir_);
        ASSERT_EQ(0u, seed::Seed(agentDir_, version, contractNo));
    }

    // A box of the program with this text, an icon and OK alone; pressed with Enter.
    static void ExpectOkBoxAndPress(HWND box, const std::string& text) {
        ASSERT_TRUE(box != nullptr) << text;
        uidriver::MessageBoxInfo info = uidriver::ReadMessageBox(box);
        EXPECT_EQ(text, info.text);
        EXPECT_TRUE(info.hasIcon);
        EXPECT_EQ(std::vector<int>{IDOK}, info.buttons);
        ASSERT_TRUE(uidriver::PressKey(box, uidriver::Key::Enter));
    }

    // The log beside the program holds an error line ("!!") with this message.
    void ExpectLoggedError(const std::string& message) const {
        bool logged = false;
        for (const testutil::LogLine& l : testutil::ParseAll(Log())) logged |= l.mark == "!!" && l.message == message;
        EXPECT_TRUE(logged) << message << "\n" << Log();
    }
    std::string Log() const { return testutil::ReadBytes(dir_ / "Log\\AgentUninstaller_Win.exe.log"); }

    testutil::TempDir dir_{"e2e"};
    const std::string exe_ = dir_ / "AgentUninstaller_Win.exe", agentDir_ = dir_ / "Corvane";
};

// The two refusals of the start: a box, the end, and the whole run in the log.
TEST_F(EndToEnd, RefusalsShowABoxLogAndEnd) {
    const struct {
        const char* version;  // "" : the key and InstallPath exist, but no Version
        std::string shown, logged;
    } rows[] = {
        {"", kNotInstalled, kNotInstalled},
        {"2.0.8.1",
         "新しいバージョンがインストールされているため本アンインストーラーを実行できません。\r\n"
         "最新のアンインストーラーをご利用ください。",
         std::string("現在のバージョンより、アップデート対象のバージョンの方が古いです。NowVersion[2.0.8.1], "
                     "ModuleVersion[") +
             kOwnVersion + "]"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.version);
        Install(r.version, "AB12CD34");
        DeleteFileA((dir_ / "Log\\AgentUninstaller_Win.exe.log").c_str());
        Program p(exe_);
        ExpectOkBoxAndPress(p.WaitFor(kTitle, true), r.shown);
        EXPECT_TRUE(p.Ended(kWait));
        bool parsed = false;
        std::vector<testutil::LogLine> lines = testutil::ParseAll(Log(), &parsed);
        EXPECT_TRUE(parsed);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ("==========<開始>==========", lines.front().message);
        ExpectLoggedError(r.logged);
        const std::string end = "----------<終了>----------\r\n\r\n", log = Log();
        EXPECT_EQ(end, log.substr(log.size() > end.size() ? log.size() - end.size() : 0));
        EXPECT_TRUE(testutil::Exists(agentDir_));
    }
}

// Equal and older versions open the contract dialog; closing it (button or Esc) ends the run
// without a word and touches nothing. While it is open, a second start is refused.
TEST_F(EndToEnd, ContractDialogClosesQuietlyAndKeepsASecondStartOut) {
    for (const char* version : {kOwnVersion, "1.10"}) {
        SCOPED_TRACE(version);
        Install(version, "AB12CD34");
        Program p(exe_);
        HWND dlg = p.WaitFor(kTitle, false);
        ASSERT_TRUE(dlg != nullptr);
        if (version == kOwnVersion) {
            Program second(exe_);
            ExpectOkBoxAndPress(second.WaitFor(L"失敗", true), "既に起動しています");
            EXPECT_TRUE(second.Ended(kWait));
            ExpectLoggedError("既に起動しています");
            EXPECT_TRUE(IsWindowVisible(dlg) && IsWindowEnabled(dlg)) << "the first instance must be undisturbed";
            ASSERT_TRUE(uidriver::Click(dlg, IDCANCEL));
        } else {
            ASSERT_TRUE(uidriver::PressKey(dlg, uidriver::Key::Escape));
        }
        EXPECT_TRUE(p.Ended(kWait));  // a box would have kept it running
        EXPECT_TRUE(testutil::Exists(agentDir_ + "\\PellionAgent.exe"));
    }
}

// The number is asked for, checked and accepted; then the uninstall runs and reports.
TEST_F(EndToEnd, ContractNumberGatesTheUninstall) {
    struct Attempt {
        const wchar_t* typed;  // ASCII
        const char* warning;   // nullptr: accepted
    };
    const struct {
        const char* contractNo;  // only its first 14 characters count; nullptr: no settings file
        std::vector<Attempt> attempts;
    } rows[] = {
        {"AB12CD34EF56GH7890XY", {{L"", kAsk}, {L"AB12CD35", kWrong}, {L"ab12cd34ef56gh", nullptr}}},
        {nullptr, {{L"", nullptr}}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.contractNo ? r.contractNo : "no settings file");
        Install(kOwnVersion, r.contractNo);
        Program p(exe_);
        HWND dlg = p.WaitFor(kTitle, false);
        ASSERT_TRUE(dlg != nullptr);
        for (const Attempt& a : r.attempts) {
            ASSERT_TRUE(uidriver::SetText(dlg, 1000, L""));
            ASSERT_TRUE(uidriver::TypeText(dlg, 1000, a.typed));  // through the edit, as typed keys
            // Enter in the edit acts as the uninstall button.
            ASSERT_TRUE(a.warning ? uidriver::Click(dlg, IDOK) : uidriver::PressKey(dlg, uidriver::Key::Enter));
            if (!a.warning) break;
            HWND warn = p.WaitFor(L"警告", true);
            ExpectOkBoxAndPress(warn, a.warning);
            EXPECT_EQ(dlg, GetWindow(warn, GW_OWNER));
            ASSERT_TRUE(uidriver::WaitForWindowGone(warn, kWait));
            EXPECT_EQ(std::string(a.typed, a.typed + wcslen(a.typed)), uidriver::GetText(GetDlgItem(dlg, 1000)));
        }
        ExpectOkBoxAndPress(p.WaitFor(kTitle, true), "アンインストールが完了しました。");
        EXPECT_TRUE(p.Ended(kWait));
    }
}

}  // namespace
