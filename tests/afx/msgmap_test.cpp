// Windows and message maps on real windows: routing, base-map fallback,
// subclassing, reflection to controls, temporary wrappers.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "AfxTestUtil.h"
#include "afximpl.h"
#include "afxwin.h"

using afxtest::Pump;
using afxtest::TestWindow;

namespace {

// A window class whose own procedure answers WM_APP + 9 and counts WM_DRAWITEM,
// so the tests see what reaches the procedure behind the object.
int g_ownDrawItems = 0;
LRESULT CALLBACK EchoProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == WM_APP + 9) return 0xBEEF;
    if (m == WM_DRAWITEM) ++g_ownDrawItems;
    return DefWindowProcA(h, m, w, l);
}
const char* EchoClass() {
    static ATOM atom = [] {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = EchoProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "AfxEchoWindow";
        return RegisterClassA(&wc);
    }();
    (void)atom;
    return "AfxEchoWindow";
}

class CBaseTarget : public CWnd {
public:
    int appOne = 0, baseOnly = 0, timers = 0, commands = 0;
    UINT_PTR lastTimer = 0;
    WPARAM lastW = 0;
    LPARAM lastL = 0;
    std::vector<std::pair<UINT, int>> cmdMsgs;  // what reached the command route

    BOOL OnCmdMsg(UINT id, int code) override {
        cmdMsgs.emplace_back(id, code);
        return CWnd::OnCmdMsg(id, code);
    }

protected:
    LRESULT OnAppOne(WPARAM w, LPARAM l) {
        ++appOne;
        lastW = w;
        lastL = l;
        return 0x1234;
    }
    LRESULT OnBaseOnly(WPARAM, LPARAM) {
        ++baseOnly;
        return 7;
    }
    void OnTimer(UINT_PTR id) {
        ++timers;
        lastTimer = id;
    }
    void OnCommandFive() { ++commands; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CBaseTarget, CWnd)
    ON_MESSAGE(WM_APP + 1, &CBaseTarget::OnAppOne)
    ON_MESSAGE(WM_APP + 3, &CBaseTarget::OnBaseOnly)
    ON_WM_TIMER()
    ON_COMMAND(5, &CBaseTarget::OnCommandFive)
END_MESSAGE_MAP()

class CDerivedTarget : public CBaseTarget {
public:
    int derivedAppOne = 0;

protected:
    LRESULT OnAppOneDerived(WPARAM, LPARAM) {
        ++derivedAppOne;
        return 99;
    }
    // Passes the message to the window's own procedure and adds to its answer.
    LRESULT OnEcho(WPARAM, LPARAM) { return Default() + 1; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CDerivedTarget, CBaseTarget)
    ON_MESSAGE(WM_APP + 1, &CDerivedTarget::OnAppOneDerived)
    ON_MESSAGE(WM_APP + 9, &CDerivedTarget::OnEcho)
END_MESSAGE_MAP()

TEST(MessageMapTest, RoutesWindowMessagesCommandsAndPrivateMessages) {
    TestWindow w;
    CBaseTarget target;
    ASSERT_TRUE(target.SubclassWindow(w.get()));

    EXPECT_EQ(0x1234, SendMessageA(w.get(), WM_APP + 1, 5, 6));
    EXPECT_EQ(1, target.appOne);
    EXPECT_EQ(5u, target.lastW);
    EXPECT_EQ(6, target.lastL);

    EXPECT_TRUE(target.PostMessage(WM_APP + 1, 8, 9));
    Pump();
    EXPECT_EQ(2, target.appOne);
    EXPECT_EQ(9, target.lastL);

    SendMessageA(w.get(), WM_TIMER, 77, 0);
    EXPECT_EQ(1, target.timers);
    EXPECT_EQ(77u, target.lastTimer);
    ASSERT_EQ(31u, target.SetTimer(31, 10, nullptr));
    for (int i = 0; i < 200 && target.lastTimer != 31; ++i) {
        Sleep(5);
        Pump();
    }
    EXPECT_TRUE(target.KillTimer(31));
    EXPECT_EQ(31u, target.lastTimer);

    SendMessageA(w.get(), WM_COMMAND, MAKEWPARAM(5, 0), 0);
    EXPECT_EQ(1, target.commands);
    SendMessageA(w.get(), WM_COMMAND, MAKEWPARAM(5, 1), 0);  // an accelerator: other code, not the entry's
    SendMessageA(w.get(), WM_COMMAND, MAKEWPARAM(6, 0), 0);
    EXPECT_EQ(1, target.commands);
}

TEST(MessageMapTest, DerivedMapComesFirstAndFallsBackToTheBase) {
    TestWindow w(WS_OVERLAPPEDWINDOW, nullptr, EchoClass());
    CDerivedTarget target;
    ASSERT_TRUE(target.SubclassWindow(w.get()));

    EXPECT_EQ(99, target.SendMessage(WM_APP + 1));
    EXPECT_EQ(1, target.derivedAppOne);
    EXPECT_EQ(0, target.appOne);
    EXPECT_EQ(7, target.SendMessage(WM_APP + 3));
    EXPECT_EQ(1, target.baseOnly);
    SendMessageA(w.get(), WM_COMMAND, 5, 0);
    EXPECT_EQ(1, target.commands);

    // Default passes the message on to the window's own procedure.
    EXPECT_EQ(0xBEEF + 1, target.SendMessage(WM_APP + 9));
    // Messages without an entry reach it too.
    target.SetWindowText("ソ表の窓");
    CString text;
    target.GetWindowText(text);
    EXPECT_STREQ("ソ表の窓", text);
}

TEST(MessageMapTest, SubclassingTakesOverAndGivesBackTheProcedure) {
    TestWindow w(WS_OVERLAPPEDWINDOW, nullptr, EchoClass());
    LONG_PTR own = GetWindowLongPtrA(w.get(), GWLP_WNDPROC);
    {
        CBaseTarget target;
        ASSERT_TRUE(target.SubclassWindow(w.get()));
        EXPECT_NE(own, GetWindowLongPtrA(w.get(), GWLP_WNDPROC));
        EXPECT_EQ(&target, CWnd::FromHandle(w.get()));
        EXPECT_EQ(&target, CWnd::FromHandlePermanent(w.get()));

        CBaseTarget second;
        EXPECT_FALSE(second.SubclassWindow(w.get()));  // one object per window
        EXPECT_FALSE(second.Attach(w.get()));

        EXPECT_EQ(w.get(), target.UnsubclassWindow());
        EXPECT_EQ(nullptr, target.m_hWnd);
        EXPECT_EQ(own, GetWindowLongPtrA(w.get(), GWLP_WNDPROC));
        SendMessageA(w.get(), WM_APP + 1, 0, 0);
        EXPECT_EQ(0, target.appOne);
        EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(w.get()));
        EXPECT_EQ(0xBEEF, SendMessageA(w.get(), WM_APP + 9, 0, 0));
    }

