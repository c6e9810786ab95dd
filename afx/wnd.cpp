#include "afxwin.h"

#include <atomic>
#include <vector>

#include "afxhandles.h"
#include "afximpl.h"

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

namespace {

bool WndAlive(HWND h) { return IsWindow(h) != FALSE; }

AfxHandleMap<HWND, CWnd, &CWnd::m_hWnd>& WndMap() {
    static AfxHandleMap<HWND, CWnd, &CWnd::m_hWnd> map(WndAlive);
    return map;
}

// The window's procedure before subclassing, kept on the window itself so that
// AfxWndProc can still forward when no object is attached any more (for example
// when another procedure was put in front of it and it could not be taken out).
const char kSuperProp[] = "AfxSuperWndProc";

WNDPROC SuperProcOf(HWND h) { return reinterpret_cast<WNDPROC>(GetPropA(h, kSuperProp)); }

// The message being handled on this thread, for CWnd::Default.
struct CurrentMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
thread_local CurrentMessage t_current = {0, 0, 0};

}  // namespace

AfxMessageScope::AfxMessageScope(UINT message, WPARAM wParam, LPARAM lParam)
    : m_message(t_current.message), m_wParam(t_current.wParam), m_lParam(t_current.lParam) {
    t_current = {message, wParam, lParam};
}

AfxMessageScope::~AfxMessageScope() { t_current = {m_message, m_wParam, m_lParam}; }

namespace {

thread_local int t_dispatchDepth = 0;
std::atomic<AFX_EXCEPTION_HOOK> g_exceptionHook{nullptr};

}  // namespace

AfxDispatchScope::AfxDispatchScope() { ++t_dispatchDepth; }

AfxDispatchScope::~AfxDispatchScope() {
    if (--t_dispatchDepth == 0) AfxSweepTemporaries();
}

AFX_EXCEPTION_HOOK AfxSetExceptionHook(AFX_EXCEPTION_HOOK hook) { return g_exceptionHook.exchange(hook); }

void AfxReportException(const char* where, UINT message, const char* what) noexcept {
    AFX_EXCEPTION_HOOK hook = g_exceptionHook.load();
    if (!hook) return;
    char place[64];
    wsprintfA(place, "%s 0x%04X", where, message);
    // A hook that throws anyway is stopped here too: there is nobody left to tell.
    try {
        hook(place, what ? what : "");
    } catch (...) {
        OutputDebugStringA("afx: the exception hook threw\n");
    }
}

size_t AfxTemporaryCount() { return WndMap().TemporaryCount() + AfxTemporaryGdiCount(); }

void AfxSweepTemporaries() {
    WndMap().Sweep();
    AfxSweepGdiTemporaries();
}

// Every message of a window subclassed by the layer comes here. A handler's
// exception stops here and the message counts as not handled (0); a window that is
// being destroyed is still detached from its object.
LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CWnd* wnd = CWnd::FromHandlePermanent(hWnd);
    if (!wnd || wnd->m_pfnSuper == nullptr) {
        WNDPROC super = SuperProcOf(hWnd);
        LRESULT r = super ? CallWindowProcA(super, hWnd, message, wParam, lParam)
                          : DefWindowProcA(hWnd, message, wParam, lParam);
        if (message == WM_NCDESTROY) RemovePropA(hWnd, kSuperProp);
        return r;
    }
    AfxDispatchScope dispatch;
    LRESULT result = 0;
    AfxCallGuarded("AfxWndProc", message, [&] {
        AfxMessageScope scope(message, wParam, lParam);
        result = wnd->WindowProc(message, wParam, lParam);
    });
    if (message == WM_NCDESTROY) {
        // Looked up again: a handler may have detached or deleted the object.
        AfxCallGuarded("AfxWndProc", message, [&] {
            if (CWnd* still = CWnd::FromHandlePermanent(hWnd)) still->FinishNcDestroy();
        });
    }
    return result;
}

// ---- CWnd ---------------------------------------------------------------------------

IMPLEMENT_DYNAMIC(CWnd, CCmdTarget)

BEGIN_MESSAGE_MAP(CWnd, CCmdTarget)
END_MESSAGE_MAP()

CWnd::~CWnd() {
    // A subclassed window detaches itself at WM_NCDESTROY; a merely attached one does not.
    if (m_hWnd && IsWindow(m_hWnd)) ::DestroyWindow(m_hWnd);
    if (m_hWnd) UnsubclassWindow();
}

CWnd* CWnd::FromHandle(HWND hWnd) { return WndMap().FromHandle<CWnd>(hWnd); }

CWnd* CWnd::FromHandlePermanent(HWND hWnd) { return hWnd ? WndMap().LookupPermanent(hWnd) : nullptr; }

