// The contract-number dialog: the operator confirms the customer's contract
// number before anything is removed.
#pragma once
#include "afxwin.h"
#include "controls/MaskEdit.h"

class CPellionAgentUninstallerDlg : public CDialog {
public:
    explicit CPellionAgentUninstallerDlg(CWnd* parent = nullptr);
    ~CPellionAgentUninstallerDlg() override;

protected:
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnBnClickedOk();

    DECLARE_MESSAGE_MAP()

private:
    HICON m_hIcon;
    // TODO(CDesignButton): plain buttons until the skinned buttons land.
    CButton m_uninstallButton;
    CButton m_closeButton;
    CMaskEdit m_contractEdit;
};
