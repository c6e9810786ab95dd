#include "PellionAgentUninstallerDlg.h"

#include "ContractNumber.h"
#include "resource.h"

CPellionAgentUninstallerDlg::CPellionAgentUninstallerDlg(CWnd* parent)
    : CDialog(IDD_CONTRACT, parent),
      m_hIcon(LoadIconA(AfxFindResourceHandle(MAKEINTRESOURCEA(IDR_MAINFRAME), RT_GROUP_ICON),
                        MAKEINTRESOURCEA(IDR_MAINFRAME))) {}

CPellionAgentUninstallerDlg::~CPellionAgentUninstallerDlg() {}

BEGIN_MESSAGE_MAP(CPellionAgentUninstallerDlg, CDialog)
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_BN_CLICKED(IDOK, &CPellionAgentUninstallerDlg::OnBnClickedOk)
END_MESSAGE_MAP()

void CPellionAgentUninstallerDlg::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, IDC_CONTRACT_NO, m_contractEdit);
    DDX_Control(dx, IDCANCEL, m_closeButton);
    DDX_Control(dx, IDOK, m_uninstallButton);
}

BOOL CPellionAgentUninstallerDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);
    LimitToContractNumber(m_contractEdit);
    // The mask slot holds the normal face, as the buttons have always been drawn.
    const UINT faces[] = {IDB_BUTTON_NORMAL, IDB_BUTTON_NORMAL, IDB_BUTTON_PUSH, IDB_BUTTON_HOVER, IDB_BUTTON_DISABLE};
    for (CDesignButton* button : {&m_closeButton, &m_uninstallButton}) {
        for (int i = 0; i < 5; ++i) button->SetImage(i, faces[i]);
        button->ApplyImages(TRUE);
    }
    return TRUE;
}

void CPellionAgentUninstallerDlg::OnPaint() {
    if (IsIconic()) {
        CPaintDC dc(this);
        SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
        int cxIcon = GetSystemMetrics(SM_CXICON);
        int cyIcon = GetSystemMetrics(SM_CYICON);
        CRect rect;
        GetClientRect(&rect);
        int x = (rect.Width() - cxIcon + 1) / 2;
        int y = (rect.Height() - cyIcon + 1) / 2;
        dc.DrawIcon(x, y, m_hIcon);
    } else {
        CDialog::OnPaint();
    }
}

HCURSOR CPellionAgentUninstallerDlg::OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }

void CPellionAgentUninstallerDlg::OnBnClickedOk() {
    UpdateData(FALSE);
    CString typed;
    m_contractEdit.GetWindowText(typed);
    switch (CheckContractNumber(typed)) {
    case ContractCheck::Empty:
        MessageBox("契約書ＮＯを入力してください。", "警告", MB_OK | MB_ICONEXCLAMATION);
        return;
    case ContractCheck::Wrong:
        MessageBox("契約書ＮＯが違います。", "警告", MB_OK | MB_ICONEXCLAMATION);
        return;
    case ContractCheck::NoSettingsFile:
    case ContractCheck::Match:
        CDialog::OnOK();
    }
}
