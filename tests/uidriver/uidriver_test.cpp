// The window driver against windows this test makes itself on another
// thread: standard message boxes and a small modal dialog, each run by the
// system's own modal loop as an operator would meet it.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "UiDriver.h"

using namespace uidriver;

namespace {

const DWORD kWaitMs = 10000;

// Runs a modal UI call on its own thread; the destructor joins it.
class ModalThread {
public:
    explicit ModalThread(std::function<INT_PTR()> body)
        : m_thread([this, body] { m_result = body(); }) {}
    ~ModalThread() {
        if (m_thread.joinable()) m_thread.join();
    }
    INT_PTR Join() {
        m_thread.join();
        return m_result;
    }

private:
    INT_PTR m_result = -100;
    std::thread m_thread;
};

HWND WaitOwn(const std::string& cp932Caption) {
    return WaitForWindow(FromCp932(cp932Caption), kWaitMs, GetCurrentProcessId());
}

// An in-memory dialog template (DLGTEMPLATE, word-aligned items).
class DialogTemplate {
public:
    DialogTemplate(const std::wstring& caption, DWORD style, short cx, short cy) {
        Dword(style | DS_SETFONT);
        Dword(0);
        m_countAt = m_words.size();
        m_words.push_back(0);
        Short(0), Short(0), Short(cx), Short(cy);
        m_words.push_back(0);  // no menu
        m_words.push_back(0);  // predefined dialog class
        String(caption);
        m_words.push_back(9);
        String(L"MS UI Gothic");
    }
    void Item(WORD classOrdinal, int id, const std::wstring& text, DWORD style, short x, short y, short cx, short cy) {
        if (m_words.size() % 2) m_words.push_back(0);
        Dword(style | WS_CHILD | WS_VISIBLE);
        Dword(0);
        Short(x), Short(y), Short(cx), Short(cy);
        m_words.push_back(static_cast<WORD>(id));
        m_words.push_back(0xFFFF);
        m_words.push_back(classOrdinal);
        String(text);
        m_words.push_back(0);
        ++m_words[m_countAt];
    }
    const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(m_words.data()); }

private:
    void Dword(DWORD v) {
        m_words.push_back(LOWORD(v));
        m_words.push_back(HIWORD(v));
    }
    void Short(short v) { m_words.push_back(static_cast<WORD>(v)); }
    void String(const std::wstring& s) {
        m_words.insert(m_words.end(), s.begin(), s.end());
        m_words.push_back(0);
    }
    std::vector<WORD> m_words;
    size_t m_countAt = 0;
};

INT_PTR CALLBACK EndOnCommand(HWND dlg, UINT msg, WPARAM wp, LPARAM) {
    if (msg == WM_INITDIALOG) return TRUE;
    if (msg == WM_COMMAND && (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL)) {
        EndDialog(dlg, LOWORD(wp));
        return TRUE;
    }
    return FALSE;
}

const int kEditId = 1000;
const int kLabelId = 100;
const int kDisabledId = 1002;
const char kLabel[] = "ラベル：ソ表能";

// A modal dialog with a label, a digits-only edit (focused first), a default
// OK button, Cancel and a disabled button; returns the EndDialog value.
INT_PTR RunTestDialog(const std::string& cp932Caption) {
    DialogTemplate t(FromCp932(cp932Caption), WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, 200, 80);
    t.Item(0x0082, kLabelId, FromCp932(kLabel), SS_LEFT, 5, 5, 150, 10);
    t.Item(0x0081, kEditId, L"", WS_BORDER | WS_TABSTOP | ES_NUMBER | ES_AUTOHSCROLL, 5, 20, 150, 14);
    t.Item(0x0080, IDOK, L"OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 5, 50, 50, 14);
    t.Item(0x0080, IDCANCEL, L"Cancel", BS_PUSHBUTTON | WS_TABSTOP, 60, 50, 50, 14);
    t.Item(0x0080, kDisabledId, L"Off", BS_PUSHBUTTON | WS_DISABLED, 115, 50, 50, 14);
    return DialogBoxIndirectParamW(GetModuleHandleW(nullptr), t.Get(), nullptr, EndOnCommand, 0);
}

}  // namespace

