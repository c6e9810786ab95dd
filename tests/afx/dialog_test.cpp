// Modal dialogs on real windows: results, Enter and Esc, data exchange,
// message boxes, command routing to the application.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "AfxTestUtil.h"
#include "afx_test_res.h"
#include "afximpl.h"
#include "afxwin.h"

namespace {

// The edit of the dialog, bound by data exchange; it counts the characters it gets.
class CNotingEdit : public CEdit {
public:
    int chars = 0;

protected:
    void OnChar(UINT nChar, UINT nRepCnt, UINT nFlags) {
        ++chars;
        CEdit::OnChar(nChar, nRepCnt, nFlags);
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CNotingEdit, CEdit)
    ON_WM_CHAR()
END_MESSAGE_MAP()

class CTestDialog : public CDialog {
public:
    explicit CTestDialog(UINT id = IDD_AFX_TEST, CWnd* parent = nullptr) : CDialog(id, parent) {}
    explicit CTestDialog(LPCSTR name) : CDialog(name) {}

    std::function<void(CTestDialog&)> onInit;   // runs at the end of OnInitDialog
    std::function<void(CTestDialog&)> onApp6;   // runs on WM_APP + 6
    int inits = 0, oks = 0, cancels = 0, loads = 0, saves = 0;
    bool bindEdit = true;
    int bindId = IDC_TEST_EDIT;
    CNotingEdit m_edit;

