// The dialog class layer: the one header that client code includes.
//
//   CString                       multibyte text (afxstr.h)
//   CObject, CCmdTarget           run-time class information, message maps (afxobj.h)
//   CGdiObject, CBitmap, CDC, CPaintDC, CImageList, CPoint, CRect (afxgdi.h)
//   CWnd, CDialog, CEdit, CButton, CProgressCtrl, CDataExchange, DDX_Control
//   CWinApp, CWinAppEx, AfxGetApp, AfxGetModuleState, AfxFindResourceHandle
//   AfxSetExceptionHook: where exceptions stopped at the layer's procedures go
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include "afxgdi.h"
#include "afxobj.h"
#include "afxstr.h"

#define ID_HELP 0xE146

class CDataExchange;
class CWinApp;

// ---- Windows --------------------------------------------------------------------

class CWnd : public CCmdTarget {
    DECLARE_DYNAMIC(CWnd)
public:
    HWND m_hWnd = nullptr;

    CWnd() = default;
    // A window still attached is destroyed with its object.
    ~CWnd() override;

    operator HWND() const { return m_hWnd; }
    HWND GetSafeHwnd() const { return m_hWnd; }

    // The object attached to the window, else a temporary wrapper (see afxhandles.h).
    static CWnd* FromHandle(HWND hWnd);
    static CWnd* FromHandlePermanent(HWND hWnd);

    BOOL Attach(HWND hWnd);
    HWND Detach();
    // Attaches and routes the window's messages through this object; the window's
    // own procedure is put back at WM_NCDESTROY or by UnsubclassWindow.
    BOOL SubclassWindow(HWND hWnd);
    HWND UnsubclassWindow();

    CWnd* GetDlgItem(int nID) const;
    int GetWindowText(LPSTR buffer, int maxCount) const;
    void GetWindowText(CString& text) const;
    void SetWindowText(LPCSTR text);
    BOOL EnableWindow(BOOL enable = TRUE);
    BOOL IsWindowEnabled() const;
    BOOL IsIconic() const;
    DWORD GetStyle() const;
    // TRUE when the style changed; a non-zero flags value also refreshes the frame
    // through SetWindowPos with those flags.
    BOOL ModifyStyle(DWORD remove, DWORD add, UINT flags = 0);
    BOOL SetWindowPos(const CWnd* insertAfter, int x, int y, int cx, int cy, UINT flags);
    void GetClientRect(LPRECT rect) const;
    void GetWindowRect(LPRECT rect) const;
    HICON SetIcon(HICON icon, BOOL bigIcon);
    void Invalidate(BOOL erase = TRUE);
    int MessageBox(LPCSTR text, LPCSTR caption = nullptr, UINT type = MB_OK);
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT elapse, TIMERPROC timerFunc);
    BOOL KillTimer(UINT_PTR nIDEvent);

    // Runs DoDataExchange in the given direction; FALSE when an exchange failed.
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

protected:
    // Message dispatch: WindowProc offers the message to the map (OnWndMsg) and
    // otherwise to DefWindowProc, the window's own procedure.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual void DoDataExchange(CDataExchange* dx);
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    // A notification reflected from the parent; TRUE when this control consumed it.
    virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    // The message being handled, passed to the window's own procedure.
    LRESULT Default();

    // Default handlers, for derived handlers that pass the message on.
    afx_msg void OnPaint();
    afx_msg HCURSOR OnQueryDragIcon();
    afx_msg void OnTimer(UINT_PTR nIDEvent);
    afx_msg void OnSetFocus(CWnd* oldWnd);
    afx_msg void OnKillFocus(CWnd* newWnd);
    afx_msg LRESULT OnNcHitTest(CPoint point);
    afx_msg BOOL OnEraseBkgnd(CDC* dc);
    afx_msg void OnMouseLeave();
    afx_msg void OnChar(UINT nChar, UINT nRepCnt, UINT nFlags);
    afx_msg void OnKeyDown(UINT nChar, UINT nRepCnt, UINT nFlags);
    afx_msg void OnLButtonDown(UINT nFlags, CPoint point);
    afx_msg void OnDropFiles(HDROP hDropInfo);

    WNDPROC m_pfnSuper = nullptr;  // the window's procedure before subclassing

    DECLARE_MESSAGE_MAP()

private:
    friend LRESULT CALLBACK AfxWndProc(HWND, UINT, WPARAM, LPARAM);
    void FinishNcDestroy();
    static BOOL ReflectToChild(HWND child, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
};

// ---- Data exchange ----------------------------------------------------------------

class CDataExchange {
public:
    CDataExchange(CWnd* dlgWnd, BOOL saveAndValidate);
    BOOL m_bSaveAndValidate;
    CWnd* m_pDlgWnd;

