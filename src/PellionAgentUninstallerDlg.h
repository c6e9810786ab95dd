// The contract-number dialog: the operator confirms the customer's contract
// number before anything is removed.
#pragma once
#include "afxwin.h"
#include "controls/DesignButton.h"
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
    CDesignButton m_uninstallButton;
    CDesignButton m_closeButton;
    CMaskEdit m_contractEdit;
};
