// The program's theme: the standard dialog, button and static classes
// re-registered for the program's own module, so every window it creates from
// its templates is drawn in the product's colours and button faces.
#pragma once
#include <windows.h>

enum { THEME_DIALOG = 1, THEME_STATIC = 2, THEME_BUTTON = 4 };

struct ThemeImageSet {
    HBITMAP hMask;
    HBITMAP hNormal;
    HBITMAP hPush;
    HBITMAP hHover;
    HBITMAP hDisable;
    DWORD dwFlags;
};

// The caller keeps its bitmaps; the theme works on copies. FALSE with 87 or
// 1410 (already registered); any other failure is logged and leaves the rest
// standing.
BOOL RegisterTheme(HINSTANCE instance, const ThemeImageSet* images, BOOL editVariant);
// FALSE with 1411 when nothing was registered.
BOOL UnregisterTheme(HINSTANCE instance);
COLORREF GetThemeColor(int id);

// Messages themed windows understand beyond the standard ones.
const UINT WM_THEME_SETBKCOLOR = 0xB456;
const UINT WM_THEME_GETBKCOLOR = 0xB457;
const UINT WM_THEME_SETCOUNTER = 0xB458;
const UINT WM_THEME_SETCOUNTER_NOW = 0xB459;
const UINT WM_THEME_SETTOTAL = 0xB45A;
const UINT WM_THEME_FITWINDOW = 0xB460;
const UINT WM_THEME_SETHOSTWINDOW = 0xB461;