// Wine 8 makes only system-modal boxes topmost (MB_TOPMOST alone leaves
// WS_EX_TOPMOST clear), so the topmost box here is a system-modal one.
TEST(MessageBoxReading, TextCaptionIconAndOkOnly) {
    const std::string caption = "ドライバ試験 失敗";
    const std::string text = "一行目 ソ表能\r\n二行目";
    ModalThread box([&] {
        return static_cast<INT_PTR>(
            MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK | MB_ICONEXCLAMATION | MB_SYSTEMMODAL));
    });
    HWND h = WaitOwn(caption);
    ASSERT_NE(h, nullptr);
    ASSERT_TRUE(IsMessageBox(h));
    MessageBoxInfo m = ReadMessageBox(h);
    EXPECT_EQ(m.caption, caption);
    EXPECT_EQ(m.text, text);
    EXPECT_TRUE(m.hasIcon);
    EXPECT_EQ(m.buttons, std::vector<int>{IDOK});
    EXPECT_NE(m.exStyle & WS_EX_TOPMOST, 0u);
    EXPECT_EQ(FormatMessageBoxLine(m).rfind("msgbox caption=\"" + caption + "\" text=\"一行目 ソ表能\\r\\n二行目\" icon=yes buttons=1 ", 0), 0u)
        << FormatMessageBoxLine(m);

    ASSERT_TRUE(Click(h, IDOK));
    EXPECT_EQ(box.Join(), IDOK);
    EXPECT_TRUE(WaitForWindowGone(h, kWaitMs));
}

TEST(MessageBoxReading, BoxWithoutIconAndNotTopmost) {
    const std::string caption = "ドライバ試験 アイコンなし";
    ModalThread box([&] { return static_cast<INT_PTR>(MessageBoxA(nullptr, "x", caption.c_str(), MB_OK)); });
    HWND h = WaitOwn(caption);
    ASSERT_NE(h, nullptr);
    MessageBoxInfo m = ReadMessageBox(h);
    EXPECT_FALSE(m.hasIcon);
    EXPECT_EQ(m.exStyle & WS_EX_TOPMOST, 0u);
    ASSERT_TRUE(PressKey(h, Key::Enter));
    EXPECT_EQ(box.Join(), IDOK);
}

TEST(MessageBoxKeys, EnterPicksTheDefaultButton) {
    const std::string caption = "ドライバ試験 確認";
    ModalThread box([&] {
        return static_cast<INT_PTR>(
            MessageBoxA(nullptr, "再起動?", caption.c_str(), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2));
    });
    HWND h = WaitOwn(caption);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(ReadMessageBox(h).buttons, (std::vector<int>{IDYES, IDNO}));
    ASSERT_TRUE(PressKey(h, Key::Enter));
    EXPECT_EQ(box.Join(), IDNO);
}

TEST(MessageBoxKeys, EscapeCancels) {
    const std::string caption = "ドライバ試験 取消";
    ModalThread box([&] {
        return static_cast<INT_PTR>(MessageBoxA(nullptr, "?", caption.c_str(), MB_OKCANCEL));
    });
    HWND h = WaitOwn(caption);
    ASSERT_NE(h, nullptr);
    ASSERT_TRUE(PressKey(h, Key::Escape));
    EXPECT_EQ(box.Join(), IDCANCEL);
}

TEST(MessageBoxKeys, ClickYesOnAYesNoBox) {
    const std::string caption = "ドライバ試験 はい";
    ModalThread box([&] {
        return static_cast<INT_PTR>(MessageBoxA(nullptr, "?", caption.c_str(), MB_YESNO | MB_DEFBUTTON2));
    });
    HWND h = WaitOwn(caption);
    ASSERT_NE(h, nullptr);
    ASSERT_TRUE(Click(h, IDYES));
    EXPECT_EQ(box.Join(), IDYES);
}

