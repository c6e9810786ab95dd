// The theme's button class procedure: push buttons and push-like check and
// radio buttons become owner-drawn from the five faces, with a hover state;
// group boxes get the theme's frame.
#include <windows.h>
#include <commctrl.h>
#include <string.h>

#include <initializer_list>

#include "Util/KDMTheme.h"
#include "Util/KDMThemeImpl.h"

namespace {

const int kCap = 6;  // face columns kept whole at each end

bool IsThemedType(DWORD style) {
    switch (style & BS_TYPEMASK) {
    case BS_PUSHBUTTON:
    case BS_DEFPUSHBUTTON: return true;
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_RADIOBUTTON:
    case BS_3STATE:
    case BS_AUTO3STATE:
    case BS_AUTORADIOBUTTON: return (style & BS_PUSHLIKE) != 0;
    }
    return false;
}

void Redraw(HWND hwnd) { RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW); }

void PaintGroupBox(HWND hwnd) {
    CPaint paint(hwnd);
    const HDC dc = paint.dc();
    RECT r;
    GetClientRect(hwnd, &r);
    char text[260] = "";
    GetWindowTextA(hwnd, text, sizeof(text));
    CSelection font(dc, reinterpret_cast<HFONT>(SendMessageA(hwnd, WM_GETFONT, 0, 0)));
    SIZE extent = {0, 0};
    if (*text) GetTextExtentPoint32A(dc, text, static_cast<int>(strlen(text)), &extent);
    const int y = r.top + extent.cy / 2;
    const int x9 = *text ? (r.left + extent.cx + 12 < r.right - 3 ? r.left + extent.cx + 12 : r.right - 3) : r.left + 8;
    const POINT points[] = {{r.left + 8, y},          {r.left + 2, y},          {r.left, y + 2},
                            {r.left, r.bottom - 3},   {r.left + 2, r.bottom - 1}, {r.right - 3, r.bottom - 1},
                            {r.right - 1, r.bottom - 3}, {r.right - 1, y + 2},     {r.right - 3, y},
                            {x9, y}};
    CGdiHandle<HPEN> pen(CreatePen(PS_SOLID, 1, GetThemeColor(996)));
    CSelection selected(dc, pen.get());
    Polyline(dc, points, 10);
    if (*text) {
        RECT caption = {r.left + 10, r.top, r.left + 10 + extent.cx < r.right ? r.left + 10 + extent.cx : r.right,
                        r.bottom};
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetThemeColor(997));
        DrawTextA(dc, text, -1, &caption, DT_SINGLELINE);
    }
}

LRESULT ButtonProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    const WNDPROC system = ThemeRecordOf(hwnd).buttonProc;
    CBtnProp* prop = PropOf<CBtnProp>(hwnd);
    const DWORD style = static_cast<DWORD>(GetWindowLongPtrA(hwnd, GWL_STYLE));
    if (message == WM_NCCREATE) {
        CREATESTRUCTA* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        if (IsThemedType(create->style) && create->hInstance) {
            CBtnProp* themed = new CBtnProp;
            themed->themed = 1;
            themed->creationType = create->style & (BS_TYPEMASK | BS_PUSHLIKE);
            AttachProp(hwnd, themed);
            create->style = (create->style & ~0x4) | BS_OWNERDRAW;
            SetWindowLongPtrA(hwnd, GWL_STYLE, create->style);
            RecomputeFrame(hwnd);
        }
    } else if ((style & BS_TYPEMASK) == BS_OWNERDRAW && prop && prop->themed) {
        switch (message) {
        case WM_MOUSEMOVE:
            if (!prop->hover) {
                prop->hover = 1;
                Redraw(hwnd);
                TRACKMOUSEEVENT track = {sizeof(track), TME_LEAVE, hwnd, 0};
                _TrackMouseEvent(&track);
            }
            break;
        case WM_MOUSELEAVE:
            if (prop->hover) {
                prop->hover = 0;
                Redraw(hwnd);
            }
            break;
        case BM_GETCHECK: return prop->checkState;
        case BM_SETCHECK:
            prop->checkState = static_cast<DWORD>(wParam);
            InvalidateRect(hwnd, nullptr, FALSE);
            break;
        }
    } else if ((style & BS_TYPEMASK) == BS_GROUPBOX && !prop && message == WM_PAINT) {
        PaintGroupBox(hwnd);
        return 0;
    }
    if (message == WM_NCDESTROY && prop) {
        const LRESULT result = CallWindowProcA(system, hwnd, message, wParam, lParam);
        DestroyProp(hwnd);
        return result;
    }
    return CallWindowProcA(system, hwnd, message, wParam, lParam);
}

}  // namespace

LRESULT CALLBACK ThemeButtonProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return Catching("ThemeButtonProc", [=] { return ButtonProc(hwnd, message, wParam, lParam); });
}