    using CDialog::EndDialog;
    using CDialog::UpdateData;

protected:
    void DoDataExchange(CDataExchange* dx) override {
        ++(dx->m_bSaveAndValidate ? saves : loads);
        CDialog::DoDataExchange(dx);
        if (bindEdit) DDX_Control(dx, bindId, m_edit);
    }
    BOOL OnInitDialog() override {
        ++inits;
        CDialog::OnInitDialog();
        if (onInit) onInit(*this);
        return TRUE;
    }
    void OnOK() override {
        ++oks;
        CDialog::OnOK();
    }
    void OnCancel() override {
        ++cancels;
        CDialog::OnCancel();
    }
    LRESULT OnEndWith(WPARAM w, LPARAM) {
        EndDialog(static_cast<int>(w));
        return 0;
    }
    LRESULT OnApp6(WPARAM, LPARAM) {
        if (onApp6) onApp6(*this);
        return 0;
    }
    void OnTimer(UINT_PTR id) {
        if (id != 7) return CDialog::OnTimer(id);
        KillTimer(7);
        EndDialog(4242);
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CTestDialog, CDialog)
    ON_MESSAGE(WM_APP + 5, &CTestDialog::OnEndWith)
    ON_MESSAGE(WM_APP + 6, &CTestDialog::OnApp6)
    ON_WM_TIMER()
END_MESSAGE_MAP()

TEST(DialogTest, DoModalReturnsTheEndDialogValue) {
    CTestDialog dlg;
    dlg.onInit = [](CTestDialog& d) { d.PostMessage(WM_APP + 5, 42); };
    EXPECT_EQ(42, dlg.DoModal());
    EXPECT_EQ(1, dlg.inits);
    EXPECT_EQ(1, dlg.loads);  // the base OnInitDialog ran UpdateData(FALSE)
    EXPECT_EQ(0, dlg.saves);
    EXPECT_EQ(nullptr, dlg.m_hWnd);
    EXPECT_EQ(nullptr, dlg.m_edit.m_hWnd);

    // Again with a timer, and the same object run a second time.
    dlg.onInit = [](CTestDialog& d) { d.SetTimer(7, 20, nullptr); };
    EXPECT_EQ(4242, dlg.DoModal());
    EXPECT_EQ(2, dlg.inits);
}

TEST(DialogTest, TemplateByNameAndMissingTemplate) {
    CTestDialog named(AFX_TEST_NAMED);
    named.bindEdit = false;
    named.onInit = [](CTestDialog& d) {
        CString caption;
        d.GetWindowText(caption);
        EXPECT_STREQ("afx名前", caption);
        d.PostMessage(WM_APP + 5, 9);
    };
    EXPECT_EQ(9, named.DoModal());

    CTestDialog missing(IDD_AFX_MISSING);
    EXPECT_EQ(-1, missing.DoModal());
    EXPECT_EQ(0, missing.inits);
    CTestDialog missingName("NOSUCHDIALOG");
    EXPECT_EQ(-1, missingName.DoModal());
}

TEST(DialogTest, EnterRunsOnOKAndEscRunsOnCancel) {
    CTestDialog enter;
    enter.onInit = [](CTestDialog& d) {
        d.m_edit.PostMessage(WM_KEYDOWN, VK_RETURN, 0x001C0001);
    };
    EXPECT_EQ(IDOK, enter.DoModal());
    EXPECT_EQ(1, enter.oks);
    EXPECT_EQ(0, enter.cancels);
    EXPECT_EQ(1, enter.saves);  // OnOK exchanged the data first

    CTestDialog esc;
    esc.onInit = [](CTestDialog& d) { d.m_edit.PostMessage(WM_KEYDOWN, VK_ESCAPE, 0x00010001); };
    EXPECT_EQ(IDCANCEL, esc.DoModal());
    EXPECT_EQ(1, esc.cancels);
    EXPECT_EQ(0, esc.oks);
    EXPECT_EQ(0, esc.saves);

    CTestDialog closeBox;
    closeBox.onInit = [](CTestDialog& d) { d.PostMessage(WM_SYSCOMMAND, SC_CLOSE, 0); };
    EXPECT_EQ(IDCANCEL, closeBox.DoModal());
    EXPECT_EQ(1, closeBox.cancels);

    CTestDialog button;
    button.onInit = [](CTestDialog& d) { d.GetDlgItem(IDOK)->PostMessage(BM_CLICK); };
    EXPECT_EQ(IDOK, button.DoModal());
    EXPECT_EQ(1, button.oks);
}

TEST(DialogTest, DataExchangeBindsTheControlObjectOnce) {
    CTestDialog dlg;
    HWND editWindow = nullptr;
    bool sameObject = false, reboundOk = false;
    LONG_PTR procBefore = 0, procAfter = 0;
    CString typed;
    dlg.onInit = [&](CTestDialog& d) {
        editWindow = GetDlgItem(d.m_hWnd, IDC_TEST_EDIT);
        sameObject = d.GetDlgItem(IDC_TEST_EDIT) == &d.m_edit;
        // The control's messages reach the member object, which passes them on.
        SendMessageA(editWindow, WM_CHAR, 'A', 1);
        SendMessageA(editWindow, WM_CHAR, 'b', 1);
        d.m_edit.GetWindowText(typed);
        procBefore = GetWindowLongPtrA(editWindow, GWLP_WNDPROC);
        reboundOk = d.UpdateData(FALSE) && d.UpdateData(TRUE);
        procAfter = GetWindowLongPtrA(editWindow, GWLP_WNDPROC);
        d.PostMessage(WM_APP + 5, 3);
    };
    EXPECT_EQ(3, dlg.DoModal());
    ASSERT_NE(nullptr, editWindow);
    EXPECT_TRUE(sameObject);
    EXPECT_EQ(2, dlg.m_edit.chars);
    EXPECT_STREQ("Ab", typed);
    EXPECT_TRUE(reboundOk);
    EXPECT_EQ(procBefore, procAfter);  // not subclassed a second time
    EXPECT_EQ(nullptr, dlg.m_edit.m_hWnd);
    EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(editWindow));
}

TEST(DialogTest, DataExchangeWithAMissingControlFails) {
    CTestDialog dlg;
    dlg.bindId = 4321;
    bool loaded = true;
    dlg.onInit = [&](CTestDialog& d) {
        loaded = d.UpdateData(FALSE);
        // Enter: OnOK's exchange fails, so the dialog stays open for the next message.
        d.GetDlgItem(IDC_TEST_EDIT)->PostMessage(WM_KEYDOWN, VK_RETURN, 0x001C0001);
        d.PostMessage(WM_APP + 5, 77);
    };
    EXPECT_EQ(77, dlg.DoModal());
    EXPECT_FALSE(loaded);
    EXPECT_EQ(1, dlg.oks);
}

TEST(DialogTest, ParentIsOwnerAndDisabledWhileModal) {
    afxtest::TestWindow parentWindow(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    afxtest::TestWindow child(WS_CHILD, parentWindow.get());
    CWnd* parent = CWnd::FromHandle(child.get());  // a child: its top-level window owns the dialog
    CTestDialog dlg(IDD_AFX_TEST, parent);
    HWND owner = nullptr;
    BOOL parentEnabled = TRUE;
    dlg.onInit = [&](CTestDialog& d) {
        owner = GetWindow(d.m_hWnd, GW_OWNER);
        parentEnabled = IsWindowEnabled(parentWindow.get());
        d.PostMessage(WM_APP + 5, 1);
    };
    EXPECT_EQ(1, dlg.DoModal());
    EXPECT_EQ(parentWindow.get(), owner);
    EXPECT_FALSE(parentEnabled);
    EXPECT_TRUE(IsWindowEnabled(parentWindow.get()));
}

TEST(DialogTest, MessageBoxIsOwnedAndGivesThePressedButton) {
    const char kCaption[] = "afxテスト箱";
    std::atomic<HWND> boxOwner{nullptr};
    std::atomic<bool> stop{false};
    // Presses No in the box once it shows up.
    std::thread presser([&] {
        for (int i = 0; i < 1000 && !stop; ++i) {
            HWND box = FindWindowA("#32770", kCaption);
            if (box) {
                boxOwner = GetWindow(box, GW_OWNER);
                PostMessageA(GetDlgItem(box, IDNO), BM_CLICK, 0, 0);
                return;
            }
            Sleep(10);
        }
    });
    CTestDialog dlg;
    HWND dialogWindow = nullptr;
    dlg.onInit = [&](CTestDialog& d) {
        dialogWindow = d.m_hWnd;
        d.PostMessage(WM_APP + 6);
    };
    dlg.onApp6 = [&](CTestDialog& d) {
        d.EndDialog(d.MessageBox("ソ表を消しますか？", kCaption, MB_YESNO | MB_ICONQUESTION));
    };
    EXPECT_EQ(IDNO, dlg.DoModal());
    stop = true;
    presser.join();
    EXPECT_EQ(dialogWindow, boxOwner.load());
}

class CHelpApp : public CWinAppEx {
public:
    int helps = 0, lowIds = 0;

protected:
    void OnHelpCommand() { ++helps; }
    void OnLowId() { ++lowIds; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CHelpApp, CWinAppEx)
    ON_COMMAND(ID_HELP, &CHelpApp::OnHelpCommand)
    ON_COMMAND(0x100, &CHelpApp::OnLowId)
END_MESSAGE_MAP()

TEST(DialogTest, UnhandledCommandsGoOnToTheApplication) {
    ASSERT_EQ(nullptr, AfxGetApp());
    CHelpApp app;
    ASSERT_EQ(&app, AfxGetApp());
    CTestDialog dlg;
    dlg.onInit = [](CTestDialog& d) {
        d.PostMessage(WM_COMMAND, ID_HELP);
        d.PostMessage(WM_COMMAND, 0x100);  // a control id, not a command: stays with the dialog
        d.PostMessage(WM_COMMAND, 0x8123);
        d.PostMessage(WM_APP + 5, 5);
    };
    EXPECT_EQ(5, dlg.DoModal());
    EXPECT_EQ(1, app.helps);
    EXPECT_EQ(0, app.lowIds);
}

TEST(DialogTest, TemporaryWrappersAreSweptAfterTheRun) {
    AfxSweepTemporaries();
    size_t baseline = AfxTemporaryWndCount();
    CTestDialog dlg;
    size_t during = 0;
    dlg.onInit = [&](CTestDialog& d) {
        d.GetDlgItem(IDC_TEST_LINE);
        d.GetDlgItem(IDOK);
        d.GetDlgItem(IDCANCEL);
        during = AfxTemporaryWndCount();
        d.PostMessage(WM_APP + 5, 1);
    };
    EXPECT_EQ(1, dlg.DoModal());
    EXPECT_EQ(baseline + 3, during);
    EXPECT_EQ(baseline, AfxTemporaryWndCount());
}

// A process-local dialog class that puts a procedure of its own in front of every
// dialog at creation, as a skin for the program's dialogs does: the layer's
// subclassing goes on top of it and both take themselves out again.
struct LocalDialogClass {
    static WNDPROC systemProc;
    static int creations, helps, destroys;

    static LRESULT CALLBACK ClassProc(HWND h, UINT m, WPARAM w, LPARAM l) {
        if (m == WM_NCCREATE) {
            ++creations;
            SetPropA(h, "TestPrev", reinterpret_cast<HANDLE>(GetWindowLongPtrA(h, GWLP_WNDPROC)));
            SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FrontProc));
        }
        return CallWindowProcA(systemProc, h, m, w, l);
    }
    static LRESULT CALLBACK FrontProc(HWND h, UINT m, WPARAM w, LPARAM l) {
        auto prev = reinterpret_cast<WNDPROC>(GetPropA(h, "TestPrev"));
        if (m == WM_HELP) {
            ++helps;
            return TRUE;
        }
        if (m == WM_NCDESTROY) {
            ++destroys;
            if (GetWindowLongPtrA(h, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(FrontProc))
                SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(prev));
            RemovePropA(h, "TestPrev");
        }
        return CallWindowProcA(prev, h, m, w, l);
    }
    LocalDialogClass() {
        WNDCLASSEXA wc = {sizeof(wc)};
        GetClassInfoExA(nullptr, MAKEINTATOM(32770), &wc);
        systemProc = wc.lpfnWndProc;
        wc.style &= ~CS_GLOBALCLASS;
        wc.lpfnWndProc = ClassProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "#32770";
        registered = RegisterClassExA(&wc) != 0;
    }
    ~LocalDialogClass() { UnregisterClassA("#32770", GetModuleHandleA(nullptr)); }
    bool registered = false;
};
WNDPROC LocalDialogClass::systemProc = nullptr;
int LocalDialogClass::creations = 0, LocalDialogClass::helps = 0, LocalDialogClass::destroys = 0;

class CDrawButton : public CButton {
public:
    int draws = 0;
    void DrawItem(LPDRAWITEMSTRUCT) override { ++draws; }
};

class CSkinnedDialog : public CTestDialog {
public:
    CDrawButton ok;

protected:
    void DoDataExchange(CDataExchange* dx) override {
        CTestDialog::DoDataExchange(dx);
        DDX_Control(dx, IDOK, ok);
    }
};

TEST(DialogTest, WorksBeneathAProcessLocalDialogClass) {
    LocalDialogClass local;
    ASSERT_TRUE(local.registered);
    for (int run = 1; run <= 3; ++run) {
        CSkinnedDialog dlg;
        dlg.onInit = [](CTestDialog& d) { d.PostMessage(WM_APP + 6); };
        dlg.onApp6 = [](CTestDialog& d) {
            auto& self = static_cast<CSkinnedDialog&>(d);
            self.ok.ModifyStyle(0, BS_OWNERDRAW);
            self.ok.Invalidate();
            UpdateWindow(self.ok.m_hWnd);
            HELPINFO help = {sizeof(help)};
            self.SendMessage(WM_HELP, 0, reinterpret_cast<LPARAM>(&help));
            self.EndDialog(55);
        };
        EXPECT_EQ(55, dlg.DoModal());
        EXPECT_GE(dlg.ok.draws, 1);
        EXPECT_EQ(run, LocalDialogClass::creations);
        EXPECT_EQ(run, LocalDialogClass::helps);  // passed on to the procedure behind the object
        EXPECT_EQ(run, LocalDialogClass::destroys);
        EXPECT_EQ(nullptr, dlg.m_hWnd);
        EXPECT_EQ(nullptr, dlg.ok.m_hWnd);
    }
}

}  // namespace
