// End-to-end: the real AgentUninstaller_Win.exe started in the prefix against
// a simulated agent installation, its windows read and pressed as an operator would.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "SeedAgent.h"
#include "TestUtil.h"
#include "UiDriver.h"

namespace {

const char kTitle[] = "エージェント端末アンインストーラー";
const char kNotInstalled[] =
    "エージェント端末がインストールされていないため、本アンインストーラーを実行できません。";
const char kNewer[] =
    "新しいバージョンがインストールされているため本アンインストーラーを実行できません。\r\n"
    "最新のアンインストーラーをご利用ください。";
const char kDone[] = "アンインストールが完了しました。";
const DWORD kWait = 20000;

std::wstring W(const char* cp932) { return uidriver::FromCp932(cp932); }

DWORD WINAPI ShowTopmostProbe(LPVOID) {
    MessageBoxA(NULL, "probe", "topmost-probe", MB_OK | MB_TOPMOST);
    return 0;
}

// Whether this platform marks an MB_TOPMOST box with WS_EX_TOPMOST: probed
// with a box of our own, since Wine 8 does not (Windows does).
bool PlatformMarksTopmostBoxes() {
    static int marks = -1;
    if (marks < 0) {
        HANDLE t = CreateThread(NULL, 0, ShowTopmostProbe, NULL, 0, NULL);
        HWND box = uidriver::WaitForWindow(L"topmost-probe", kWait, GetCurrentProcessId());
        marks = box && (GetWindowLongA(box, GWL_EXSTYLE) & WS_EX_TOPMOST) ? 1 : 0;
        if (box) uidriver::Click(box, IDOK);
        WaitForSingleObject(t, kWait);
        CloseHandle(t);
    }
    return marks == 1;
}

// One started copy of the program; killed if a test leaves it running.
class Program : public testutil::Child {
public:
    explicit Program(const std::string& exe) : testutil::Child(exe, {}) {}

    // The next top-level window of this process with the caption that is (or is not) a message box.
    HWND WaitFor(const char* caption, bool messageBox, DWORD ms = kWait) const {
        DWORD start = GetTickCount();
        do {
            uidriver::WindowQuery q;
            q.caption = W(caption);
            q.pid = pid();
            HWND h = uidriver::FindTopWindow(q);
            if (h && uidriver::IsMessageBox(h) == messageBox) return h;
            Sleep(20);
        } while (GetTickCount() - start < ms);
        return NULL;
    }
};

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        char exe[MAX_PATH] = {0};
        ASSERT_NE(0u, GetEnvironmentVariableA("AGENT_EXE", exe, MAX_PATH)) << "AGENT_EXE not set";
        exe_ = dir_ / "AgentUninstaller_Win.exe";
        ASSERT_TRUE(CopyFileA(exe, exe_.c_str(), FALSE)) << GetLastError();
        agent_.installDir = dir_ / "Corvane";
        seed::Unseed(agent_.installDir);
    }
    void TearDown() override { seed::Unseed(agent_.installDir); }

    void Install(const std::string& version, const char* contractNo = nullptr) {
        agent_.version = version;
        agent_.withIni = contractNo != nullptr;
        agent_.contractNo = contractNo ? contractNo : "";
        ASSERT_EQ(0u, seed::Seed(agent_));
    }

    std::string ReadLog() const { return testutil::ReadBytes(dir_ / "Log\\AgentUninstaller_Win.exe.log"); }

    // A message box of the program: text, caption, an icon and OK alone.
    static void ExpectOkBox(HWND box, const char* text, const char* caption, bool topmost) {
        ASSERT_TRUE(box != NULL);
        uidriver::MessageBoxInfo info = uidriver::ReadMessageBox(box);
        EXPECT_EQ(text, info.text);
        EXPECT_EQ(caption, info.caption);
        EXPECT_TRUE(info.hasIcon);
        EXPECT_EQ(std::vector<int>{IDOK}, info.buttons);
        if (topmost && !PlatformMarksTopmostBoxes())
            std::printf("note: this platform does not mark MB_TOPMOST boxes; topmost not checked\n");
        else
            EXPECT_EQ(topmost, (info.exStyle & WS_EX_TOPMOST) != 0);
    }

    testutil::TempDir dir_{"e2e"};
    std::string exe_;
    seed::AgentInstall agent_;
};