TEST(DialogDriving, ListsEveryChildWithClassIdStyleAndText) {
    const std::string caption = "ドライバ試験 ダイアログ一覧";
    ModalThread dlg([&] { return RunTestDialog(caption); });
    HWND h = WaitOwn(caption);
    ASSERT_NE(h, nullptr);
    WindowInfo w = DescribeWindow(h);
    EXPECT_EQ(w.caption, caption);
    EXPECT_EQ(w.className, "#32770");
    EXPECT_EQ(w.pid, GetCurrentProcessId());
    EXPECT_EQ(w.style & (WS_CAPTION | WS_SYSMENU), static_cast<DWORD>(WS_CAPTION | WS_SYSMENU));
    EXPECT_FALSE(IsMessageBox(h));
    ASSERT_EQ(w.children.size(), 5u);
    EXPECT_EQ(w.children[0].id, kLabelId);
    EXPECT_EQ(w.children[0].className, "Static");
    EXPECT_EQ(w.children[0].text, kLabel);
    char styles[64];
    snprintf(styles, sizeof(styles), "style=0x%08lX exstyle=0x%08lX", w.children[0].style, w.children[0].exStyle);
    EXPECT_EQ(FormatControlLine(w.children[0]),
              std::string("child id=100 class=\"Static\" ") + styles + " text=\"ラベル：ソ表能\"");
    EXPECT_EQ(w.children[1].id, kEditId);
    EXPECT_EQ(w.children[1].className, "Edit");
    EXPECT_NE(w.children[1].style & ES_NUMBER, 0u);
    EXPECT_EQ(w.children[2].id, IDOK);
    EXPECT_EQ(w.children[2].style & BS_TYPEMASK, static_cast<DWORD>(BS_DEFPUSHBUTTON));
    EXPECT_EQ(w.children[4].id, kDisabledId);
    EXPECT_NE(w.children[4].style & WS_DISABLED, 0u);
    ASSERT_TRUE(PressKey(h, Key::Escape));
    EXPECT_EQ(dlg.Join(), IDCANCEL);
}

TEST(DialogDriving, SetTextBypassesTheFilterTypingGoesThroughIt) {
    const std::string caption = "ドライバ試験 入力";
    ModalThread dlg([&] { return RunTestDialog(caption); });
    HWND h = WaitOwn(caption);
    ASSERT_NE(h, nullptr);
    ASSERT_TRUE(SetText(h, kEditId, L"ab"));
    EXPECT_EQ(GetText(GetDlgItem(h, kEditId)), "ab");
    // The edit takes digits only from the keyboard: the letter is refused.
    SendMessageW(GetDlgItem(h, kEditId), EM_SETSEL, 2, 2);
    ASSERT_TRUE(TypeText(h, kEditId, L"1x2"));
    EXPECT_EQ(GetText(GetDlgItem(h, kEditId)), "ab12");
    EXPECT_FALSE(SetText(h, 4242, L"none"));
    EXPECT_FALSE(TypeText(h, 4242, L"none"));
    ASSERT_TRUE(Click(h, IDCANCEL));
    EXPECT_EQ(dlg.Join(), IDCANCEL);
}

TEST(DialogDriving, EnterInTheEditPressesTheDefaultButton) {
    const std::string caption = "ドライバ試験 既定";
    ModalThread dlg([&] { return RunTestDialog(caption); });
    HWND h = WaitOwn(caption);
    ASSERT_NE(h, nullptr);
    // A disabled or missing button cannot be pressed.
    EXPECT_FALSE(Click(h, kDisabledId));
    EXPECT_FALSE(Click(h, 4242));
    ASSERT_TRUE(PressKey(h, Key::Enter));
    EXPECT_EQ(dlg.Join(), IDOK);
}

TEST(Lookup, WaitTimesOutAndFiltersByProcess) {
    DWORD start = GetTickCount();
    EXPECT_EQ(WaitForWindow(L"ドライバ試験 存在しない", 200), nullptr);
    EXPECT_GE(GetTickCount() - start, 200u);

    const std::string caption = "ドライバ試験 プロセス";
    ModalThread box([&] { return static_cast<INT_PTR>(MessageBoxA(nullptr, "x", caption.c_str(), MB_OK)); });
    HWND h = WaitOwn(caption);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(FindTopWindow({FromCp932(caption), GetCurrentProcessId() + 4, L"", true}), nullptr);
    EXPECT_EQ(FindTopWindow({FromCp932(caption), 0, L"#32770", true}), h);
    EXPECT_EQ(FindTopWindow({FromCp932(caption), 0, L"Edit", true}), nullptr);
    bool listed = false;
    for (HWND t : ListTopWindows(GetCurrentProcessId())) listed |= (t == h);
    EXPECT_TRUE(listed);
    ASSERT_TRUE(Click(h, IDOK));
    EXPECT_EQ(box.Join(), IDOK);
}

// ---- the uidriver.exe command, started as a separate process ----

struct DriverRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string out;
};

