// Device contexts and drawing objects: ownership, selection, paint contexts.
#include <gtest/gtest.h>

#include <set>

#include "AfxTestUtil.h"
#include "afximpl.h"
#include "afxwin.h"

namespace {

HBITMAP NewBitmap(int w = 8, int h = 4) { return CreateBitmap(w, h, 1, 32, nullptr); }

// GDI objects of the process, where the platform counts them (0 where it does not).
DWORD GdiCount() { return GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS); }

TEST(GdiTest, BitmapOwnsWhatItAttached) {
    HBITMAP h = NewBitmap();
    {
        CBitmap bmp;
        ASSERT_TRUE(bmp.Attach(h));
        EXPECT_EQ(h, static_cast<HBITMAP>(bmp));
        EXPECT_EQ(&bmp, CBitmap::FromHandle(h));
        EXPECT_EQ(&bmp, CGdiObject::FromHandle(h));
        CBitmap other;
        EXPECT_FALSE(other.Attach(h));  // one owner per handle
        HBITMAP second = NewBitmap();
        EXPECT_FALSE(bmp.Attach(second));  // it holds one already
        DeleteObject(second);
    }
    EXPECT_EQ(0u, static_cast<unsigned>(GetObjectType(h)));  // deleted with its owner

    CBitmap bmp;
    EXPECT_FALSE(bmp.DeleteObject());
    h = NewBitmap(5, 3);
    ASSERT_TRUE(bmp.Attach(h));
    BITMAP info = {};
    EXPECT_NE(0, bmp.GetBitmap(&info));
    EXPECT_EQ(5, info.bmWidth);
    EXPECT_EQ(3, info.bmHeight);
    EXPECT_TRUE(bmp.DeleteObject());
    EXPECT_EQ(nullptr, bmp.m_hObject);
    EXPECT_EQ(0u, static_cast<unsigned>(GetObjectType(h)));
    EXPECT_FALSE(bmp.DeleteObject());

    h = NewBitmap();
    ASSERT_TRUE(bmp.Attach(h));
    EXPECT_EQ(h, bmp.Detach());
    EXPECT_NE(0u, static_cast<unsigned>(GetObjectType(h)));  // detached: still there
    CBitmap* temp = CBitmap::FromHandle(h);
    ASSERT_NE(nullptr, temp);
    EXPECT_NE(&bmp, temp);
    EXPECT_EQ(temp, CBitmap::FromHandle(h));
    DeleteObject(h);
    AfxSweepTemporaries();
}

