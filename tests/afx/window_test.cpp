// The layer on real windows. Handlers, the application and the exception hook write what they see to one log.
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include "afximpl.h"
#include "afxwin.h"

namespace {

std::string g_log;
const int kDialogId = 200, kEditId = 1000;  // afx_test.rc

void Hear(const char* where, const char* what) { g_log += std::string(where) + "|" + what + " "; }

// The window's own procedure: what the object passes on ends here.
LRESULT CALLBACK OwnProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    return m == WM_APP + 9 ? 0xBEEF : m == WM_DRAWITEM ? 0xD0 : DefWindowProcA(h, m, w, l);
}

HWND NewWindow(const char* cls = "AfxTestOwn", HWND parent = nullptr, DWORD style = 0) {
    static WNDCLASSA wc = {0, OwnProc};
    [[maybe_unused]] static ATOM atom =
        (wc.hInstance = GetModuleHandleA(nullptr), wc.lpszClassName = "AfxTestOwn", RegisterClassA(&wc));
    return CreateWindowExA(0, cls, "", style | (parent ? WS_CHILD : WS_OVERLAPPED), 0, 0, 100, 50, parent,
                           reinterpret_cast<HMENU>(parent ? 300 : 0), wc.hInstance, nullptr);
}

WNDPROC g_behind = nullptr;
LRESULT CALLBACK FrontProc(HWND h, UINT m, WPARAM w, LPARAM l) { return CallWindowProcA(g_behind, h, m, w, l); }

class CBase : public CWnd {
public:
    BOOL OnCmdMsg(UINT id, int code) override {
        g_log += "cmd" + std::to_string(id) + "." + std::to_string(code) + " ";
        return CWnd::OnCmdMsg(id, code);
    }
protected:
    LRESULT OnApp1(WPARAM, LPARAM) { return g_log += "base1 ", 1; }
    LRESULT OnApp3(WPARAM w, LPARAM l) { return g_log += "base3 ", static_cast<LRESULT>(w + l); }
    void OnTimer(UINT_PTR id) { g_log += "timer" + std::to_string(id) + " "; }
    void OnFive() { g_log += "five "; }
    DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CBase, CWnd)
    ON_MESSAGE(WM_APP + 1, &CBase::OnApp1)
    ON_MESSAGE(WM_APP + 3, &CBase::OnApp3)
    ON_WM_TIMER()
    ON_BN_CLICKED(5, &CBase::OnFive)
END_MESSAGE_MAP()

class CDerived : public CBase {
protected:
    LRESULT OnApp1(WPARAM, LPARAM) { return g_log += "derived1 ", 99; }
    LRESULT OnApp9(WPARAM, LPARAM) { return Default() + 1; }  // the own procedure's answer, plus one
    LRESULT OnApp4(WPARAM, LPARAM) { throw std::runtime_error("ハンドラが壊れた"); }
    LRESULT OnApp5(WPARAM, LPARAM) { throw 5; }
    // A temporary wrapper of a window that is gone lives until the outermost message ends.
    LRESULT OnApp6(WPARAM nested, LPARAM) {
        HWND child = NewWindow("STATIC", m_hWnd);
        EXPECT_NE(nullptr, CWnd::FromHandle(child));
        DestroyWindow(child);
        if (nested) SendMessage(WM_APP + 6, nested - 1);
        return static_cast<LRESULT>(AfxTemporaryCount());
    }
    DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CDerived, CBase)
    ON_MESSAGE(WM_APP + 1, &CDerived::OnApp1)
    ON_MESSAGE(WM_APP + 9, &CDerived::OnApp9)
    ON_MESSAGE(WM_APP + 4, &CDerived::OnApp4)
    ON_MESSAGE(WM_APP + 5, &CDerived::OnApp5)
    ON_MESSAGE(WM_APP + 6, &CDerived::OnApp6)
END_MESSAGE_MAP()

class CNoteEdit : public CEdit {
    void OnUpdate() { g_log += "edit:update "; }
    BOOL OnFocus() { return g_log += "edit:focus ", FALSE; }  // FALSE passes it on
    BOOL OnBlur() { return g_log += "edit:blur ", TRUE; }
    DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CNoteEdit, CEdit)
    ON_CONTROL_REFLECT(EN_UPDATE, &CNoteEdit::OnUpdate)
    ON_CONTROL_REFLECT_EX(EN_SETFOCUS, &CNoteEdit::OnFocus)
    ON_CONTROL_REFLECT_EX(EN_KILLFOCUS, &CNoteEdit::OnBlur)
END_MESSAGE_MAP()