    // A window destroyed while subclassed detaches its object.
    CBaseTarget target;
    HWND h;
    {
        TestWindow other;
        h = other.get();
        ASSERT_TRUE(target.SubclassWindow(h));
    }
    EXPECT_FALSE(IsWindow(h));
    EXPECT_EQ(nullptr, target.m_hWnd);
    EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(h));
}

WNDPROC g_next = nullptr;
LRESULT CALLBACK FrontProc(HWND h, UINT m, WPARAM w, LPARAM l) { return CallWindowProcA(g_next, h, m, w, l); }

TEST(MessageMapTest, ObjectGoneWhileAnotherProcedureSitsInFront) {
    TestWindow w(WS_OVERLAPPEDWINDOW, nullptr, EchoClass());
    {
        CBaseTarget target;
        ASSERT_TRUE(target.SubclassWindow(w.get()));
        // Someone subclasses on top of the object; the object cannot put the old
        // procedure back without cutting that one out.
        g_next = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(w.get(), GWLP_WNDPROC));
        SetWindowLongPtrA(w.get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FrontProc));
        target.UnsubclassWindow();
    }
    // The chain still reaches the window's own procedure.
    EXPECT_EQ(0xBEEF, SendMessageA(w.get(), WM_APP + 9, 0, 0));
    // No new object while that procedure sits in front of the old one...
    CDerivedTarget again;
    EXPECT_FALSE(again.SubclassWindow(w.get()));
    EXPECT_EQ(nullptr, again.m_hWnd);
    // ...but once it is gone, the window can be taken over again.
    SetWindowLongPtrA(w.get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_next));
    ASSERT_TRUE(again.SubclassWindow(w.get()));
    EXPECT_EQ(99, SendMessageA(w.get(), WM_APP + 1, 0, 0));
    EXPECT_EQ(0xBEEF + 1, SendMessageA(w.get(), WM_APP + 9, 0, 0));
    LONG_PTR own = reinterpret_cast<LONG_PTR>(EchoProc);
    again.UnsubclassWindow();
    EXPECT_EQ(own, GetWindowLongPtrA(w.get(), GWLP_WNDPROC));
}

