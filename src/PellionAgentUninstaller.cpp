#include <windows.h>
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { MessageBoxA(NULL, "テスト", "失敗", MB_OK); return 0; }