    // The control's window, or null (and the exchange fails) when the dialog has none.
    HWND PrepareCtrl(int nIDC);
    void Fail() { m_bFailed = TRUE; }
    BOOL Failed() const { return m_bFailed; }

private:
    BOOL m_bFailed = FALSE;
};

// Binds the member control object to the dialog's control nIDC by subclassing it,
// once: later exchanges leave a bound object as it is.
void DDX_Control(CDataExchange* dx, int nIDC, CWnd& control);

// ---- Dialogs ------------------------------------------------------------------------

class CDialog : public CWnd {
    DECLARE_DYNAMIC(CDialog)
public:
    explicit CDialog(UINT nIDTemplate, CWnd* parent = nullptr);
    explicit CDialog(LPCSTR templateName, CWnd* parent = nullptr);

    // Runs the dialog modally; the EndDialog value, or -1 when it cannot be created.
    virtual INT_PTR DoModal();
    void EndDialog(int result);

    // Base: UpdateData(FALSE), TRUE (the dialog manager focuses the first control).
    virtual BOOL OnInitDialog();
    // Commands the dialog leaves unhandled go on to the application object.
    BOOL OnCmdMsg(UINT nID, int nCode) override;

protected:
    virtual void OnOK();      // UpdateData(TRUE), then EndDialog(IDOK)
    virtual void OnCancel();  // EndDialog(IDCANCEL)

    DECLARE_MESSAGE_MAP()

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    LPCSTR TemplateName() const;

    UINT m_nIDTemplate = 0;
    CString m_strTemplateName;
    CWnd* m_pParentWnd;
};

// ---- Controls -----------------------------------------------------------------------

class CEdit : public CWnd {
    DECLARE_DYNAMIC(CEdit)
};

class CButton : public CWnd {
    DECLARE_DYNAMIC(CButton)
public:
    // Draws an owner-drawn button; its parent's WM_DRAWITEM is reflected here.
    virtual void DrawItem(LPDRAWITEMSTRUCT drawItem);

protected:
    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
};

class CProgressCtrl : public CWnd {
    DECLARE_DYNAMIC(CProgressCtrl)
public:
    void GetRange(int& lower, int& upper) const;
};

// ---- Application ----------------------------------------------------------------------

class CWinApp : public CCmdTarget {
    DECLARE_DYNAMIC(CWinApp)
public:
    // Registers itself as the process's application object.
    CWinApp();
    ~CWinApp() override;

    // Base: TRUE. The layer has no message loop (every window of the program is a
    // modal dialog with a loop of its own), so the start-up then goes to ExitInstance,
    // as it does at once for FALSE.
    virtual BOOL InitInstance();
    // Base: 0, the exit code when no message loop ran; it becomes the process's.
    virtual int ExitInstance();

    // The help command: this program ships no help file, so there is nothing to show.
    afx_msg void OnHelp();

    HINSTANCE m_hInstance = nullptr;
    CWnd* m_pMainWnd = nullptr;  // the program never sets one

    DECLARE_MESSAGE_MAP()
};

class CWinAppEx : public CWinApp {
    DECLARE_DYNAMIC(CWinAppEx)
public:
    // The flag selects resource smart update of docking bars, which dialogs do not have.
    explicit CWinAppEx(BOOL resourceSmartUpdate = FALSE);
};

struct AFX_MODULE_STATE {
    CWinApp* m_pCurrentWinApp;
    HINSTANCE m_hCurrentInstanceHandle;  // the executable until the start-up sets it
    HINSTANCE m_hCurrentResourceHandle;
};

AFX_MODULE_STATE* AfxGetModuleState();
CWinApp* AfxGetApp();
// The module holding the resource: the resource module, else the instance; the
// resource module when neither has it.
HINSTANCE AfxFindResourceHandle(LPCSTR name, LPCSTR type);

// The start-up: called by WinMain (appmain.cpp) with WinMain's arguments.
int AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR cmdLine, int nCmdShow);

// ---- Exceptions at the layer's procedures ------------------------------------------------
//
// An exception thrown while the layer's window or dialog procedure handles a message
// stops there; the message counts as not handled (the procedure answers 0/FALSE). The
// hook hears of each one: where (the procedure and the message, "AfxWndProc 0x0111")
// and what (the exception's what(), or "unknown exception"). It runs on the thread of
// the window; an exception it throws is dropped. One hook for the process; null (the
// start) drops the reports.
typedef void (*AFX_EXCEPTION_HOOK)(const char* where, const char* what);
// Returns the hook set before.
AFX_EXCEPTION_HOOK AfxSetExceptionHook(AFX_EXCEPTION_HOOK hook);
