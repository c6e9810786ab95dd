#include "afxwin.h"

#include "afxhandles.h"
#include "afximpl.h"

namespace {

bool GdiAlive(HGDIOBJ h) { return GetObjectType(h) != 0; }
bool DcAlive(HDC h) { return GetObjectType(h) != 0; }

AfxHandleMap<HGDIOBJ, CGdiObject, &CGdiObject::m_hObject>& GdiMap() {
    static AfxHandleMap<HGDIOBJ, CGdiObject, &CGdiObject::m_hObject> map(GdiAlive);
    return map;
}

AfxHandleMap<HDC, CDC, &CDC::m_hDC>& DcMap() {
    static AfxHandleMap<HDC, CDC, &CDC::m_hDC> map(DcAlive);
    return map;
}

HDC HdcOf(const CDC* dc) { return dc ? dc->m_hDC : nullptr; }

}  // namespace

size_t AfxTemporaryGdiCount() { return GdiMap().TemporaryCount() + DcMap().TemporaryCount(); }

void AfxSweepGdiTemporaries() {
    GdiMap().Sweep();
    DcMap().Sweep();
}

// ---- Drawing objects ------------------------------------------------------------

IMPLEMENT_DYNAMIC(CGdiObject, CObject)
IMPLEMENT_DYNAMIC(CBitmap, CGdiObject)

CGdiObject::~CGdiObject() { DeleteObject(); }

CGdiObject* CGdiObject::FromHandle(HGDIOBJ h) { return GdiMap().FromHandle<CGdiObject>(h); }

BOOL CGdiObject::Attach(HGDIOBJ h) {
    if (!h || m_hObject || !GdiMap().AddPermanent(h, this)) return FALSE;
    m_hObject = h;
    return TRUE;
}

HGDIOBJ CGdiObject::Detach() {
    HGDIOBJ h = m_hObject;
    if (h) GdiMap().RemovePermanent(h, this);
    m_hObject = nullptr;
    return h;
}

BOOL CGdiObject::DeleteObject() {
    if (!m_hObject) return FALSE;
    return ::DeleteObject(Detach());
}

CBitmap* CBitmap::FromHandle(HBITMAP h) { return GdiMap().FromHandle<CBitmap>(h); }

BOOL CBitmap::CreateCompatibleBitmap(CDC* dc, int width, int height) {
    HBITMAP h = ::CreateCompatibleBitmap(HdcOf(dc), width, height);
    if (h && Attach(h)) return TRUE;
    if (h) ::DeleteObject(h);
    return FALSE;
}

int CBitmap::GetBitmap(BITMAP* bitmap) const { return ::GetObjectA(m_hObject, sizeof(BITMAP), bitmap); }

// ---- Device contexts ------------------------------------------------------------

IMPLEMENT_DYNAMIC(CDC, CObject)
IMPLEMENT_DYNAMIC(CPaintDC, CDC)

CDC::~CDC() { DeleteDC(); }

CDC* CDC::FromHandle(HDC h) { return DcMap().FromHandle<CDC>(h); }

BOOL CDC::Attach(HDC h) {
    if (!h || m_hDC || !DcMap().AddPermanent(h, this)) return FALSE;
    m_hDC = h;
    return TRUE;
}

HDC CDC::Detach() {
    HDC h = m_hDC;
    if (h) DcMap().RemovePermanent(h, this);
    m_hDC = nullptr;
    return h;
}

BOOL CDC::CreateCompatibleDC(CDC* dc) {
    HDC h = ::CreateCompatibleDC(HdcOf(dc));
    if (h && Attach(h)) return TRUE;
    if (h) ::DeleteDC(h);
    return FALSE;
}

BOOL CDC::DeleteDC() {
    if (!m_hDC) return FALSE;
    return ::DeleteDC(Detach());
}

namespace {

HGDIOBJ Select(HDC dc, const CGdiObject* object) {
    if (!dc || !object || !object->m_hObject) return nullptr;
    HGDIOBJ old = ::SelectObject(dc, object->m_hObject);
    return old == HGDI_ERROR ? nullptr : old;
}

}  // namespace

CGdiObject* CDC::SelectObject(CGdiObject* object) { return CGdiObject::FromHandle(Select(m_hDC, object)); }

CBitmap* CDC::SelectObject(CBitmap* bitmap) {
    return CBitmap::FromHandle(static_cast<HBITMAP>(Select(m_hDC, bitmap)));
}

int CDC::SetBkMode(int mode) { return ::SetBkMode(m_hDC, mode); }
COLORREF CDC::SetTextColor(COLORREF color) { return ::SetTextColor(m_hDC, color); }
int CDC::SetStretchBltMode(int mode) { return ::SetStretchBltMode(m_hDC, mode); }
int CDC::SaveDC() { return ::SaveDC(m_hDC); }
BOOL CDC::RestoreDC(int saved) { return ::RestoreDC(m_hDC, saved); }
BOOL CDC::DrawIcon(int x, int y, HICON icon) { return ::DrawIcon(m_hDC, x, y, icon); }

int CDC::DrawText(const CString& text, LPRECT rect, UINT format) {
    return ::DrawTextA(m_hDC, text, text.GetLength(), rect, format);
}

BOOL CDC::BitBlt(int x, int y, int width, int height, CDC* src, int xSrc, int ySrc, DWORD rop) {
    return ::BitBlt(m_hDC, x, y, width, height, HdcOf(src), xSrc, ySrc, rop);
}

BOOL CDC::TransparentBlt(int x, int y, int width, int height, CDC* src, int xSrc, int ySrc, int srcWidth,
                         int srcHeight, UINT transparentColor) {
    // gdi32 (a known DLL) rather than msimg32, which would be searched for beside the program.
    return ::GdiTransparentBlt(m_hDC, x, y, width, height, HdcOf(src), xSrc, ySrc, srcWidth, srcHeight,
                            transparentColor);
}

CPaintDC::CPaintDC(CWnd* wnd) : m_ps(), m_hWnd(wnd->m_hWnd) { Attach(::BeginPaint(m_hWnd, &m_ps)); }

CPaintDC::~CPaintDC() {
    Detach();
    ::EndPaint(m_hWnd, &m_ps);
}

// ---- Image lists ------------------------------------------------------------------

IMPLEMENT_DYNAMIC(CImageList, CObject)

CImageList::~CImageList() { DeleteImageList(); }

BOOL CImageList::Attach(HIMAGELIST h) {
    if (!h || m_hImageList) return FALSE;
    m_hImageList = h;
    return TRUE;
}

HIMAGELIST CImageList::Detach() {
    HIMAGELIST h = m_hImageList;
    m_hImageList = nullptr;
    return h;
}

BOOL CImageList::DeleteImageList() {
    if (!m_hImageList) return FALSE;
    return ImageList_Destroy(Detach());
}
