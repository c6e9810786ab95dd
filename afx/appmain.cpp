// The program's entry point, linked into every program with an application
// object (see app.cpp).
#include "afxwin.h"

extern "C" int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR cmdLine, int nCmdShow) {
    return AfxWinMain(hInstance, hPrevInstance, cmdLine, nCmdShow);
}