// Composed off screen from the current content: caps through the mask, the
// middle repeated by stretching a two-column strip, then the caption.
BOOL DrawThemeButton(const DRAWITEMSTRUCT* item) {
    if (!item || item->CtlType != ODT_BUTTON) return FALSE;
    CBtnProp* prop = PropOf<CBtnProp>(item->hwndItem);
    if (!prop || !prop->themed || !IsThemedType(prop->creationType)) return FALSE;
    UINT state = item->itemState;
    const DWORD type = prop->creationType & BS_TYPEMASK;
    if (type != BS_PUSHBUTTON && type != BS_DEFPUSHBUTTON)
        state = prop->checkState == BST_CHECKED ? state | ODS_CHECKED : state & ~ODS_CHECKED;
    const ThemeClassRecord record = ThemeRecordOf(item->hwndItem);
    HBITMAP face = (state & ODS_DISABLED)                       ? record.disable
                   : (state & (ODS_SELECTED | ODS_CHECKED))     ? record.push
                   : prop->hover                                ? record.hover
                                                                : record.normal;
    const RECT& r = item->rcItem;
    const int width = r.right - r.left, height = r.bottom - r.top;
    CMemoryDc memory(CreateCompatibleDC(item->hDC));
    CGdiHandle<HBITMAP> canvas(CreateCompatibleBitmap(item->hDC, width, height));
    CSelection onCanvas(memory.get(), canvas.get());
    const HDC m = memory.get();
    BitBlt(m, 0, 0, width, height, item->hDC, r.left, r.top, SRCCOPY);
    SetStretchBltMode(m, COLORONCOLOR);
    BITMAP bm = {};
    GetObjectA(face, sizeof(bm), &bm);
    {
        CMemoryDc source(CreateCompatibleDC(item->hDC));
        const HDC s = source.get();
        CSelection mask(s, record.mask);
        StretchBlt(m, 0, 0, kCap, height, s, 0, 0, kCap, bm.bmHeight, SRCAND);
        StretchBlt(m, width - kCap, 0, kCap, height, s, bm.bmWidth - kCap, 0, kCap, bm.bmHeight, SRCAND);
        SelectObject(s, face);  // the mask's selection puts back what came first
        StretchBlt(m, 0, 0, kCap, height, s, 0, 0, kCap, bm.bmHeight, SRCPAINT);
        StretchBlt(m, width - kCap, 0, kCap, height, s, bm.bmWidth - kCap, 0, kCap, bm.bmHeight, SRCPAINT);
        if (width > 2 * kCap) StretchBlt(m, kCap, 0, width - 2 * kCap, height, s, kCap, 0, 2, bm.bmHeight, SRCCOPY);
    }

    char text[260] = "";
    GetWindowTextA(item->hwndItem, text, sizeof(text));
    RECT textRect = {0, 0, width, height};
    if (state & ODS_SELECTED) OffsetRect(&textRect, 1, 1);
    SetBkMode(m, TRANSPARENT);
    SetTextColor(m, GetThemeColor((state & ODS_DISABLED) ? 995 : 994));
    {
        CSelection font(m, reinterpret_cast<HFONT>(SendMessageA(GetParent(item->hwndItem), WM_GETFONT, 0, 0)));
        DrawTextA(m, text, -1, &textRect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
    BitBlt(item->hDC, r.left, r.top, width, height, m, 0, 0, SRCCOPY);
    return TRUE;
}

void OnThemeButtonClicked(HWND button) {
    CBtnProp* prop = PropOf<CBtnProp>(button);
    const DWORD type = prop ? prop->creationType & BS_TYPEMASK : 0;
    if (!prop) return;
    if (type == BS_AUTOCHECKBOX) {
        prop->checkState = prop->checkState == 0 ? 1 : 0;
    } else if (type == BS_AUTO3STATE) {
        static const char* const names[] = {"BST_CHECKED\n", "BST_INDETERMINATE\n", "BST_UNCHECKED\n"};
        const DWORD next = prop->checkState == 0 ? 1 : prop->checkState == 1 ? 2 : 0;
        OutputDebugStringA(names[prop->checkState == 0 ? 0 : prop->checkState == 1 ? 1 : 2]);
        prop->checkState = next;
    } else if (type == BS_AUTORADIOBUTTON) {
        prop->checkState = 1;
        HWND dialog = GetParent(button);
        for (BOOL previous : {TRUE, FALSE}) {
            HWND last = button;
            for (HWND h = GetNextDlgGroupItem(dialog, button, previous); h && h != button && h != last;
                 h = GetNextDlgGroupItem(dialog, h, previous)) {
                if (previous) {
                    char line[64];
                    wsprintfA(line, "Check:0x%08x / Now:0x%08x\n", h, last);
                    OutputDebugStringA(line);
                }
                char cls[16] = "";
                GetClassNameA(h, cls, sizeof(cls));
                if (lstrcmpiA(cls, "Button") == 0) SendMessageA(h, BM_SETCHECK, 0, 0);
                last = h;
            }
        }
    }
}
