// Test-only driver of other programs' windows: finds top-level windows by
// caption, reads their controls and message boxes, types, clicks and presses
// keys the way an operator would. Used by the uidriver.exe command (make demo)
// and linked directly into the end-to-end tests.
//
// Texts read from windows are returned in code page 932 whatever the calling
// process's code page is (read as UTF-16 and converted), so they compare byte
// for byte with the program's Shift-JIS literals.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace uidriver {

// Which top-level window to find. The caption must match exactly; an empty
// className or a pid of 0 matches any.
struct WindowQuery {
    std::wstring caption;
    DWORD pid = 0;
    std::wstring className;
    bool visibleOnly = true;  // an operator sees only visible windows
};

struct ControlInfo {
    HWND hwnd = nullptr;
    int id = 0;              // GetDlgCtrlID; -1 reads as 0xFFFF for message box texts
    std::string className;   // CP932 (ASCII in practice)
    std::string text;        // CP932
    DWORD style = 0;
    DWORD exStyle = 0;
};

struct WindowInfo {
    HWND hwnd = nullptr;
    DWORD pid = 0;
    std::string caption;     // CP932
    std::string className;
    DWORD style = 0;
    DWORD exStyle = 0;
    std::vector<ControlInfo> children;  // direct children in z order
};

// What a standard message box shows.
struct MessageBoxInfo {
    std::string caption;           // CP932
    std::string text;              // CP932, the static with id 0xFFFF
    bool hasIcon = false;          // a visible SS_ICON static holding an icon
    std::vector<int> buttons;      // ids of the visible, enabled push buttons, in z order
    DWORD style = 0;
    DWORD exStyle = 0;             // WS_EX_TOPMOST (0x8) for MB_TOPMOST boxes
};

// UTF-16 <-> code page 932.
std::string ToCp932(const std::wstring& s);
std::wstring FromCp932(const std::string& s);
std::string ToUtf8(const std::wstring& s);

// The first top-level window that matches, or null.
HWND FindTopWindow(const WindowQuery& q);
// Polls every 20 ms until a matching window exists or timeoutMs has passed; null on timeout.
HWND WaitForWindow(const WindowQuery& q, DWORD timeoutMs);
HWND WaitForWindow(const std::wstring& caption, DWORD timeoutMs, DWORD pid = 0);
// True once the window no longer exists (or is hidden), false on timeout.
bool WaitForWindowGone(HWND hwnd, DWORD timeoutMs);
// Every visible top-level window, of one process when pid is not 0.
std::vector<HWND> ListTopWindows(DWORD pid = 0);

// A control's or window's text, read with WM_GETTEXT (the real text of an
// edit in another process, which GetWindowText would not give).
std::string GetText(HWND hwnd);
std::string GetClass(HWND hwnd);
ControlInfo DescribeControl(HWND hwnd);
std::vector<ControlInfo> ListChildren(HWND parent);
WindowInfo DescribeWindow(HWND hwnd);
// Whether the window is a standard message box (dialog class with a 0xFFFF static).
bool IsMessageBox(HWND hwnd);
MessageBoxInfo ReadMessageBox(HWND box);

// Replaces the text of control id with WM_SETTEXT (no per-character filtering
// of the control runs). false when the control does not exist or the message fails.
bool SetText(HWND parent, int id, const std::wstring& text);
// Types text into control id of parent, one WM_CHAR a character.
bool TypeText(HWND parent, int id, const std::wstring& text);
// Presses button id with a posted BM_CLICK (a sent one would block while the
// button's handler shows a modal box). false when the button does not exist
// or is disabled or hidden, as an operator could not press it.
bool Click(HWND parent, int id);

enum class Key { Enter, Escape };
// Presses the key in the window: WM_KEYDOWN and WM_KEYUP are posted to the
// window's focused control (or the window itself), so the dialog manager
// picks the default button for Enter and the cancel command for Esc, as it
// does for a real key press.
bool PressKey(HWND window, Key key);

// Report lines: `window ...`, `child ...`, `msgbox ...`.
std::string FormatWindowLine(const WindowInfo& w);
std::string FormatControlLine(const ControlInfo& c);
std::string FormatMessageBoxLine(const MessageBoxInfo& m);

}  // namespace uidriver