TEST_F(EndToEnd, NotInstalledShowsTheRefusalAndEnds) {
    Install("");  // the key and InstallPath exist, but no Version
    Program p(exe_);
    ASSERT_TRUE(p.started());
    HWND box = p.WaitFor(kTitle, true);
    ExpectOkBox(box, kNotInstalled, kTitle, true);
    ASSERT_TRUE(uidriver::PressKey(box, uidriver::Key::Enter));
    EXPECT_TRUE(p.Ended(kWait));

    // The run in the log beside the program: start banner, the refusal, end banner and an empty line.
    std::string log = ReadLog();
    EXPECT_NE(std::string::npos, log.find("\t==\t"));
    EXPECT_NE(std::string::npos, log.find("==========<開始>==========\r\n"));
    EXPECT_NE(std::string::npos,
              log.find("\t!!\tPellionAgentUninstaller.cpp\t", 0)) << log;
    EXPECT_NE(std::string::npos, log.find(std::string(kNotInstalled) + "\r\n"));
    const std::string end = "----------<終了>----------\r\n\r\n";
    ASSERT_GE(log.size(), end.size());
    EXPECT_EQ(end, log.substr(log.size() - end.size()));
}

TEST_F(EndToEnd, NewerInstalledVersionIsRefused) {
    Install("2.0.8.1");  // own ProductVersion "2.000.08" reads as 2.0.8.0
    Program p(exe_);
    HWND box = p.WaitFor(kTitle, true);
    ExpectOkBox(box, kNewer, kTitle, true);
    ASSERT_TRUE(uidriver::Click(box, IDOK));
    EXPECT_TRUE(p.Ended(kWait));
}

