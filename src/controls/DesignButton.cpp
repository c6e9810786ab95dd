#include "controls/DesignButton.h"

IMPLEMENT_DYNAMIC(CDesignButton, CButton)

BEGIN_MESSAGE_MAP(CDesignButton, CBufferedButtonEx)
    ON_MESSAGE(BM_GETCHECK, &CDesignButton::OnGetCheck)
END_MESSAGE_MAP()

CDesignButton::CDesignButton() : m_checked(0), m_pIconList(nullptr), m_iconIndex(-1) {}
CDesignButton::~CDesignButton() {}

DWORD CDesignButton::SetImage(int index, UINT bitmapId) {
    m_images[index].DeleteObject();
    const LPCSTR name = MAKEINTRESOURCEA(bitmapId);
    HBITMAP bitmap = LoadBitmapA(AfxFindResourceHandle(name, RT_BITMAP), name);
    if (!bitmap) return GetLastError();
    m_images[index].Attach(bitmap);
    return 0;
}

void CDesignButton::ApplyImages(BOOL keepWidth) {
    ModifyStyle(0, BS_OWNERDRAW);
    for (const CBitmapIna& image : m_images)
        if (!image.m_hObject) return;
    for (int i = 0; i < FACES; ++i) m_faces[i] = m_images[i];
    m_capWidth = 7;
    BITMAP bm = {};
    m_images[NORMAL].GetBitmap(&bm);
    RECT rect;
    GetWindowRect(&rect);
    const int width = keepWidth ? rect.right - rect.left : bm.bmWidth;
    SetWindowPos(nullptr, 0, 0, width, bm.bmHeight, SWP_NOMOVE | SWP_NOZORDER | (keepWidth ? SWP_NOACTIVATE : 0));
}

LRESULT CDesignButton::OnGetCheck(WPARAM, LPARAM) { return m_checked ? 1 : 0; }

void CDesignButton::DrawItem(LPDRAWITEMSTRUCT item) {
    if (m_checked) item->itemState |= ODS_SELECTED;
    CBufferedButtonEx::DrawItem(item);
    if (m_pIconList && m_iconIndex != -1)
        ImageList_Draw(*m_pIconList, m_iconIndex, item->hDC, 6, 6, ILD_TRANSPARENT);
}
