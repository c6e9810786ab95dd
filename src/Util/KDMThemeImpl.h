// What the theme's window procedures share: the record of a module's
// registration, the per-window properties and the drawing helpers.
#pragma once
#include <windows.h>

#include "INC/Owner.h"
#include "TarnLog/TarnLog.h"
#include "Util/KDMTheme.h"

struct ThemeClassRecord {
    WNDPROC dialogProc, buttonProc, staticProc;  // the system classes' procedures
    HBITMAP mask, normal, push, hover, disable;  // the theme's own copies
};

// The record of the window's module; all zero when it has none.
ThemeClassRecord ThemeRecordOf(HWND hwnd);

// Attached to a themed window as "WndProp" from WM_NCCREATE to WM_NCDESTROY.
class CWndProp {
public:
    virtual ~CWndProp() {}
};
class CBtnProp : public CWndProp {
public:
    DWORD hover = 0, themed = 0, creationType = 0, checkState = 0;
};
// A background colour and the solid brush of it, made anew on every change.
class CBackground {
public:
    explicit CBackground(COLORREF initial) : color(initial), brush(CreateSolidBrush(initial)) {}
    void SetColor(COLORREF value) {
        color = value;
        brush.reset(CreateSolidBrush(value));
    }
    COLORREF color;
    CGdiHandle<HBRUSH> brush;
};
class CDlgProp : public CWndProp, public CBackground {
public:
    CDlgProp() : CBackground(GetThemeColor(999)) {}
    WNDPROC replaced = nullptr;
};
class CStcProp : public CWndProp, public CBackground {
public:
    CStcProp() : CBackground(GetThemeColor(988)) {}
    CGdiHandle<HBITMAP> header;
    BOOL counterShown = FALSE;
    int counter = 0;
    BOOL totalShown = FALSE;
    int total = 0;
    HWND hosted = nullptr;
};

// Attaches prop (deleted at once when that fails); the property of hwnd; and
// its removal with the object at WM_NCDESTROY.
void AttachProp(HWND hwnd, CWndProp* prop);
template <class T>
T* PropOf(HWND hwnd) {
    return dynamic_cast<T*>(static_cast<CWndProp*>(GetPropA(hwnd, "WndProp")));
}
void DestroyProp(HWND hwnd);
// A new property of type T on hwnd; null when the window would not take it.
template <class T>
T* AttachNewProp(HWND hwnd) {
    AttachProp(hwnd, new T);
    return PropOf<T>(hwnd);
}

// A window procedure's body, so that no exception reaches the system: one is logged where it stopped and the
// message counts as not handled (0).
template <class Body>
LRESULT Catching(const char* where, Body body) {
    LRESULT result = 0;
    RunLoggingExceptions(where, [&] { result = body(); });
    return result;
}

LRESULT CALLBACK ThemeDialogProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK ThemeDialogEditProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK ThemeButtonProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK ThemeStaticProc(HWND, UINT, WPARAM, LPARAM);
// TRUE when it drew the themed button of the request.
BOOL DrawThemeButton(const DRAWITEMSTRUCT* item);
void OnThemeButtonClicked(HWND button);
// SetWindowPos with nothing but SWP_FRAMECHANGED.
void RecomputeFrame(HWND hwnd);