class CInterceptor : public CWnd {
protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_APP + 4) return 42;
        return CWnd::WindowProc(message, wParam, lParam);
    }
};

TEST(MessageMapTest, WindowProcOverrideSeesEveryMessageFirst) {
    TestWindow w(WS_OVERLAPPEDWINDOW, nullptr, EchoClass());
    CInterceptor target;
    ASSERT_TRUE(target.SubclassWindow(w.get()));
    EXPECT_EQ(42, SendMessageA(w.get(), WM_APP + 4, 0, 0));
    EXPECT_EQ(0xBEEF, SendMessageA(w.get(), WM_APP + 9, 0, 0));
}

// A control that handles its own notifications.
class CReflectEdit : public CEdit {
public:
    int updates = 0, focusNotes = 0;
    BOOL passFocusOn = FALSE;

protected:
    void OnUpdate() { ++updates; }
    BOOL OnFocusNote() {
        ++focusNotes;
        return !passFocusOn;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CReflectEdit, CEdit)
    ON_CONTROL_REFLECT(EN_UPDATE, &CReflectEdit::OnUpdate)
    ON_CONTROL_REFLECT_EX(EN_SETFOCUS, &CReflectEdit::OnFocusNote)
END_MESSAGE_MAP()

bool Received(const CBaseTarget& t, UINT id, int code) {
    for (const auto& c : t.cmdMsgs) {
        if (c.first == id && c.second == code) return true;
    }
    return false;
}

TEST(MessageMapTest, NotificationsAreReflectedToTheControlFirst) {
    TestWindow parent;
    TestWindow edit(WS_CHILD | WS_VISIBLE | WS_BORDER, parent.get(), "EDIT", 300);
    CBaseTarget parentObj;
    CReflectEdit editObj;
    ASSERT_TRUE(parentObj.SubclassWindow(parent.get()));
    ASSERT_TRUE(editObj.SubclassWindow(edit.get()));

    // A real edit: setting its text raises EN_UPDATE (kept by the control) and EN_CHANGE.
    editObj.SetWindowText("abc");
    EXPECT_EQ(1, editObj.updates);
    EXPECT_FALSE(Received(parentObj, 300, EN_UPDATE));
    EXPECT_TRUE(Received(parentObj, 300, EN_CHANGE));

    // A handler answering FALSE lets the parent have the notification too.
    editObj.passFocusOn = TRUE;
    parentObj.SendMessage(WM_COMMAND, MAKEWPARAM(300, EN_SETFOCUS), reinterpret_cast<LPARAM>(edit.get()));
    EXPECT_EQ(1, editObj.focusNotes);
    EXPECT_TRUE(Received(parentObj, 300, EN_SETFOCUS));
    parentObj.cmdMsgs.clear();
    editObj.passFocusOn = FALSE;
    parentObj.SendMessage(WM_COMMAND, MAKEWPARAM(300, EN_SETFOCUS), reinterpret_cast<LPARAM>(edit.get()));
    EXPECT_EQ(2, editObj.focusNotes);
    EXPECT_FALSE(Received(parentObj, 300, EN_SETFOCUS));

    // The parent's map is found through the parent's own object.
    EXPECT_EQ(&editObj, parentObj.GetDlgItem(300));
}

class CCountingButton : public CButton {
public:
    int draws = 0;
    UINT lastId = 0;
    void DrawItem(LPDRAWITEMSTRUCT item) override {
        ++draws;
        lastId = item->CtlID;
        FillRect(item->hDC, &item->rcItem, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    }
};

TEST(MessageMapTest, OwnerDrawRequestsGoToTheButtonObject) {
    TestWindow parent(WS_OVERLAPPEDWINDOW | WS_VISIBLE, nullptr, EchoClass());
    TestWindow button(WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, parent.get(), "BUTTON", 301);
    CWnd parentObj;
    CCountingButton buttonObj;
    ASSERT_TRUE(parentObj.SubclassWindow(parent.get()));
    ASSERT_TRUE(buttonObj.SubclassWindow(button.get()));
    // Made owner-drawn afterwards, as the skinned buttons do it.
    EXPECT_TRUE(buttonObj.ModifyStyle(0, BS_OWNERDRAW));
    EXPECT_FALSE(buttonObj.ModifyStyle(0, BS_OWNERDRAW));  // nothing changes
    EXPECT_EQ(static_cast<DWORD>(BS_OWNERDRAW), buttonObj.GetStyle() & BS_TYPEMASK);

    g_ownDrawItems = 0;
    buttonObj.Invalidate();
    UpdateWindow(button.get());
    Pump();
    EXPECT_GE(buttonObj.draws, 1);
    EXPECT_EQ(301u, buttonObj.lastId);
    EXPECT_EQ(0, g_ownDrawItems);  // consumed before the parent's own procedure

    // Without an object on the button the parent's procedure gets the request.
    buttonObj.UnsubclassWindow();
    int before = buttonObj.draws;
    InvalidateRect(button.get(), nullptr, TRUE);
    UpdateWindow(button.get());
    Pump();
    EXPECT_EQ(before, buttonObj.draws);
    EXPECT_GE(g_ownDrawItems, 1);
}

TEST(WndTest, WindowOperations) {
    TestWindow parent(WS_OVERLAPPEDWINDOW);
    TestWindow child(WS_CHILD | WS_VISIBLE, parent.get(), "STATIC", 302);
    CWnd wnd;
    ASSERT_TRUE(wnd.Attach(parent.get()));
    EXPECT_EQ(parent.get(), wnd.GetSafeHwnd());
    EXPECT_EQ(parent.get(), static_cast<HWND>(wnd));

    wnd.SetWindowText("ソ表能");
    char buf[16] = {};
    EXPECT_EQ(6, wnd.GetWindowText(buf, sizeof(buf)));
    EXPECT_STREQ("ソ表能", buf);
    CString text;
    wnd.GetWindowText(text);
    EXPECT_STREQ("ソ表能", text);

    EXPECT_TRUE(wnd.IsWindowEnabled());
    EXPECT_FALSE(wnd.EnableWindow(FALSE));  // it was enabled
    EXPECT_FALSE(wnd.IsWindowEnabled());
    EXPECT_TRUE(wnd.EnableWindow(TRUE));
    EXPECT_TRUE(wnd.IsWindowEnabled());

    EXPECT_TRUE(wnd.GetStyle() & WS_CAPTION);
    EXPECT_TRUE(wnd.ModifyStyle(WS_CAPTION, 0, SWP_FRAMECHANGED));
    EXPECT_FALSE(wnd.GetStyle() & WS_CAPTION);

    EXPECT_TRUE(wnd.SetWindowPos(nullptr, 0, 0, 250, 120, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE));
    CRect rect;
    wnd.GetWindowRect(&rect);
    EXPECT_EQ(250, rect.Width());
    EXPECT_EQ(120, rect.Height());
    EXPECT_FALSE(wnd.IsIconic());

    // A control without an object of its own: a temporary wrapper, the same every time.
    CWnd* item = wnd.GetDlgItem(302);
    ASSERT_NE(nullptr, item);
    EXPECT_EQ(child.get(), item->m_hWnd);
    EXPECT_EQ(item, wnd.GetDlgItem(302));
    EXPECT_EQ(nullptr, wnd.GetDlgItem(999));
    EXPECT_EQ(&wnd, item->GetParent());

    EXPECT_EQ(parent.get(), wnd.Detach());
    EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(parent.get()));
    EXPECT_TRUE(IsWindow(parent.get()));  // detaching leaves the window alone
}

TEST(WndTest, AttachedWindowIsDestroyedWithItsObject) {
    HWND h;
    {
        TestWindow w;
        h = w.get();
        CWnd wnd;
        ASSERT_TRUE(wnd.Attach(h));
    }
    EXPECT_FALSE(IsWindow(h));
    EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(h));
}

