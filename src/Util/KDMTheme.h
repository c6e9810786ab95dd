// The program's theme: standard dialog, button and static classes re-registered
// so every window is drawn in the product's colours and button faces.
#pragma once
#include <windows.h>

struct ThemeImageSet {
    HBITMAP hMask;
    HBITMAP hNormal;
    HBITMAP hPush;
    HBITMAP hHover;
    HBITMAP hDisable;
    DWORD dwFlags;
};

BOOL RegisterTheme(HINSTANCE instance, const ThemeImageSet* images, BOOL editVariant);
BOOL UnregisterTheme(HINSTANCE instance);
