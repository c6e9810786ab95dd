// The theme's static class procedure: etched lines in two tones, and the panel
// static with its header bitmap, counter box and hosted window.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "Util/KDMTheme.h"
#include "Util/KDMThemeImpl.h"

namespace {

void Line(HDC dc, int x1, int y1, int x2, int y2, COLORREF color) {
    CGdiHandle<HPEN> pen(CreatePen(PS_SOLID, 1, color));
    CSelection selected(dc, pen.get());
    MoveToEx(dc, x1, y1, nullptr);
    LineTo(dc, x2, y2);
}

void PaintEtchedLine(HWND hwnd) {
    CPaint paint(hwnd);
    RECT r;
    GetClientRect(hwnd, &r);
    const bool across = r.right - r.left > r.bottom - r.top;
    const int mid = across ? (r.top + r.bottom) / 2 : (r.left + r.right) / 2;
    const COLORREF tones[] = {GetThemeColor(991), GetThemeColor(992)};
    for (int i = 0; i < 2; ++i)
        Line(paint.dc(), across ? r.left : mid + i, across ? mid + i : r.top, across ? r.right : mid + i,
             across ? mid + i : r.bottom, tones[i]);
}

HBITMAP LoadThemeImage(HWND hwnd, const char* name) {
    if (!name || !*name) return nullptr;
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(hwnd, GWLP_HINSTANCE));
    const char* resource = name[0] == '#' ? MAKEINTRESOURCEA(atoi(name + 1) & 0xFFFF) : name;
    return static_cast<HBITMAP>(LoadImageA(instance, resource, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION | LR_DEFAULTSIZE));
}

void Fit(HWND panel, HWND window) {
    if (!IsWindow(window)) return;
    RECT r;
    GetClientRect(panel, &r);
    MapWindowPoints(panel, GetParent(window), reinterpret_cast<POINT*>(&r), 2);
    SetWindowPos(window, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_NOZORDER | SWP_NOCOPYBITS | SWP_NOOWNERZORDER);
}

void FrameRect(HDC dc, const RECT& r, COLORREF color) {
    CGdiHandle<HBRUSH> brush(CreateSolidBrush(color));
    ::FrameRect(dc, &r, brush.get());
}