TEST(WndTest, TemporaryWrappersAreReusedAndBounded) {
    AfxSweepTemporaries();
    size_t baseline = AfxTemporaryWndCount();
    for (int i = 0; i < 200; ++i) {
        TestWindow w;
        CWnd* temp = CWnd::FromHandle(w.get());
        ASSERT_NE(nullptr, temp);
        EXPECT_EQ(temp, CWnd::FromHandle(w.get()));
        EXPECT_EQ(w.get(), temp->m_hWnd);
        EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(w.get()));
    }
    // Dead windows' wrappers are swept as the table grows: at most twice the live ones plus 64.
    EXPECT_LE(AfxTemporaryWndCount(), baseline * 2 + 64);
    AfxSweepTemporaries();
    EXPECT_EQ(baseline, AfxTemporaryWndCount());
    EXPECT_EQ(nullptr, CWnd::FromHandle(nullptr));

    // A temporary never destroys its window.
    TestWindow w;
    CWnd::FromHandle(w.get());
    DestroyWindow(w.get());
    AfxSweepTemporaries();
    EXPECT_EQ(baseline, AfxTemporaryWndCount());
}

class CKindButton : public CButton {
    DECLARE_DYNAMIC(CKindButton)
};
IMPLEMENT_DYNAMIC(CKindButton, CButton)

