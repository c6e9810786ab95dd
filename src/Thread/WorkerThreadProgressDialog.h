// The modal progress dialog that hosts a worker: the worker reports through the
// sink side (posted messages and two stored numbers), never touching a window.
#pragma once
#include "afxwin.h"
#include "Thread/WorkerThread.h"

class CWorkerThreadProgressDialog : public CDialog, public CWorkerThreadManager {
public:
    // Runs the worker behind the dialog; the worker's result, -1 when the dialog
    // or the worker's thread could not be created, 3 for no worker.
    static int RunWorker(CWorkerThread* worker, UINT templateId, CWnd* parent, BOOL showPercentage);
    static int RunWorker(CWorkerThread* worker, LPCSTR templateName, CWnd* parent, BOOL showPercentage);

    CWorkerThreadProgressDialog(CWorkerThread* worker, LPCSTR templateName, CWnd* parent, BOOL showPercentage);
    ~CWorkerThreadProgressDialog() override;

    // Sink side, called on the worker thread.
    void SetText(int index, const char* text) override;
    void OnWorkerEnd(int result) override;
    void StartTimer(UINT id, UINT elapse) override;
    void StopTimer(UINT id) override;
    HWND GetWindow() override { return m_hWnd; }

protected:
    BOOL OnInitDialog() override;
    void OnOK() override {}
    void OnCancel() override;
    afx_msg void OnTimer(UINT_PTR id);
    afx_msg LRESULT OnWorkerEndMessage(WPARAM, LPARAM result);
    afx_msg LRESULT OnTextMessage(WPARAM index, LPARAM text);

    DECLARE_MESSAGE_MAP()

private:
    void ShowProgress();

    BOOL m_bShowPercentage;
};