BOOL CWnd::Attach(HWND hWnd) {
    if (!hWnd || m_hWnd || !WndMap().AddPermanent(hWnd, this)) return FALSE;
    m_hWnd = hWnd;
    return TRUE;
}

HWND CWnd::Detach() {
    HWND h = m_hWnd;
    if (h) WndMap().RemovePermanent(h, this);
    m_hWnd = nullptr;
    m_pfnSuper = nullptr;
    return h;
}

BOOL CWnd::SubclassWindow(HWND hWnd) {
    if (!Attach(hWnd)) return FALSE;
    WNDPROC current = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(hWnd, GWLP_WNDPROC));
    if (current == AfxWndProc) {
        // Subclassed before by an object since detached: its saved procedure still holds.
        m_pfnSuper = SuperProcOf(hWnd);
        if (!m_pfnSuper) {
            Detach();
            return FALSE;
        }
    } else {
        // A detached object's procedure still sits deeper in the chain, behind another
        // one: a second copy in front of that could not tell the two apart.
        if (SuperProcOf(hWnd)) {
            Detach();
            return FALSE;
        }
        if (!current || !SetPropA(hWnd, kSuperProp, reinterpret_cast<HANDLE>(current)) ||
            !SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(AfxWndProc))) {
            RemovePropA(hWnd, kSuperProp);
            Detach();
            return FALSE;
        }
        m_pfnSuper = current;
    }
    return TRUE;
}

HWND CWnd::UnsubclassWindow() {
    HWND h = m_hWnd;
    if (!h) return nullptr;
    // Put back only when nothing was put in front of this object meanwhile; otherwise
    // AfxWndProc keeps forwarding with the saved procedure.
    if (m_pfnSuper && reinterpret_cast<WNDPROC>(GetWindowLongPtrA(h, GWLP_WNDPROC)) == AfxWndProc) {
        SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
        RemovePropA(h, kSuperProp);
    }
    return Detach();
}

void CWnd::FinishNcDestroy() {
    HWND h = UnsubclassWindow();
    RemovePropA(h, kSuperProp);  // the window's last message: nothing forwards any more
}

CWnd* CWnd::GetDlgItem(int nID) const { return FromHandle(::GetDlgItem(m_hWnd, nID)); }

int CWnd::GetWindowText(LPSTR buffer, int maxCount) const { return ::GetWindowTextA(m_hWnd, buffer, maxCount); }

void CWnd::GetWindowText(CString& text) const {
    std::vector<char> buffer(static_cast<size_t>(::GetWindowTextLengthA(m_hWnd)) + 1);
    ::GetWindowTextA(m_hWnd, buffer.data(), static_cast<int>(buffer.size()));
    text = buffer.data();
}
void CWnd::SetWindowText(LPCSTR text) { ::SetWindowTextA(m_hWnd, text); }
BOOL CWnd::EnableWindow(BOOL enable) { return ::EnableWindow(m_hWnd, enable); }
BOOL CWnd::IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
BOOL CWnd::IsIconic() const { return ::IsIconic(m_hWnd); }
DWORD CWnd::GetStyle() const { return static_cast<DWORD>(GetWindowLongA(m_hWnd, GWL_STYLE)); }

BOOL CWnd::ModifyStyle(DWORD remove, DWORD add, UINT flags) {
    DWORD style = GetStyle();
    DWORD changed = (style & ~remove) | add;
    if (changed == style) return FALSE;
    SetWindowLongA(m_hWnd, GWL_STYLE, static_cast<LONG>(changed));
    if (flags) {
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | flags);
    }
    return TRUE;
}

BOOL CWnd::SetWindowPos(const CWnd* insertAfter, int x, int y, int cx, int cy, UINT flags) {
    return ::SetWindowPos(m_hWnd, insertAfter ? insertAfter->m_hWnd : nullptr, x, y, cx, cy, flags);
}

void CWnd::GetClientRect(LPRECT rect) const { ::GetClientRect(m_hWnd, rect); }
void CWnd::GetWindowRect(LPRECT rect) const { ::GetWindowRect(m_hWnd, rect); }

HICON CWnd::SetIcon(HICON icon, BOOL bigIcon) {
    return reinterpret_cast<HICON>(SendMessage(WM_SETICON, bigIcon, reinterpret_cast<LPARAM>(icon)));
}

void CWnd::Invalidate(BOOL erase) { ::InvalidateRect(m_hWnd, nullptr, erase); }

int CWnd::MessageBox(LPCSTR text, LPCSTR caption, UINT type) { return ::MessageBoxA(m_hWnd, text, caption, type); }

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
    return ::SendMessageA(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
    return ::PostMessageA(m_hWnd, message, wParam, lParam);
}

