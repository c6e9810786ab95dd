// Device contexts and drawing objects. Each wrapper owns what it attached and
// releases it at destruction; FromHandle gives a temporary wrapper that never does.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include "afxobj.h"
#include "afxstr.h"

struct CPoint : POINT {
    CPoint() { x = y = 0; }
    CPoint(int ix, int iy) { x = ix; y = iy; }
};

struct CRect : RECT {
    CRect() { left = top = right = bottom = 0; }
    CRect(int l, int t, int r, int b) { left = l; top = t; right = r; bottom = b; }
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    operator LPRECT() { return this; }
    operator LPCRECT() const { return this; }
};

class CGdiObject : public CObject {
    DECLARE_DYNAMIC(CGdiObject)
public:
    HGDIOBJ m_hObject = nullptr;

    CGdiObject() = default;
    ~CGdiObject() override;  // deletes an attached object

    operator HGDIOBJ() const { return m_hObject; }
    static CGdiObject* FromHandle(HGDIOBJ h);

    BOOL Attach(HGDIOBJ h);  // FALSE for null, or when this or another object holds it already
    HGDIOBJ Detach();
    BOOL DeleteObject();  // FALSE when nothing is attached
};

class CBitmap : public CGdiObject {
    DECLARE_DYNAMIC(CBitmap)
public:
    operator HBITMAP() const { return static_cast<HBITMAP>(m_hObject); }
    static CBitmap* FromHandle(HBITMAP h);
    BOOL CreateCompatibleBitmap(class CDC* dc, int width, int height);
    int GetBitmap(BITMAP* bitmap) const;
};

class CDC : public CObject {
    DECLARE_DYNAMIC(CDC)
public:
    HDC m_hDC = nullptr;

    CDC() = default;
    ~CDC() override;  // deletes an attached context (DeleteDC)

    operator HDC() const { return m_hDC; }
    HDC GetSafeHdc() const { return m_hDC; }
    static CDC* FromHandle(HDC h);

    BOOL Attach(HDC h);
    HDC Detach();
    BOOL CreateCompatibleDC(CDC* dc);
    BOOL DeleteDC();

    // Each returns the previously selected object (its owner, else a temporary
    // wrapper), or null on failure. A font goes in as a CGdiObject.
    CGdiObject* SelectObject(CGdiObject* object);
    CBitmap* SelectObject(CBitmap* bitmap);

    int SetBkMode(int mode);
    COLORREF SetTextColor(COLORREF color);
    int SetStretchBltMode(int mode);
    int SaveDC();
    BOOL RestoreDC(int saved);
    BOOL DrawIcon(int x, int y, HICON icon);
    int DrawText(const CString& text, LPRECT rect, UINT format);
    BOOL BitBlt(int x, int y, int width, int height, CDC* src, int xSrc, int ySrc, DWORD rop);
    BOOL TransparentBlt(int x, int y, int width, int height, CDC* src, int xSrc, int ySrc, int srcWidth,
                        int srcHeight, UINT transparentColor);
};

// The context of a WM_PAINT: BeginPaint at construction, EndPaint at destruction.
class CPaintDC : public CDC {
    DECLARE_DYNAMIC(CPaintDC)
public:
    explicit CPaintDC(CWnd* wnd);
    ~CPaintDC() override;
    PAINTSTRUCT m_ps;

private:
    HWND m_hWnd;
};

// An image list; an attached list is destroyed with the object.
class CImageList : public CObject {
    DECLARE_DYNAMIC(CImageList)
public:
    HIMAGELIST m_hImageList = nullptr;

    CImageList() = default;
    ~CImageList() override;
    operator HIMAGELIST() const { return m_hImageList; }
    BOOL Attach(HIMAGELIST h);
    HIMAGELIST Detach();
    BOOL DeleteImageList();
};