TEST(GdiTest, SelectObjectGivesThePreviousObject) {
    CDC mem;
    ASSERT_TRUE(mem.CreateCompatibleDC(nullptr));
    HDC memHandle = mem.m_hDC;
    EXPECT_EQ(&mem, CDC::FromHandle(memHandle));
    HGDIOBJ initial = GetCurrentObject(memHandle, OBJ_BITMAP);

    // Colour bitmaps: compatible with the screen, not with the memory context's 1x1 mono one.
    HDC screenHandle = GetDC(nullptr);
    CDC* screen = CDC::FromHandle(screenHandle);
    CBitmap bmp;
    ASSERT_TRUE(bmp.CreateCompatibleBitmap(screen, 16, 16));
    CBitmap* previous = mem.SelectObject(&bmp);
    ASSERT_NE(nullptr, previous);
    EXPECT_EQ(initial, previous->m_hObject);
    EXPECT_EQ(&bmp, mem.SelectObject(previous));  // the owner comes back, not a wrapper
    EXPECT_EQ(nullptr, mem.SelectObject(static_cast<CBitmap*>(nullptr)));

    CFont* font = CFont::FromHandle(static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)));
    CFont* oldFont = mem.SelectObject(font);
    ASSERT_NE(nullptr, oldFont);
    EXPECT_EQ(font, mem.SelectObject(oldFont));

    mem.SelectObject(&bmp);
    EXPECT_EQ(OPAQUE, mem.SetBkMode(TRANSPARENT));
    EXPECT_EQ(TRANSPARENT, mem.SetBkMode(TRANSPARENT));
    mem.SetTextColor(RGB(1, 2, 3));
    EXPECT_EQ(RGB(1, 2, 3), mem.SetTextColor(RGB(0, 0, 0)));
    int saved = mem.SaveDC();
    EXPECT_NE(0, saved);
    mem.SetBkMode(OPAQUE);
    EXPECT_TRUE(mem.RestoreDC(saved));
    EXPECT_EQ(TRANSPARENT, mem.SetBkMode(TRANSPARENT));

    CRect r(0, 0, 16, 16);
    FillRect(mem, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));

    CDC other;
    ASSERT_TRUE(other.CreateCompatibleDC(&mem));
    CBitmap target;
    ASSERT_TRUE(target.CreateCompatibleBitmap(screen, 16, 16));
    CBitmap* otherPrevious = other.SelectObject(&target);
    SetPixel(mem, 2, 3, RGB(255, 0, 0));
    EXPECT_TRUE(other.BitBlt(0, 0, 16, 16, &mem, 0, 0, SRCCOPY));
    EXPECT_EQ(RGB(255, 0, 0), GetPixel(other, 2, 3));
    SetPixel(other, 10, 10, RGB(0, 0, 255));
    SetPixel(mem, 10, 10, RGB(0, 255, 0));
    EXPECT_TRUE(other.TransparentBlt(0, 0, 16, 16, &mem, 0, 0, 16, 16, RGB(0, 255, 0)));
    EXPECT_EQ(RGB(0, 0, 255), GetPixel(other, 10, 10));  // the key colour left it alone
    other.SelectObject(otherPrevious);
    mem.SelectObject(previous);
    ReleaseDC(nullptr, screenHandle);

    HDC otherHandle;
    {
        CDC scoped;
        ASSERT_TRUE(scoped.CreateCompatibleDC(nullptr));
        otherHandle = scoped.m_hDC;
    }
    EXPECT_EQ(0u, static_cast<unsigned>(GetObjectType(otherHandle)));  // deleted with its object
}

class CPaintTarget : public CWnd {
public:
    int paints = 0;
    bool wrapped = true;
    std::set<HDC> seen;

protected:
    void OnPaint() {
        CPaintDC dc(this);
        ++paints;
        seen.insert(dc.m_hDC);
        wrapped = wrapped && CDC::FromHandle(dc.m_hDC) == &dc;
        CRect r;
        GetClientRect(&r);
        FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CPaintTarget, CWnd)
    ON_WM_PAINT()
END_MESSAGE_MAP()

TEST(GdiTest, PaintContextEndsThePaintAndReleasesItsContext) {
    afxtest::TestWindow w(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    CPaintTarget target;
    ASSERT_TRUE(target.SubclassWindow(w.get()));
    afxtest::Pump();
    DWORD before = GdiCount();
    int start = target.paints;
    for (int i = 0; i < 300; ++i) {
        target.Invalidate();
        UpdateWindow(w.get());
        RECT update;
        EXPECT_FALSE(GetUpdateRect(w.get(), &update, FALSE));
    }
    EXPECT_EQ(300, target.paints - start);
    EXPECT_TRUE(target.wrapped);
    // Each paint gave its context back, so the same few contexts come round again.
    EXPECT_LE(target.seen.size(), 4u);
    if (before != 0) {
        EXPECT_LE(GdiCount(), before + 2);
    }

    std::set<HDC> client;
    for (int i = 0; i < 300; ++i) {
        CClientDC dc(&target);
        ASSERT_NE(nullptr, dc.m_hDC);
        client.insert(dc.m_hDC);
    }
    EXPECT_LE(client.size(), 4u);
}

TEST(GdiTest, ImageListOwnership) {
    CImageList list;
    EXPECT_FALSE(list.DeleteImageList());
    HIMAGELIST h = ImageList_Create(16, 16, ILC_COLOR32, 1, 1);
    ASSERT_NE(nullptr, h);
    ASSERT_TRUE(list.Attach(h));
    EXPECT_EQ(h, list.GetSafeHandle());
    EXPECT_FALSE(list.Attach(h));
    EXPECT_EQ(h, list.Detach());
    EXPECT_EQ(0, ImageList_GetImageCount(h));  // still alive
    ASSERT_TRUE(list.Attach(h));
    EXPECT_TRUE(list.DeleteImageList());
    EXPECT_EQ(nullptr, list.m_hImageList);
}

}  // namespace