// Runs uidriver.exe (built beside this test) with a UTF-16 command line and
// collects its standard output.
DriverRun RunDriver(const std::wstring& args) {
    wchar_t self[MAX_PATH] = {0};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring exe(self);
    exe = exe.substr(0, exe.find_last_of(L'\\') + 1) + L"uidriver.exe";
    std::wstring cmd = L"\"" + exe + L"\" " + args;

    DriverRun run;
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) return run;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si;
    ZeroMemory(&si, sizeof(si));
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi;
    BOOL started = CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    CloseHandle(writeEnd);
    if (started) {
        char buf[4096];
        DWORD got = 0;
        while (ReadFile(readEnd, buf, sizeof(buf), &got, nullptr) && got) run.out.append(buf, got);
        WaitForSingleObject(pi.hProcess, kWaitMs);
        GetExitCodeProcess(pi.hProcess, &run.exitCode);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    CloseHandle(readEnd);
    return run;
}

std::wstring Pid() { return std::to_wstring(GetCurrentProcessId()); }

TEST(Command, DumpsAndPressesAMessageBoxFoundByJapaneseCaption) {
    const std::string caption = "ドライバ試験 コマンド ソ表能";
    ModalThread box([&] {
        return static_cast<INT_PTR>(MessageBoxA(nullptr, "本文\\です", caption.c_str(), MB_OKCANCEL | MB_ICONHAND));
    });
    ASSERT_NE(WaitOwn(caption), nullptr);
    const std::wstring quoted = L" \"" + FromCp932(caption) + L"\"";

    DriverRun dump = RunDriver(L"--pid " + Pid() + L" dump" + quoted);
    EXPECT_EQ(dump.exitCode, 0u);
    EXPECT_EQ(dump.out.rfind("window caption=\"" + caption + "\" class=\"#32770\" pid=", 0), 0u) << dump.out;
    EXPECT_NE(dump.out.find("\nmsgbox caption=\"" + caption + "\" text=\"本文\\\\です\" icon=yes buttons=1,2 "),
              std::string::npos)
        << dump.out;

    DriverRun utf8 = RunDriver(L"--utf8 --pid " + Pid() + L" msgbox" + quoted);
    EXPECT_EQ(utf8.exitCode, 0u);
    EXPECT_NE(utf8.out.find(ToUtf8(FromCp932(caption))), std::string::npos);

    EXPECT_EQ(RunDriver(L"--pid " + Pid() + L" click" + quoted + L" 2").exitCode, 0u);
    EXPECT_EQ(box.Join(), IDCANCEL);
    EXPECT_EQ(RunDriver(L"--pid " + Pid() + L" waitgone" + quoted + L" 5000").exitCode, 0u);
}

TEST(Command, TypesAndReadsBackInADialog) {
    const std::string caption = "ドライバ試験 コマンド入力";
    ModalThread dlg([&] { return RunTestDialog(caption); });
    HWND h = WaitOwn(caption);
    ASSERT_NE(h, nullptr);
    const std::wstring quoted = L" \"" + FromCp932(caption) + L"\"";
    HWND edit = GetDlgItem(h, kEditId);
    EXPECT_EQ(RunDriver(L"type" + quoted + L" 1000 8z9").exitCode, 0u);
    EXPECT_EQ(GetText(edit), "89");
    EXPECT_EQ(RunDriver(L"settext" + quoted + L" 1000 x7").exitCode, 0u);
    DriverRun dump = RunDriver(L"dump" + quoted);
    EXPECT_NE(dump.out.find("\nchild id=1000 class=\"Edit\" "), std::string::npos) << dump.out;
    EXPECT_NE(dump.out.find(" text=\"x7\"\n"), std::string::npos) << dump.out;
    EXPECT_EQ(RunDriver(L"click" + quoted + L" 1002").exitCode, 3u) << "disabled button";
    EXPECT_EQ(RunDriver(L"key" + quoted + L" enter").exitCode, 0u);
    EXPECT_EQ(dlg.Join(), IDOK);
}

TEST(Command, ReportsTimeoutsAndUsage) {
    EXPECT_EQ(RunDriver(L"wait \"ドライバ試験 ない\" 100").exitCode, 1u);
    EXPECT_EQ(RunDriver(L"frobnicate \"x\"").exitCode, 2u);
}

TEST(Report, EscapingKeepsShiftJisTrailBytes) {
    // ソ 表 能 end in 0x5C; only real backslashes, quotes and controls are escaped.
    EXPECT_EQ(Escape("ソ表能"), "ソ表能");
    EXPECT_EQ(Escape("a\\b\"c\r\n\t\x01"), "a\\\\b\\\"c\\r\\n\\t\\x01");
    EXPECT_EQ(ToCp932(FromCp932("ソ表能")), "ソ表能");
    EXPECT_EQ(FromUtf8(ToUtf8(L"\x30bd")), L"\x30bd");
}
