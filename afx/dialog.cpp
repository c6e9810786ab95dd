#include "afxwin.h"

#include "afximpl.h"

IMPLEMENT_DYNAMIC(CDialog, CWnd)

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_COMMAND(IDOK, &CDialog::OnOK)
    ON_COMMAND(IDCANCEL, &CDialog::OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog(UINT nIDTemplate, CWnd* parent) : m_nIDTemplate(nIDTemplate), m_pParentWnd(parent) {}

CDialog::CDialog(LPCSTR templateName, CWnd* parent) : m_pParentWnd(parent) {
    if (IS_INTRESOURCE(templateName)) {
        m_nIDTemplate = static_cast<UINT>(reinterpret_cast<ULONG_PTR>(templateName));
    } else {
        m_strTemplateName = templateName;
    }
}

LPCSTR CDialog::TemplateName() const {
    return m_strTemplateName.IsEmpty() ? MAKEINTRESOURCEA(m_nIDTemplate) : m_strTemplateName.GetString();
}

namespace {

// The owner of a modal dialog: the parent's top-level window (a popup cannot be
// owned by a child window).
HWND OwnerOf(const CWnd* parent) {
    HWND h = parent ? parent->m_hWnd : nullptr;
    while (h && (GetWindowLongA(h, GWL_STYLE) & WS_CHILD)) h = ::GetParent(h);
    return h;
}

}  // namespace

INT_PTR CDialog::DoModal() {
    if (m_hWnd) return -1;
    LPCSTR name = TemplateName();
    HINSTANCE module = AfxFindResourceHandle(name, RT_DIALOG);
    HRSRC resource = FindResourceA(module, name, RT_DIALOG);
    HGLOBAL loaded = resource ? LoadResource(module, resource) : nullptr;
    auto* dialogTemplate = loaded ? static_cast<LPCDLGTEMPLATEA>(LockResource(loaded)) : nullptr;
    if (!dialogTemplate) return -1;

    // The dialog manager runs the modal loop (Enter, Esc, Tab); the window is
    // subclassed by this object at WM_INITDIALOG and detached again at WM_NCDESTROY.
    INT_PTR result = DialogBoxIndirectParamA(module, dialogTemplate, OwnerOf(m_pParentWnd), DialogProc,
                                             reinterpret_cast<LPARAM>(this));
    if (m_hWnd) UnsubclassWindow();  // only when the window outlived the run (never expected)
    return result;
}

// Only WM_INITDIALOG comes here with something to do: after it the window's messages
// go through the object's subclassing. A handler's exception stops here and counts as
// not handled (FALSE).
INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_INITDIALOG) return FALSE;
    auto* dialog = reinterpret_cast<CDialog*>(lParam);
    // WM_INITDIALOG comes back here when a handler passes it on: nothing more to do then.
    if (!dialog || CWnd::FromHandlePermanent(hWnd)) return FALSE;
    AfxDispatchScope dispatch;
    BOOL result = FALSE;
    AfxCallGuarded("CDialog::DialogProc", message, [&] {
        if (!dialog->SubclassWindow(hWnd)) {
            ::EndDialog(hWnd, -1);
            return;
        }
        AfxMessageScope scope(message, wParam, lParam);
        result = dialog->OnInitDialog();
    });
    return result;
}

void CDialog::EndDialog(int result) { ::EndDialog(m_hWnd, result); }

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    if (!UpdateData(TRUE)) return;
    EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL CDialog::OnCmdMsg(UINT nID, int nCode) {
    if (CWnd::OnCmdMsg(nID, nCode)) return TRUE;
    // Only true commands (ids 0x8000 to 0xEFFF) go on to the application.
    if (nCode != CN_COMMAND || nID < 0x8000 || nID >= 0xF000) return FALSE;
    CWinApp* app = AfxGetApp();
    return app ? app->OnCmdMsg(nID, nCode) : FALSE;
}
