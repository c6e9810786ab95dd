#include "UiDriver.h"
#include "INC/WideText.h"

namespace uidriver {

namespace {

bool IsClass(HWND hwnd, const char* name) {
    char cls[64] = {0};
    return GetClassNameA(hwnd, cls, sizeof(cls)) && lstrcmpiA(cls, name) == 0;
}

// The result, 0 when the message failed; never blocks on a hung window.
DWORD_PTR Send(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    DWORD_PTR r = 0;
    return SendMessageTimeoutW(hwnd, msg, wp, lp, SMTO_ABORTIFHUNG, 5000, &r) ? r : 0;
}

struct Query {
    const std::wstring* caption;  // nullptr: any window
    bool messageBox;
    DWORD pid;
    HWND found;
};

BOOL CALLBACK Match(HWND hwnd, LPARAM lp) {
    Query* q = reinterpret_cast<Query*>(lp);
    DWORD pid = 0;
    wchar_t caption[512] = {0};
    GetWindowThreadProcessId(hwnd, &pid);
    GetWindowTextW(hwnd, caption, 512);  // the window manager's copy of a caption: never blocks
    bool box = IsClass(hwnd, "#32770") && GetDlgItem(hwnd, 0xFFFF);
    if (IsWindowVisible(hwnd) && (!q->pid || pid == q->pid) &&
        (!q->caption || (*q->caption == caption && box == q->messageBox)))
        q->found = hwnd;
    return !q->found;
}

}  // namespace

HWND WaitForWindow(const std::wstring& caption, bool messageBox, DWORD pid, DWORD ms) {
    Query q = {&caption, messageBox, pid, nullptr};
    for (DWORD start = GetTickCount(); !q.found && GetTickCount() - start < ms; Sleep(20))
        EnumWindows(Match, reinterpret_cast<LPARAM>(&q));
    return q.found;
}

bool WaitForWindowGone(HWND hwnd, DWORD ms) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < ms; Sleep(20))
        if (!IsWindow(hwnd) || !IsWindowVisible(hwnd)) return true;
    return false;
}

DWORD WaitWatchingWindows(HANDLE process, DWORD pid, DWORD ms, bool* windowSeen) {
    Query q = {nullptr, false, pid, nullptr};
    for (DWORD start = GetTickCount(); WaitForSingleObject(process, 0) == WAIT_TIMEOUT && GetTickCount() - start < ms;
         Sleep(10))
        EnumWindows(Match, reinterpret_cast<LPARAM>(&q));
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process, &code);  // STILL_ACTIVE while it runs
    *windowSeen = q.found != nullptr;
    return code;
}

std::string GetText(HWND hwnd) {
    wchar_t buf[1024] = {0};
    std::string text;
    Send(hwnd, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buf));
    return Narrow(buf, text), text;
}

MessageBoxInfo ReadMessageBox(HWND box) {
    MessageBoxInfo m;
    m.text = GetText(GetDlgItem(box, 0xFFFF));
    for (HWND h = GetWindow(box, GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT)) {
        const LONG style = GetWindowLongW(h, GWL_STYLE) & (WS_VISIBLE | 0x1F);  // visible, and the type
        if (IsClass(h, "Static") && style == (WS_VISIBLE | SS_ICON))
            m.hasIcon |= Send(h, STM_GETICON, 0, 0) != 0;
        else if (IsClass(h, "Button") && IsWindowEnabled(h) &&
                 (style == (WS_VISIBLE | BS_PUSHBUTTON) || style == (WS_VISIBLE | BS_DEFPUSHBUTTON)))
            m.buttons.push_back(GetDlgCtrlID(h));
    }
    return m;
}

bool SetText(HWND parent, int id, const std::wstring& text) {
    return Send(GetDlgItem(parent, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str())) != 0;
}

// Sent: each character has passed the control's procedure (and any filter) when the call returns.
bool TypeText(HWND parent, int id, const std::wstring& text) {
    HWND edit = GetDlgItem(parent, id);
    for (wchar_t ch : text) Send(edit, WM_CHAR, ch, 1);
    return edit != nullptr;
}

bool Click(HWND parent, int id) {
    HWND button = GetDlgItem(parent, id);
    return button && IsWindowVisible(button) && IsWindowEnabled(button) && PostMessageW(button, BM_CLICK, 0, 0);
}

bool PressKey(HWND window, Key key) {
    GUITHREADINFO gti = {sizeof(gti)};
    HWND target = window;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &gti) && gti.hwndFocus &&
        (gti.hwndFocus == window || IsChild(window, gti.hwndFocus)))
        target = gti.hwndFocus;
    UINT vk = key == Key::Enter ? VK_RETURN : VK_ESCAPE;
    LPARAM lp = static_cast<LPARAM>(MapVirtualKeyW(vk, 0 /* MAPVK_VK_TO_VSC */)) << 16 | 1;
    if (!PostMessageW(target, WM_KEYDOWN, vk, lp)) return false;
    // The key down may have closed the window (a box answered with Enter): a lost key up is no failure.
    PostMessageW(target, WM_KEYUP, vk, lp | 3u << 30);
    return true;
}

}  // namespace uidriver
