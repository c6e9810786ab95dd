#include "Thread/WorkerThreadProgressDialog.h"

#include <oleauto.h>

#include "INC/Owner.h"
#include "INC/WideText.h"

namespace {

const UINT WM_WORKER_END = WM_APP + 1;
const UINT WM_WORKER_TEXT = WM_APP + 2;
const UINT_PTR kOwnTimer = 0x80;
const UINT kOwnTimerMs = 100;
const int kTextId = 101, kPercentId = 102, kBarId = 103;

// Sets the text only when it differs, so a repeated value does not flicker.
void SetTextIfChanged(CWnd* target, const char* text) {
    CString current;
    target->GetWindowText(current);
    if (current.Compare(text) != 0) target->SetWindowText(text);
}

}  // namespace

BEGIN_MESSAGE_MAP(CWorkerThreadProgressDialog, CDialog)
    ON_WM_TIMER()
    ON_MESSAGE(WM_WORKER_END, &CWorkerThreadProgressDialog::OnWorkerEndMessage)
    ON_MESSAGE(WM_WORKER_TEXT, &CWorkerThreadProgressDialog::OnTextMessage)
END_MESSAGE_MAP()

int CWorkerThreadProgressDialog::RunWorker(CWorkerThread* worker, UINT templateId, CWnd* parent,
                                           BOOL showPercentage) {
    return RunWorker(worker, MAKEINTRESOURCEA(templateId), parent, showPercentage);
}

int CWorkerThreadProgressDialog::RunWorker(CWorkerThread* worker, LPCSTR templateName, CWnd* parent,
                                           BOOL showPercentage) {
    if (!worker) return 3;
    CWorkerThreadProgressDialog dialog(worker, templateName, parent, showPercentage);
    return static_cast<int>(dialog.DoModal());
}

CWorkerThreadProgressDialog::CWorkerThreadProgressDialog(CWorkerThread* worker, LPCSTR templateName, CWnd* parent,
                                                         BOOL showPercentage)
    : CDialog(templateName, parent), m_bShowPercentage(showPercentage) {
    m_pWorker = worker;
}

CWorkerThreadProgressDialog::~CWorkerThreadProgressDialog() {}

BOOL CWorkerThreadProgressDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    // Without a thread no end message will come: the run ends here, failed.
    if (m_pWorker && m_pWorker->Start(this) != 0) {
        EndDialog(-1);
        return TRUE;
    }
    SetTimer(kOwnTimer, kOwnTimerMs, nullptr);
    return TRUE;
}

void CWorkerThreadProgressDialog::SetText(int index, const char* text) {
    CBstr wide(CString(text ? text : "").AllocSysString());
    // Not posted means not received: the text is freed here instead.
    if (::PostMessageA(m_hWnd, WM_WORKER_TEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(wide.get())))
        wide.release();
}

void CWorkerThreadProgressDialog::OnWorkerEnd(int result) {
    ::PostMessageA(m_hWnd, WM_WORKER_END, 0, static_cast<LPARAM>(result));
}

void CWorkerThreadProgressDialog::StartTimer(UINT id, UINT elapse) {
    if (id != kOwnTimer) ::SetTimer(m_hWnd, id, elapse, nullptr);
}

void CWorkerThreadProgressDialog::StopTimer(UINT id) { ::KillTimer(m_hWnd, id); }

void CWorkerThreadProgressDialog::OnTimer(UINT_PTR id) {
    if (id == kOwnTimer) {
        ShowProgress();
    } else if (m_pWorker) {
        m_pWorker->OnTimer(static_cast<UINT>(id));
    }
}

// Polled rather than pushed: the worker may report as often as it likes, the
// window changes at most ten times a second and only when what it shows does.
void CWorkerThreadProgressDialog::ShowProgress() {
    const int position = m_nPosition, range = m_nRange;
    if (CWnd* percent = GetDlgItem(kPercentId)) {
        CString text;
        if (range > 0) {
            if (m_bShowPercentage) {
                text.Format("%d%%", static_cast<int>(static_cast<double>(position) / range * 100.0));
            } else if (m_strUnit.empty()) {
                text.Format("%d / %d", position, range);
            } else {
                text.Format("%d / %d %s", position, range, m_strUnit.c_str());
            }
        }
        SetTextIfChanged(percent, text);
    }
    if (CWnd* wnd = GetDlgItem(kBarId)) {
        CProgressCtrl* bar = static_cast<CProgressCtrl*>(wnd);
        int lower = 0, upper = 0;
        bar->GetRange(lower, upper);
        if (lower != 0 || upper != range) bar->SendMessage(PBM_SETRANGE32, 0, range);
        if (static_cast<int>(bar->SendMessage(PBM_GETPOS)) != position) bar->SendMessage(PBM_SETPOS, position);
    }
}

LRESULT CWorkerThreadProgressDialog::OnTextMessage(WPARAM index, LPARAM text) {
    const CBstr wide(reinterpret_cast<BSTR>(text));
    std::string value;
    Narrow(wide.valid() ? wide.get() : L"", value);
    CWnd* target = index == 0 ? this : index == 1 ? GetDlgItem(kTextId) : index == 2 ? GetDlgItem(IDCANCEL) : nullptr;
    if (target) SetTextIfChanged(target, value.c_str());
    return 0;
}

// The worker posts the end as its last act, so this wait is short; only after
// it may the owner read what the worker left and destroy it.
LRESULT CWorkerThreadProgressDialog::OnWorkerEndMessage(WPARAM, LPARAM result) {
    if (m_pWorker) m_pWorker->WaitForEnd();
    EndDialog(static_cast<int>(result));
    return 0;
}

void CWorkerThreadProgressDialog::OnCancel() {
    if (CWnd* cancel = GetDlgItem(IDCANCEL)) cancel->EnableWindow(FALSE);
    if (m_pWorker) m_pWorker->OnCancel();
}
