// The start-up baseline: a program that shows the contract dialog's template and nothing else.
#include <windows.h>

#include "resource.h"

static INT_PTR CALLBACK Proc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    return static_cast<int>(DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_CONTRACT), nullptr, Proc, 0));
}
