// Drives another program's windows as an operator would. Texts read are CP932 bytes whatever the caller's code page.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

namespace uidriver {

// The first visible top-level window of this caption, (not) a message box, of process pid (0: any); null after ms.
HWND WaitForWindow(const std::wstring& caption, bool messageBox, DWORD pid, DWORD ms);
bool WaitForWindowGone(HWND hwnd, DWORD ms);  // true once it is gone or hidden
// Waits up to ms for the process's end (else STILL_ACTIVE), watching for a visible window of it (*windowSeen).
DWORD WaitWatchingWindows(HANDLE process, DWORD pid, DWORD ms, bool* windowSeen);
std::string GetText(HWND hwnd);               // WM_GETTEXT: GetWindowText reads no control of another process

struct MessageBoxInfo { std::string text; bool hasIcon = false; std::vector<int> buttons; };  // enabled buttons
MessageBoxInfo ReadMessageBox(HWND box);

bool SetText(HWND parent, int id, const std::wstring& text);   // WM_SETTEXT: no filter of the control runs
bool TypeText(HWND parent, int id, const std::wstring& text);  // one sent WM_CHAR a character
// A posted BM_CLICK (a sent one would block while the handler shows a box); false when missing, hidden or disabled.
bool Click(HWND parent, int id);
enum class Key { Enter, Escape };
// Down and up posted to the focused control, so the dialog manager acts as on a real key press.
bool PressKey(HWND window, Key key);

}  // namespace uidriver