UINT_PTR CWnd::SetTimer(UINT_PTR nIDEvent, UINT elapse, TIMERPROC timerFunc) {
    return ::SetTimer(m_hWnd, nIDEvent, elapse, timerFunc);
}

BOOL CWnd::KillTimer(UINT_PTR nIDEvent) { return ::KillTimer(m_hWnd, nIDEvent); }

BOOL CWnd::UpdateData(BOOL saveAndValidate) {
    CDataExchange dx(this, saveAndValidate);
    DoDataExchange(&dx);
    return !dx.Failed();
}

void CWnd::DoDataExchange(CDataExchange*) {}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (!OnWndMsg(message, wParam, lParam, &result)) result = DefWindowProc(message, wParam, lParam);
    return result;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return m_pfnSuper ? CallWindowProcA(m_pfnSuper, m_hWnd, message, wParam, lParam)
                      : ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default() { return DefWindowProc(t_current.message, t_current.wParam, t_current.lParam); }

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (message == WM_COMMAND) {
        if (!OnCommand(wParam, lParam)) return FALSE;
        *result = 0;
        return TRUE;
    }
    if (message == WM_DRAWITEM) {
        auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
        if (item && item->CtlType != ODT_MENU && ReflectToChild(item->hwndItem, message, wParam, lParam, result))
            return TRUE;
    }
    return DispatchMessageEntry(message, 0, 0, wParam, lParam, result);
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam) {
    HWND control = reinterpret_cast<HWND>(lParam);
    LRESULT ignored = 0;
    if (control && control != m_hWnd && ReflectToChild(control, WM_COMMAND, wParam, lParam, &ignored)) return TRUE;
    return OnCmdMsg(LOWORD(wParam), HIWORD(wParam));
}

BOOL CWnd::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    UINT code = message == WM_COMMAND ? HIWORD(wParam) : 0;
    return DispatchMessageEntry(WM_REFLECT_BASE + message, code, 0, wParam, lParam, result);
}

BOOL CWnd::ReflectToChild(HWND child, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    CWnd* wnd = FromHandlePermanent(child);
    return wnd ? wnd->OnChildNotify(message, wParam, lParam, result) : FALSE;
}

void CWnd::OnPaint() { Default(); }
HCURSOR CWnd::OnQueryDragIcon() { return reinterpret_cast<HCURSOR>(Default()); }
void CWnd::OnTimer(UINT_PTR) { Default(); }
void CWnd::OnSetFocus(CWnd*) { Default(); }
void CWnd::OnKillFocus(CWnd*) { Default(); }
LRESULT CWnd::OnNcHitTest(CPoint) { return Default(); }
BOOL CWnd::OnEraseBkgnd(CDC*) { return static_cast<BOOL>(Default()); }
void CWnd::OnMouseLeave() { Default(); }
void CWnd::OnChar(UINT, UINT, UINT) { Default(); }
void CWnd::OnKeyDown(UINT, UINT, UINT) { Default(); }
void CWnd::OnLButtonDown(UINT, CPoint) { Default(); }
void CWnd::OnDropFiles(HDROP) { Default(); }

// ---- Data exchange ----------------------------------------------------------------

CDataExchange::CDataExchange(CWnd* dlgWnd, BOOL saveAndValidate)
    : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dlgWnd) {}

HWND CDataExchange::PrepareCtrl(int nIDC) {
    HWND control = m_pDlgWnd ? ::GetDlgItem(m_pDlgWnd->m_hWnd, nIDC) : nullptr;
    if (!control) Fail();
    return control;
}

void DDX_Control(CDataExchange* dx, int nIDC, CWnd& control) {
    if (control.m_hWnd) return;
    HWND h = dx->PrepareCtrl(nIDC);
    if (h && !control.SubclassWindow(h)) dx->Fail();
}

// ---- Controls -----------------------------------------------------------------------

IMPLEMENT_DYNAMIC(CEdit, CWnd)
IMPLEMENT_DYNAMIC(CButton, CWnd)
IMPLEMENT_DYNAMIC(CProgressCtrl, CWnd)

void CButton::DrawItem(LPDRAWITEMSTRUCT) {}

BOOL CButton::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (message != WM_DRAWITEM) return CWnd::OnChildNotify(message, wParam, lParam, result);
    DrawItem(reinterpret_cast<LPDRAWITEMSTRUCT>(lParam));
    *result = TRUE;
    return TRUE;
}

void CProgressCtrl::GetRange(int& lower, int& upper) const {
    PBRANGE range = {0, 0};
    SendMessage(PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    lower = range.iLow;
    upper = range.iHigh;
}