void PaintPanelFrame(HWND hwnd, const CStcProp& prop) {
    CWindowDc window(hwnd, true);
    const HDC dc = window.dc();
    RECT r;
    GetWindowRect(hwnd, &r);
    OffsetRect(&r, -r.left, -r.top);
    if (!prop.header.valid()) {
        FrameRect(dc, r, GetThemeColor(989));
        InflateRect(&r, -1, -1);
        FrameRect(dc, r, GetThemeColor(990));
        return;
    }
    BITMAP bm = {};
    GetObjectA(prop.header.get(), sizeof(bm), &bm);
    {
        CMemoryDc source(CreateCompatibleDC(dc));
        CSelection header(source.get(), prop.header.get());
        BitBlt(dc, 1, 1, bm.bmWidth, bm.bmHeight, source.get(), 0, 0, SRCCOPY);
        StretchBlt(dc, bm.bmWidth + 1, 1, r.right - bm.bmWidth - 1, bm.bmHeight, source.get(), bm.bmWidth - 1, 0, 1,
                   bm.bmHeight, SRCCOPY);
    }
    const int headerLine = r.top + bm.bmHeight + 1;
    FrameRect(dc, r, GetThemeColor(989));
    Line(dc, r.left, headerLine, r.right, headerLine, GetThemeColor(989));
    RECT body = {r.left + 1, headerLine, r.right - 1, r.bottom - 1};
    FrameRect(dc, body, GetThemeColor(990));
    if (prop.counterShown) {
        char text[32];
        if (prop.totalShown) snprintf(text, sizeof(text), "%d/%d", prop.counter, prop.total);
        else snprintf(text, sizeof(text), "%d", prop.counter);
        CSelection font(dc, reinterpret_cast<HFONT>(SendMessageA(GetParent(hwnd), WM_GETFONT, 0, 0)));
        SIZE extent = {0, 0};
        GetTextExtentPoint32A(dc, text, static_cast<int>(strlen(text)), &extent);
        const int width = extent.cx < 20 ? 20 : extent.cx;
        RECT box = {r.right - width - 20, r.top + 4, r.right - 5, headerLine - 4};
        Line(dc, box.left, box.top, box.right, box.top, GetThemeColor(991));
        Line(dc, box.left, box.top, box.left, box.bottom, GetThemeColor(991));
        Line(dc, box.left, box.bottom - 1, box.right, box.bottom - 1, GetThemeColor(992));
        Line(dc, box.right - 1, box.top, box.right - 1, box.bottom, GetThemeColor(992));
        RECT inside = box;
        InflateRect(&inside, -1, -1);
        FillRect(dc, &inside, CGdiHandle<HBRUSH>(CreateSolidBrush(GetThemeColor(993))).get());
        InflateRect(&inside, -6, 0);
        SetTextColor(dc, GetThemeColor(998));
        SetBkColor(dc, GetThemeColor(993));
        DrawTextA(dc, text, -1, &inside, DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
    }
}

LRESULT PanelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, WNDPROC system) {
    CStcProp* prop = PropOf<CStcProp>(hwnd);
    switch (message) {
    case WM_NCCREATE:
        if (!prop && (prop = AttachNewProp<CStcProp>(hwnd)))
            prop->header.reset(LoadThemeImage(hwnd, reinterpret_cast<CREATESTRUCTA*>(lParam)->lpszName));
        break;
    case WM_SETTEXT:
        if (prop) {
            prop->header.reset(LoadThemeImage(hwnd, reinterpret_cast<const char*>(lParam)));
            RecomputeFrame(hwnd);
        }
        break;
    case WM_NCCALCSIZE: {
        RECT* r = reinterpret_cast<RECT*>(lParam);
        BITMAP bm = {};
        const bool header = prop && prop->header.valid();
        if (header) GetObjectA(prop->header.get(), sizeof(bm), &bm);
        r->left += 2;
        r->right -= 2;
        r->bottom -= 2;
        r->top += header ? bm.bmHeight + 3 : 2;
        return 0;
    }
    case WM_NCPAINT:
        if (prop) PaintPanelFrame(hwnd, *prop);
        return 0;
    case WM_PAINT: {
        CPaint nothing(hwnd);
        return 0;
    }
    case WM_ERASEBKGND:
        if (prop && !prop->hosted) {
            RECT r;
            GetClientRect(hwnd, &r);
            FillRect(reinterpret_cast<HDC>(wParam), &r, prop->brush.get());
        }
        return 0;
    case WM_MOVE:
    case WM_SIZE:
        if (prop && prop->hosted) Fit(hwnd, prop->hosted);
        break;
    case WM_THEME_SETBKCOLOR:
        if (prop) {
            prop->SetColor(wParam ? static_cast<COLORREF>(lParam) : GetThemeColor(988));
            InvalidateRect(hwnd, nullptr, TRUE);
        }
        return 0;
    case WM_THEME_GETBKCOLOR: return prop ? prop->color : GetThemeColor(988);
    case WM_THEME_SETCOUNTER:
    case WM_THEME_SETCOUNTER_NOW:
    case WM_THEME_SETTOTAL:
        if (prop && prop->header.valid()) {
            if (message == WM_THEME_SETTOTAL) {
                prop->totalShown = static_cast<BOOL>(wParam);
                prop->total = static_cast<int>(lParam);
            } else {
                prop->counterShown = static_cast<BOOL>(wParam);
                prop->counter = static_cast<int>(lParam);
            }
            if (message == WM_THEME_SETCOUNTER_NOW) PaintPanelFrame(hwnd, *prop);
            else RecomputeFrame(hwnd);
        }
        return 0;
    case WM_THEME_FITWINDOW: Fit(hwnd, reinterpret_cast<HWND>(lParam)); return 0;
    case WM_THEME_SETHOSTWINDOW:
        if (prop) prop->hosted = reinterpret_cast<HWND>(lParam);
        Fit(hwnd, reinterpret_cast<HWND>(lParam));
        return 0;
    case WM_NCDESTROY: {
        const LRESULT result = CallWindowProcA(system, hwnd, message, wParam, lParam);
        DestroyProp(hwnd);
        return result;
    }
    }
    return CallWindowProcA(system, hwnd, message, wParam, lParam);
}

LRESULT StaticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    const WNDPROC system = ThemeRecordOf(hwnd).staticProc;
    DWORD type = static_cast<DWORD>(GetWindowLongPtrA(hwnd, GWL_STYLE)) & SS_TYPEMASK;
    if (message == WM_NCCREATE) type = reinterpret_cast<CREATESTRUCTA*>(lParam)->style & SS_TYPEMASK;
    if (type == SS_USERITEM) return PanelProc(hwnd, message, wParam, lParam, system);
    if (type == SS_ETCHEDFRAME && message == WM_PAINT) {
        RECT r;
        GetClientRect(hwnd, &r);
        if (r.right - r.left != r.bottom - r.top) {
            PaintEtchedLine(hwnd);
            return 0;
        }
    }
    return CallWindowProcA(system, hwnd, message, wParam, lParam);
}

}  // namespace

LRESULT CALLBACK ThemeStaticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return Catching("ThemeStaticProc", [=] { return StaticProc(hwnd, message, wParam, lParam); });
}