TEST(WndTest, RunTimeClassInformation) {
    CKindButton button;
    EXPECT_TRUE(button.IsKindOf(RUNTIME_CLASS(CKindButton)));
    EXPECT_TRUE(button.IsKindOf(RUNTIME_CLASS(CButton)));
    EXPECT_TRUE(button.IsKindOf(RUNTIME_CLASS(CWnd)));
    EXPECT_TRUE(button.IsKindOf(RUNTIME_CLASS(CObject)));
    EXPECT_FALSE(button.IsKindOf(RUNTIME_CLASS(CEdit)));
    EXPECT_STREQ("CKindButton", button.GetRuntimeClass()->m_lpszClassName);
    EXPECT_EQ(RUNTIME_CLASS(CButton), button.GetRuntimeClass()->m_pBaseClass);
    EXPECT_EQ(static_cast<int>(sizeof(CKindButton)), button.GetRuntimeClass()->m_nObjectSize);
    CEdit edit;
    const CObject* asObject = &edit;
    EXPECT_STREQ("CEdit", asObject->GetRuntimeClass()->m_lpszClassName);
    EXPECT_FALSE(asObject->IsKindOf(RUNTIME_CLASS(CButton)));
}

TEST(WndTest, ProgressRange) {
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&icc);
    TestWindow parent;
    TestWindow bar(WS_CHILD | WS_VISIBLE, parent.get(), PROGRESS_CLASSA, 303);
    ASSERT_NE(nullptr, bar.get());
    SendMessageA(bar.get(), PBM_SETRANGE32, 3, 77);
    CProgressCtrl progress;
    ASSERT_TRUE(progress.Attach(bar.get()));
    int lower = -1, upper = -1;
    progress.GetRange(lower, upper);
    EXPECT_EQ(3, lower);
    EXPECT_EQ(77, upper);
    progress.Detach();
}

}  // namespace