class CFaceButton : public CButton {
    void DrawItem(LPDRAWITEMSTRUCT item) override { g_log += "draw" + std::to_string(item->CtlID) + " "; }
};

TEST(MessageMapTest, RoutesToTheControlElseTheMostDerivedEntryElseTheBaseElseTheOwnProcedure) {
    HWND h = NewWindow();
    CDerived target;
    CNoteEdit edit;
    CFaceButton button;
    ASSERT_TRUE(target.SubclassWindow(h));
    EXPECT_FALSE(CDerived().SubclassWindow(h));  // one object per window
    ASSERT_TRUE(edit.SubclassWindow(NewWindow("EDIT", h)));
    ASSERT_TRUE(button.SubclassWindow(NewWindow("BUTTON", h, BS_OWNERDRAW)));
    DRAWITEMSTRUCT item = {ODT_BUTTON, 300, 0, ODA_DRAWENTIRE, 0, button.m_hWnd};
    const LPARAM kEdit = reinterpret_cast<LPARAM>(edit.m_hWnd), kItem = reinterpret_cast<LPARAM>(&item);
    const struct { UINT message; WPARAM w; LPARAM l; LRESULT result; const char* log; } cases[] = {
        {WM_APP + 1, 0, 0, 99, "derived1 "}, {WM_APP + 3, 2, 3, 5, "base3 "}, {WM_APP + 9, 0, 0, 0xBEEF + 1, ""},
        {WM_TIMER, 77, 0, 0, "timer77 "}, {WM_COMMAND, MAKEWPARAM(5, BN_CLICKED), 0, 0, "cmd5.0 five "},
        {WM_COMMAND, MAKEWPARAM(5, 1), 0, 0, "cmd5.1 "},  // another code is not the entry's
        // A control's notifications and drawing requests go to the control first.
        {WM_COMMAND, MAKEWPARAM(300, EN_UPDATE), kEdit, 0, "edit:update "},
        {WM_COMMAND, MAKEWPARAM(300, EN_CHANGE), kEdit, 0, "cmd300.768 "},
        {WM_COMMAND, MAKEWPARAM(300, EN_SETFOCUS), kEdit, 0, "edit:focus cmd300.256 "},
        {WM_COMMAND, MAKEWPARAM(300, EN_KILLFOCUS), kEdit, 0, "edit:blur "},
        {WM_DRAWITEM, 300, kItem, TRUE, "draw300 "},
        // An exception stops at the window procedure, reaches the hook, and counts as not handled.
        {WM_APP + 4, 0, 0, 0, "AfxWndProc 0x8004|ハンドラが壊れた "},
        {WM_APP + 5, 0, 0, 0, "AfxWndProc 0x8005|unknown exception "},
    };
    AfxSetExceptionHook(Hear);
    for (const auto& c : cases) {
        g_log.clear();
        EXPECT_EQ(c.result, SendMessageA(h, c.message, c.w, c.l)) << c.log;
        EXPECT_EQ(c.log, g_log);
    }
    AfxSetExceptionHook(nullptr);
    EXPECT_EQ(0, SendMessageA(h, WM_APP + 4, 0, 0));  // no hook: still stopped
    button.UnsubclassWindow();                        // without an object the parent's own procedure draws
    EXPECT_EQ(0xD0, SendMessageA(h, WM_DRAWITEM, 300, kItem));
    AfxSweepTemporaries();
    const LRESULT baseline = static_cast<LRESULT>(AfxTemporaryCount());
    EXPECT_EQ(baseline + 3, target.SendMessage(WM_APP + 6, 2));  // the two nested messages swept nothing
    EXPECT_EQ(baseline, static_cast<LRESULT>(AfxTemporaryCount()));
    // Someone subclasses on top of the object, which then cannot put the old procedure back.
    g_behind = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FrontProc)));
    EXPECT_EQ(h, target.UnsubclassWindow());
    EXPECT_EQ(0xBEEF, SendMessageA(h, WM_APP + 9, 0, 0));  // the chain still ends at the own procedure
    EXPECT_FALSE(target.SubclassWindow(h));                // not while that one sits in front
    SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_behind));
    ASSERT_TRUE(target.SubclassWindow(h));
    EXPECT_EQ(0xBEEF + 1, SendMessageA(h, WM_APP + 9, 0, 0));
    target.UnsubclassWindow();
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(OwnProc), GetWindowLongPtrA(h, GWLP_WNDPROC));
    DestroyWindow(h);
}

