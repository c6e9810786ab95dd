// uidriver wait|box "<caption>"               wait for the dialog (or message box), print it, its place on the
//                                             screen ("rect WxH+X+Y", the geometry a screenshot is cropped to)
//                                             and its controls
// uidriver settext|click "<caption>" <id> [<text>]   in the dialog
// uidriver key "<caption>" enter|esc|yes      in the message box
// uidriver hover|press|release "<caption>" <id>  the pointer over a button of the dialog, or the button held down
// uidriver run <program> [<argument>...]      runs it to its end; prints "exit <full exit code>", which wine's own
//                                             status cuts to 8 bits, and "window" when one of it appeared
// Windows are awaited up to 30 s. Output is CP932. Exit codes: 0 done, 1 no window, 2 usage, 3 the action failed.
#include "UiDriver.h"  // windows.h first: shellapi.h needs it

#include <shellapi.h>
#include <stdio.h>

static void Print(const char* kind, HWND h) {
    char cls[64] = {0};
    GetClassNameA(h, cls, sizeof(cls));
    std::string text = uidriver::GetText(h);
    for (size_t i; (i = text.find_first_of("\r\n")) != std::string::npos;)  // never a CP932 trail byte
        text.replace(i, 1, text[i] == '\r' ? "\\r" : "\\n");
    printf("%s %d %s \"%s\"\n", kind, GetDlgCtrlID(h), cls, text.c_str());
}

int main() {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);  // Japanese captions whatever the console's code page
    const std::vector<std::wstring> a(argv + 1, argv + argc);
    const std::wstring cmd = a.empty() ? L"" : a[0];
    if (cmd == L"run" && a.size() >= 2) {
        std::wstring line;
        for (size_t i = 1; i < a.size(); ++i) line += L"\"" + a[i] + L"\" ";
        STARTUPINFOW si = {sizeof(si)};
        PROCESS_INFORMATION pi = {};
        if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return 3;
        bool seen = false;
        const DWORD code = uidriver::WaitWatchingWindows(pi.hProcess, pi.dwProcessId, INFINITE, &seen);
        printf("exit %lu%s\n", code, seen ? " window" : "");
        return 0;
    }
    const bool box = cmd == L"box" || cmd == L"key";
    const bool onButton = cmd == L"hover" || cmd == L"press" || cmd == L"release";
    const size_t n = cmd == L"settext" ? 4 : cmd == L"click" || cmd == L"key" || onButton ? 3 : 2;  // with the name
    if (a.size() != n || (n == 2 && cmd != L"wait" && cmd != L"box")) {
        fputs("usage: uidriver wait|box|settext|click|key|hover|press|release CAPTION [ID [TEXT] | enter|esc|yes]\n",
              stderr);
        return 2;
    }
    HWND h = uidriver::WaitForWindow(a[1], box, 0, 30000);
    if (!h) {
        fputs("uidriver: no such window within 30 s\n", stderr);
        return 1;
    }
    if (n == 2) {
        Print("window", h);
        RECT r;
        if (GetWindowRect(h, &r))
            printf("rect %ldx%ld+%ld+%ld\n", r.right - r.left, r.bottom - r.top, r.left, r.top);
        for (HWND c = GetWindow(h, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) Print("  child", c);
        return 0;
    }
    if (box && a[2] == L"yes") return uidriver::Click(h, IDYES) ? 0 : 3;
    if (box) return uidriver::PressKey(h, a[2] == L"esc" ? uidriver::Key::Escape : uidriver::Key::Enter) ? 0 : 3;
    const int id = static_cast<int>(wcstol(a[2].c_str(), nullptr, 0));
    if (onButton) {
        HWND button = GetDlgItem(h, id);
        RECT r;
        if (!button || !GetWindowRect(button, &r)) return 3;
        if (cmd == L"hover") return SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2) ? 0 : 3;
        SendMessageW(button, BM_SETSTATE, cmd == L"press", 0);
        return 0;
    }
    return (n == 3 ? uidriver::Click(h, id) : uidriver::SetText(h, id, a[3])) ? 0 : 3;
}
