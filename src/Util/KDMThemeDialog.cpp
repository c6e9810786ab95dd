// The theme's dialog class procedures: background, transparent statics and
// buttons, themed button drawing and clicks; F1 asks for no help.
#include "Util/KDMTheme.h"
#include "Util/KDMThemeImpl.h"

namespace {

LRESULT CALLBACK ThemeDialogSubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

LRESULT SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CDlgProp* prop = PropOf<CDlgProp>(hwnd);
    WNDPROC replaced = prop ? prop->replaced : nullptr;
    if (message == WM_HELP) return TRUE;
    if (message == WM_NCDESTROY && replaced &&
        reinterpret_cast<WNDPROC>(GetWindowLongPtrA(hwnd, GWLP_WNDPROC)) == ThemeDialogSubclassProc)
        SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(replaced));
    return replaced ? CallWindowProcA(replaced, hwnd, message, wParam, lParam)
                    : DefDlgProcA(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK ThemeDialogSubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return Catching("ThemeDialogSubclassProc", [=] { return SubclassProc(hwnd, message, wParam, lParam); });
}

LRESULT DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, bool editVariant) {
    CDlgProp* prop = PropOf<CDlgProp>(hwnd);
    switch (message) {
    case WM_NCCREATE:
        if (!prop && (prop = AttachNewProp<CDlgProp>(hwnd)))
            prop->replaced = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ThemeDialogSubclassProc)));
        break;
    case WM_NCDESTROY: {
        const LRESULT result = CallWindowProcA(ThemeRecordOf(hwnd).dialogProc, hwnd, message, wParam, lParam);
        DestroyProp(hwnd);
        return result;
    }
    case WM_DRAWITEM:
        if (DrawThemeButton(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam))) return TRUE;
        break;
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED && lParam) OnThemeButtonClicked(reinterpret_cast<HWND>(lParam));
        break;
    case WM_CTLCOLORSTATIC:
        if (editVariant) {
            char cls[256] = "";
            GetClassNameA(reinterpret_cast<HWND>(lParam), cls, sizeof(cls));
            if (lstrcmpiA(cls, "Edit") != 0) SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
            return reinterpret_cast<LRESULT>(prop ? prop->brush.get() : nullptr);
        }
        // fall through
    case WM_CTLCOLORBTN:
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        return reinterpret_cast<LRESULT>(prop ? prop->brush.get() : nullptr);
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
        return reinterpret_cast<LRESULT>(prop ? prop->brush.get() : nullptr);
    case WM_THEME_SETBKCOLOR:
        if (prop) {
            prop->SetColor(wParam ? static_cast<COLORREF>(lParam) : GetThemeColor(999));
            InvalidateRect(hwnd, nullptr, TRUE);
        }
        return 0;
    case WM_THEME_GETBKCOLOR:
        return prop ? prop->color : GetThemeColor(999);
    }
    return CallWindowProcA(ThemeRecordOf(hwnd).dialogProc, hwnd, message, wParam, lParam);
}

}  // namespace

LRESULT CALLBACK ThemeDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return Catching("ThemeDialogProc", [=] { return DialogProc(hwnd, message, wParam, lParam, false); });
}

LRESULT CALLBACK ThemeDialogEditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return Catching("ThemeDialogEditProc", [=] { return DialogProc(hwnd, message, wParam, lParam, true); });
}
