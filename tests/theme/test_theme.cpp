// The theme on the program's templates and faces, read back as pixels from the screen as the real pointer moves.
#include <windows.h>
#include <gtest/gtest.h>
#include "INC/BasePathUtil.h"
#include "INC/Owner.h"
#include "Driven.h"
#include "controls/LongButton.h"
#include "PellionAgentUninstallerDlg.h"
#include "TestUtil.h"
#include "Util/KDMTheme.h"
#include "resource.h"

namespace {

const HINSTANCE kSelf = GetModuleHandleA(nullptr);
HBITMAP Face(UINT id) { return LoadBitmapA(kSelf, MAKEINTRESOURCEA(id)); }

// The application's image set.
struct Images {
    HBITMAP mask = Face(IDB_BUTTON_MASK), normal = Face(IDB_BUTTON_NORMAL), push = Face(IDB_BUTTON_PUSH),
            hover = Face(IDB_BUTTON_HOVER), disable = Face(IDB_BUTTON_DISABLE);
    ~Images() { for (HBITMAP b : {mask, normal, push, hover, disable}) DeleteObject(b); }
    ThemeImageSet Set() const { return {mask, normal, push, hover, disable, 0xFFFFFFFF}; }
};

bool Themed(const char* cls) {
    WNDCLASSEXA mine = {sizeof(mine)}, system = {sizeof(system)};
    return GetClassInfoExA(kSelf, cls, &mine) && GetClassInfoExA(nullptr, cls, &system) &&
           mine.lpfnWndProc != system.lpfnWndProc;
}

COLORREF FacePixel(UINT id, int x, int y) {
    CGdiHandle<HBITMAP> face(Face(id));
    CMemoryDc dc(CreateCompatibleDC(nullptr));
    CSelection selected(dc.get(), face.get());
    return GetPixel(dc.get(), x, y);
}

// What the screen shows at (x, y) of the window's client area, once it has settled.
COLORREF ScreenPixel(HWND hwnd, int x, int y) { return Sleep(250), GetPixel(CWindowDc(hwnd).dc(), x, y); }

// A push-like check box of the theme's own drawing in a free spot of the contract dialog.
void AddCheckBox(HWND dlg) {
    RECT free = {4, 66, 0, 0};
    MapDialogRect(dlg, &free);
    CreateWindowExA(0, "Button", "x", WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX | BS_PUSHLIKE, free.left, free.top, 60, 25,
                    dlg, reinterpret_cast<HMENU>(2000), kSelf, nullptr);
}

// Registered once; colours of the design's table, faces by state; painting leaves no GDI object behind, and the
// dialog's brush goes; unregistered once, every class as it was.
TEST(Theme, ColoursFacesAndStatesNothingLeft) {
    Images images;
    const ThemeImageSet set = images.Set();
    ASSERT_TRUE(RegisterTheme(kSelf, &set, FALSE));
    EXPECT_FALSE(RegisterTheme(kSelf, &set, FALSE));
    EXPECT_EQ(static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS), GetLastError());
    EXPECT_TRUE(Themed(MAKEINTATOM(32770)) && Themed("Static") && Themed("Button"));
    int before = 0, after = 0;
    HBRUSH brush = nullptr;
    CDriven<CPellionAgentUninstallerDlg> dialog([&](HWND dlg) {
        brush = reinterpret_cast<HBRUSH>(SendMessageA(dlg, WM_CTLCOLORDLG, 0, 0));
        ShowWindow(dlg, SW_SHOW);
        SetForegroundWindow(dlg);
        EXPECT_EQ(RGB(195, 230, 255), ScreenPixel(dlg, 2, 2));  // the dialog's background
        HWND line = GetDlgItem(dlg, 1001), button = GetDlgItem(dlg, IDOK);
        RECT r;
        GetClientRect(line, &r);
        EXPECT_EQ(RGB(182, 196, 213), ScreenPixel(line, r.right / 2, (r.top + r.bottom) / 2));  // the line's dark edge
        for (int i = 0; i < 21; ++i) {  // the first paint may make what the system keeps
            if (i == 1) before = testutil::GdiObjects();
            for (HWND h : {line, button}) RedrawWindow(h, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        }
        after = testutil::GdiObjects();
        HWND check = GetDlgItem(dlg, 2000);
        SendMessageA(check, BM_SETCHECK, BST_CHECKED, 0);
        EXPECT_EQ(FacePixel(IDB_BUTTON_PUSH, 6, 3), ScreenPixel(check, 10, 3));
        // The uninstall button: x 10 lies in the face's repeated middle, above the caption.
        RECT w;
        GetWindowRect(button, &w);
        EXPECT_EQ(FacePixel(IDB_BUTTON_NORMAL, 10, 3), ScreenPixel(button, 10, 3));
        SetCursorPos((w.left + w.right) / 2, (w.top + w.bottom) / 2);
        EXPECT_EQ(FacePixel(IDB_BUTTON_HOVER, 10, 3), ScreenPixel(button, 10, 3));
        SendMessageA(button, BM_SETSTATE, TRUE, 0);
        EXPECT_EQ(FacePixel(IDB_BUTTON_PUSH, 10, 3), ScreenPixel(button, 10, 3));
        SendMessageA(button, BM_SETSTATE, FALSE, 0);
        EnableWindow(button, FALSE);
        EXPECT_EQ(FacePixel(IDB_BUTTON_DISABLE, 10, 3), ScreenPixel(button, 10, 3));
        SetCursorPos(w.right + 100, w.bottom + 100);
        EnableWindow(button, TRUE);
        EXPECT_EQ(FacePixel(IDB_BUTTON_NORMAL, 10, 3), ScreenPixel(button, 10, 3));
    }, AddCheckBox);
    dialog.DoModal();
    // An object left by each paint would add twenty; the system may make or drop one of its own meanwhile.
    EXPECT_TRUE(before > 0 && after < before + 10) << before << " before twenty paints, " << after << " after";
    EXPECT_TRUE(brush != nullptr && GetObjectType(brush) == 0);
    EXPECT_TRUE(UnregisterTheme(kSelf));
    EXPECT_FALSE(Themed(MAKEINTATOM(32770)) || Themed("Static") || Themed("Button"));
    EXPECT_FALSE(UnregisterTheme(kSelf));
    EXPECT_EQ(static_cast<DWORD>(ERROR_CLASS_DOES_NOT_EXIST), GetLastError());
}

// A face whose every column differs: the middle repeated block by block, never stretched; no middle: caps only.
TEST(LongButton, MiddleRepeatedCapsKept) {
    struct Drawer : CSimpleLongButton { using CSimpleLongButton::DrawFace; } button;
    CMemoryDc dc(CreateCompatibleDC(nullptr));
    for (int faceWidth : {60, 14}) {
        SCOPED_TRACE(faceWidth);
        BITMAPINFO info = {{sizeof(BITMAPINFOHEADER), faceWidth, 1, 1, 32, BI_RGB}};
        void* bits = nullptr;
        CGdiHandle<HBITMAP> face(CreateDIBSection(dc.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        for (int x = 0; x < faceWidth; ++x) static_cast<DWORD*>(bits)[x] = 0x010203 * (x + 1);
        CGdiHandle<HBITMAP> black(CreateDIBSection(dc.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));  // opaque
        button.m_faces[CSimpleLongButton::MASK] = black.get();
        button.m_capWidth = 7;
        info.bmiHeader.biWidth = 200;
        CGdiHandle<HBITMAP> canvas(CreateDIBSection(dc.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        CSelection selected(dc.get(), canvas.get());
        button.DrawFace(dc.get(), face.get(), 200);
        GdiFlush();
        for (int x = 0, middle = faceWidth - 14; x < 200; ++x) {
            const int column = x < 7 ? x : x >= 193 ? faceWidth - (200 - x) : middle ? 7 + (x - 7) % middle : -1;
            EXPECT_EQ(column < 0 ? 0u : 0x010203u * (column + 1), static_cast<const DWORD*>(bits)[x] & 0xFFFFFF) << x;
        }
    }
}

// The program's own folder, as the product kind's marker is looked for, whatever its name.
TEST(BasePathUtil, JoinsAndFits) {
    EXPECT_STREQ("C:\\Tools\\a.txt", CBasePathUtil("C:\\Tools\\", nullptr).GetPath("a.txt", FALSE));
    EXPECT_STREQ("C:\\ソ\\a", CBasePathUtil("C:\\ソ", nullptr).GetPath("a", FALSE));  // trail byte 0x5C
    EXPECT_EQ(nullptr, CBasePathUtil(std::string(250, 'x').c_str(), nullptr).GetPath("0123456789", FALSE));
    EXPECT_STREQ((testutil::OwnFolder() + "x").c_str(), CBasePathUtil(nullptr, nullptr).GetPath("x", FALSE));
    EXPECT_EQ(1, GetProductKind());  // the tests' own version resource names no second edition
}

}  // namespace