TEST_F(EndToEnd, EqualVersionOpensTheContractDialogAndCloseEndsQuietly) {
    Install("2.000.08", "AB12CD34");
    Program p(exe_);
    HWND dlg = p.WaitFor(kTitle, false);
    ASSERT_TRUE(dlg != NULL);
    uidriver::WindowInfo w = uidriver::DescribeWindow(dlg);
    EXPECT_EQ("#32770", w.className);
    // Popup, visible, caption, system menu, modal frame; not resizable.
    EXPECT_EQ(0x90C800C0u, w.style & 0x90C800C0u);
    EXPECT_EQ(0u, w.style & (WS_CHILD | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
    EXPECT_TRUE(w.exStyle & WS_EX_APPWINDOW);
    std::string texts;
    for (const auto& c : w.children) texts += c.text + "|";
    EXPECT_NE(std::string::npos,
              texts.find("エージェント端末をアンインストールします。\r\n契約書ＮＯを入力して[アンインストール]ボタンを押してください。|"));
    EXPECT_NE(std::string::npos, texts.find("契約書ＮＯ：|"));
    EXPECT_NE(std::string::npos, texts.find("※半角英大文字、半角数字で入力してください。|"));
    EXPECT_NE(std::string::npos, texts.find("アンインストール|閉じる|"));

    ASSERT_TRUE(uidriver::Click(dlg, IDCANCEL));
    EXPECT_TRUE(p.Ended(kWait));
    EXPECT_TRUE(uidriver::ListTopWindows(p.pid()).empty());
}

TEST_F(EndToEnd, OlderVersionPassesAndEscCloses) {
    Install("1.10");
    Program p(exe_);
    HWND dlg = p.WaitFor(kTitle, false);
    ASSERT_TRUE(dlg != NULL);
    ASSERT_TRUE(uidriver::PressKey(dlg, uidriver::Key::Escape));
    EXPECT_TRUE(p.Ended(kWait));
}

TEST_F(EndToEnd, SecondInstanceIsRefusedWhileTheFirstShowsItsDialog) {
    Install("2.000.08", "AB12CD34");
    Program first(exe_);
    HWND dlg = first.WaitFor(kTitle, false);
    ASSERT_TRUE(dlg != NULL);

    Program second(exe_);
    HWND box = second.WaitFor("失敗", true);
    ExpectOkBox(box, "既に起動しています", "失敗", false);
    ASSERT_TRUE(uidriver::PressKey(box, uidriver::Key::Enter));
    EXPECT_TRUE(second.Ended(kWait));
    EXPECT_NE(std::string::npos, ReadLog().find("\t!!\tPellionAgentUninstaller.cpp\t"));
    EXPECT_NE(std::string::npos, ReadLog().find("既に起動しています\r\n"));

    EXPECT_TRUE(IsWindow(dlg)) << "the first instance must not be disturbed";
    ASSERT_TRUE(uidriver::Click(dlg, IDCANCEL));
    EXPECT_TRUE(first.Ended(kWait));
}

TEST_F(EndToEnd, ContractNumberIsCheckedBeforeTheUninstall) {
    Install("2.000.08", "AB12CD34EF56GH7890XY");  // only its first 14 characters count
    Program p(exe_);
    HWND dlg = p.WaitFor(kTitle, false);
    ASSERT_TRUE(dlg != NULL);

    // Empty: the box that asks for the number, owned by the dialog.
    ASSERT_TRUE(uidriver::Click(dlg, IDOK));
    HWND warn = p.WaitFor("警告", true);
    ASSERT_TRUE(warn != NULL);
    EXPECT_EQ("契約書ＮＯを入力してください。", uidriver::ReadMessageBox(warn).text);
    EXPECT_EQ(dlg, GetWindow(warn, GW_OWNER));
    ASSERT_TRUE(uidriver::PressKey(warn, uidriver::Key::Enter));
    ASSERT_TRUE(uidriver::WaitForWindowGone(warn, kWait));

    // Wrong: the dialog stays open and keeps the text.
    ASSERT_TRUE(uidriver::SetText(dlg, 1000, L"AB12CD35"));
    ASSERT_TRUE(uidriver::Click(dlg, IDOK));
    warn = p.WaitFor("警告", true);
    ASSERT_TRUE(warn != NULL);
    EXPECT_EQ("契約書ＮＯが違います。", uidriver::ReadMessageBox(warn).text);
    ASSERT_TRUE(uidriver::PressKey(warn, uidriver::Key::Enter));
    ASSERT_TRUE(uidriver::WaitForWindowGone(warn, kWait));
    EXPECT_EQ("AB12CD35", uidriver::GetText(GetDlgItem(dlg, 1000)));

    // Right, typed in lower case to the edit's full 14 characters, with Enter:
    // accepted, the uninstall runs and reports.
    ASSERT_TRUE(uidriver::SetText(dlg, 1000, L""));
    ASSERT_TRUE(uidriver::TypeText(dlg, 1000, L"ab12cd34ef56gh"));
    ASSERT_TRUE(uidriver::PressKey(dlg, uidriver::Key::Enter));
    HWND done = p.WaitFor(kTitle, true);
    ExpectOkBox(done, kDone, kTitle, true);
    ASSERT_TRUE(uidriver::PressKey(done, uidriver::Key::Enter));
    EXPECT_TRUE(p.Ended(kWait));
}

TEST_F(EndToEnd, WithoutSettingsFileTheNumberIsNotAsked) {
    Install("2.000.08");
    Program p(exe_);
    HWND dlg = p.WaitFor(kTitle, false);
    ASSERT_TRUE(dlg != NULL);
    ASSERT_TRUE(uidriver::Click(dlg, IDOK));
    HWND done = p.WaitFor(kTitle, true);
    ExpectOkBox(done, kDone, kTitle, true);
    ASSERT_TRUE(uidriver::Click(done, IDOK));
    EXPECT_TRUE(p.Ended(kWait));
}

}  // namespace