TEST(ObjectTest, OwnersOfDrawingObjects) {
    HBITMAP h = CreateBitmap(8, 4, 1, 32, nullptr);
    {
        CBitmap bitmap;
        CDC dc;
        ASSERT_TRUE(bitmap.Attach(h) && dc.CreateCompatibleDC(nullptr));
        CBitmap* initial = dc.SelectObject(&bitmap);
        EXPECT_EQ(&bitmap, dc.SelectObject(initial));  // the owner comes back, not a wrapper
    }
    EXPECT_EQ(0u, static_cast<DWORD>(GetObjectType(h)));  // deleted with its owner
}

class CTestDialog : public CDialog {
public:
    CTestDialog(LPCSTR name, int bindId, void (*init)(CTestDialog&)) : CDialog(name), bindId(bindId), onInit(init) {}
    const int bindId;
    void (*const onInit)(CTestDialog&);
    CEdit m_edit;
protected:
    void DoDataExchange(CDataExchange* dx) override {
        if (dx->m_bSaveAndValidate) g_log += "save ";
        if (bindId) DDX_Control(dx, bindId, m_edit);
    }
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        if (GetDlgItem(kEditId) == &m_edit) g_log += "bound ";
        SetTimer(1, 50, nullptr);  // ends (-2), after all that was posted, a dialog that nothing else ended
        if (onInit) onInit(*this);
        return TRUE;
    }
    void OnTimer(UINT_PTR) { EndDialog(-2); }
    void OnOK() override { g_log += "ok ", CDialog::OnOK(); }
    void OnCancel() override { g_log += "cancel ", CDialog::OnCancel(); }
    DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CTestDialog, CDialog)
    ON_WM_TIMER()
END_MESSAGE_MAP()

class CHelpApp : public CWinAppEx {
public:
    BOOL InitInstance() override { return g_log += "init ", CWinAppEx::InitInstance(); }
    int ExitInstance() override { return g_log += "exit ", 7; }
protected:
    void OnHelpCommand() { g_log += "help "; }
    void OnLowId() { g_log += "low "; }
    DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CHelpApp, CWinAppEx)
    ON_COMMAND(ID_HELP, &CHelpApp::OnHelpCommand)
    ON_COMMAND(0x100, &CHelpApp::OnLowId)
END_MESSAGE_MAP()

void Key(CTestDialog& d, WPARAM key) { d.GetDlgItem(kEditId)->PostMessage(WM_KEYDOWN, key, 1); }

TEST(DialogTest, DoModalScenarios) {
    const LPCSTR kTest = MAKEINTRESOURCEA(kDialogId);
    // bindId: the edit bound to the member, else none (0) or a control that is missing
    const struct { LPCSTR name; int bindId; void (*init)(CTestDialog&); INT_PTR result; const char* log; } cases[] = {
        {kTest, kEditId, [](CTestDialog& d) { Key(d, VK_RETURN); }, IDOK, "bound ok save "},
        {kTest, kEditId, [](CTestDialog& d) { Key(d, VK_ESCAPE); }, IDCANCEL, "bound cancel "},
        {"#200", 0, nullptr, -2, ""}, {"NOSUCHDIALOG", 0, nullptr, -1, ""},  // the template by name
        {kTest, 4321, [](CTestDialog& d) { Key(d, VK_RETURN); }, -2, "ok save "},  // the exchange failed: open
        // Commands the dialog leaves go on to the application; a control's id is no command.
        {kTest, kEditId, [](CTestDialog& d) { d.PostMessage(WM_COMMAND, ID_HELP), d.PostMessage(WM_COMMAND, 0x100); },
         -2, "bound help "},
        // An exception stops at the dialog procedure, reaches the hook, and the dialog goes on.
        {kTest, kEditId, [](CTestDialog&) { throw std::runtime_error("初期化の例外"); }, -2,
         "bound CDialog::DialogProc 0x0110|初期化の例外 "},
    };
    CHelpApp app;
    AfxSweepTemporaries();
    const size_t baseline = AfxTemporaryCount();
    AfxSetExceptionHook(Hear);
    for (const auto& c : cases) {
        g_log.clear();
        CTestDialog dlg(c.name, c.bindId, c.init);
        EXPECT_EQ(c.result, dlg.DoModal()) << c.log;
        EXPECT_EQ(c.log, g_log);
        EXPECT_TRUE(dlg.m_hWnd == nullptr && dlg.m_edit.m_hWnd == nullptr);  // detached at the end
        EXPECT_EQ(baseline, AfxTemporaryCount());                            // the wrappers made on the way are gone
    }
    AfxSetExceptionHook(nullptr);
    g_log.clear();
    EXPECT_EQ(7, AfxWinMain(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOW));
    EXPECT_EQ("init exit ", g_log);
}

}  // namespace
