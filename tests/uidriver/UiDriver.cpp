#include "UiDriver.h"

#include <stdio.h>

namespace uidriver {

namespace {

const UINT kCp932 = 932;
const UINT kSendTimeoutMs = 5000;
const int kMessageBoxTextId = 0xFFFF;

std::string ToCodePage(const std::wstring& s, UINT cp) {
    if (s.empty()) return std::string();
    int n = WideCharToMultiByte(cp, 0, s.data(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n : 0, '\0');
    if (n > 0) WideCharToMultiByte(cp, 0, s.data(), static_cast<int>(s.size()), &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring FromCodePage(const std::string& s, UINT cp) {
    if (s.empty()) return std::wstring();
    int n = MultiByteToWideChar(cp, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring out(n > 0 ? n : 0, L'\0');
    if (n > 0) MultiByteToWideChar(cp, 0, s.data(), static_cast<int>(s.size()), &out[0], n);
    return out;
}

// The window manager's copy of the caption; never blocks on a hung window.
std::wstring CaptionW(HWND hwnd) {
    int n = GetWindowTextLengthW(hwnd);
    std::wstring s(n + 1, L'\0');
    n = GetWindowTextW(hwnd, &s[0], n + 1);
    s.resize(n > 0 ? n : 0);
    return s;
}

std::wstring ClassW(HWND hwnd) {
    wchar_t buf[256] = {0};
    int n = GetClassNameW(hwnd, buf, 256);
    return std::wstring(buf, n > 0 ? n : 0);
}

bool SendWithTimeout(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, DWORD_PTR* result) {
    DWORD_PTR r = 0;
    if (!SendMessageTimeoutW(hwnd, msg, wp, lp, SMTO_ABORTIFHUNG, kSendTimeoutMs, &r)) return false;
    if (result) *result = r;
    return true;
}

bool Matches(HWND hwnd, const WindowQuery& q) {
    if (q.visibleOnly && !IsWindowVisible(hwnd)) return false;
    if (q.pid) {
        DWORD pid = 0;
        GetWindowThreadProcessId(hwnd, &pid);
        if (pid != q.pid) return false;
    }
    if (!q.className.empty() && lstrcmpiW(ClassW(hwnd).c_str(), q.className.c_str()) != 0) return false;
    return CaptionW(hwnd) == q.caption;
}

struct FindContext {
    const WindowQuery* query;
    HWND found;
};

BOOL CALLBACK FindProc(HWND hwnd, LPARAM lp) {
    FindContext* ctx = reinterpret_cast<FindContext*>(lp);
    if (!Matches(hwnd, *ctx->query)) return TRUE;
    ctx->found = hwnd;
    return FALSE;
}

struct ListContext {
    DWORD pid;
    std::vector<HWND>* out;
};

BOOL CALLBACK ListTopProc(HWND hwnd, LPARAM lp) {
    ListContext* ctx = reinterpret_cast<ListContext*>(lp);
    if (!IsWindowVisible(hwnd)) return TRUE;
    if (ctx->pid) {
        DWORD pid = 0;
        GetWindowThreadProcessId(hwnd, &pid);
        if (pid != ctx->pid) return TRUE;
    }
    ctx->out->push_back(hwnd);
    return TRUE;
}

// The control that should receive an operator's key press in window: the
// focused control of the window's thread when it lies in this window.
HWND KeyTarget(HWND window) {
    GUITHREADINFO gti;
    ZeroMemory(&gti, sizeof(gti));
    gti.cbSize = sizeof(gti);
    DWORD tid = GetWindowThreadProcessId(window, nullptr);
    if (GetGUIThreadInfo(tid, &gti) && gti.hwndFocus &&
        (gti.hwndFocus == window || IsChild(window, gti.hwndFocus)))
        return gti.hwndFocus;
    return window;
}

std::string Hex(DWORD v) {
    char buf[16];
    snprintf(buf, sizeof(buf), "0x%08lX", static_cast<unsigned long>(v));
    return buf;
}

// Text of one line of a report, with \\ " CR LF TAB escaped (multibyte-aware:
// a trail byte 0x5C is not a backslash).
std::string Escape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (IsDBCSLeadByteEx(kCp932, c) && i + 1 < s.size()) {
            out += s[i];
            out += s[++i];
        } else if (c == '\\' || c == '"') {
            out += '\\';
            out += s[i];
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20) {
            char buf[8];
            snprintf(buf, sizeof(buf), "\\x%02X", c);
            out += buf;
        } else {
            out += s[i];
        }
    }
    return out;
}

}  // namespace

std::string ToCp932(const std::wstring& s) { return ToCodePage(s, kCp932); }
std::wstring FromCp932(const std::string& s) { return FromCodePage(s, kCp932); }
std::string ToUtf8(const std::wstring& s) { return ToCodePage(s, CP_UTF8); }

HWND FindTopWindow(const WindowQuery& q) {
    FindContext ctx = {&q, nullptr};
    EnumWindows(FindProc, reinterpret_cast<LPARAM>(&ctx));
    return ctx.found;
}

HWND WaitForWindow(const WindowQuery& q, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        if (HWND h = FindTopWindow(q)) return h;
        if (GetTickCount() - start >= timeoutMs) return nullptr;
        Sleep(20);
    }
}

HWND WaitForWindow(const std::wstring& caption, DWORD timeoutMs, DWORD pid) {
    WindowQuery q;
    q.caption = caption;
    q.pid = pid;
    return WaitForWindow(q, timeoutMs);
}

bool WaitForWindowGone(HWND hwnd, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        if (!IsWindow(hwnd) || !IsWindowVisible(hwnd)) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(20);
    }
}

std::vector<HWND> ListTopWindows(DWORD pid) {
    std::vector<HWND> out;
    ListContext ctx = {pid, &out};
    EnumWindows(ListTopProc, reinterpret_cast<LPARAM>(&ctx));
    return out;
}

std::string GetText(HWND hwnd) {
    DWORD_PTR len = 0;
    if (!SendWithTimeout(hwnd, WM_GETTEXTLENGTH, 0, 0, &len)) return ToCp932(CaptionW(hwnd));
    std::wstring s(len + 1, L'\0');
    DWORD_PTR got = 0;
    if (!SendWithTimeout(hwnd, WM_GETTEXT, len + 1, reinterpret_cast<LPARAM>(&s[0]), &got))
        return ToCp932(CaptionW(hwnd));
    s.resize(got <= len ? got : len);
    return ToCp932(s);
}

std::string GetClass(HWND hwnd) { return ToCp932(ClassW(hwnd)); }

ControlInfo DescribeControl(HWND hwnd) {
    ControlInfo c;
    c.hwnd = hwnd;
    c.id = GetDlgCtrlID(hwnd);
    c.className = GetClass(hwnd);
    c.text = GetText(hwnd);
    c.style = static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE));
    c.exStyle = static_cast<DWORD>(GetWindowLongW(hwnd, GWL_EXSTYLE));
    return c;
}

std::vector<ControlInfo> ListChildren(HWND parent) {
    std::vector<ControlInfo> out;
    for (HWND h = GetWindow(parent, GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT))
        out.push_back(DescribeControl(h));
    return out;
}

WindowInfo DescribeWindow(HWND hwnd) {
    WindowInfo w;
    w.hwnd = hwnd;
    GetWindowThreadProcessId(hwnd, &w.pid);
    w.caption = ToCp932(CaptionW(hwnd));
    w.className = GetClass(hwnd);
    w.style = static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE));
    w.exStyle = static_cast<DWORD>(GetWindowLongW(hwnd, GWL_EXSTYLE));
    w.children = ListChildren(hwnd);
    return w;
}

bool IsMessageBox(HWND hwnd) {
    return ClassW(hwnd) == L"#32770" && GetDlgItem(hwnd, kMessageBoxTextId) != nullptr;
}

MessageBoxInfo ReadMessageBox(HWND box) {
    MessageBoxInfo m;
    m.caption = ToCp932(CaptionW(box));
    m.style = static_cast<DWORD>(GetWindowLongW(box, GWL_STYLE));
    m.exStyle = static_cast<DWORD>(GetWindowLongW(box, GWL_EXSTYLE));
    if (HWND text = GetDlgItem(box, kMessageBoxTextId)) m.text = GetText(text);
    for (HWND h = GetWindow(box, GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT)) {
        if (!IsWindowVisible(h)) continue;
        std::wstring cls = ClassW(h);
        DWORD style = static_cast<DWORD>(GetWindowLongW(h, GWL_STYLE));
        if (lstrcmpiW(cls.c_str(), L"Static") == 0 && (style & SS_TYPEMASK) == SS_ICON) {
            DWORD_PTR icon = 0;
            if (SendWithTimeout(h, STM_GETICON, 0, 0, &icon) && icon) m.hasIcon = true;
        } else if (lstrcmpiW(cls.c_str(), L"Button") == 0 && IsWindowEnabled(h)) {
            DWORD type = style & BS_TYPEMASK;
            if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON) m.buttons.push_back(GetDlgCtrlID(h));
        }
    }
    return m;
}

bool SetText(HWND parent, int id, const std::wstring& text) {
    HWND ctl = GetDlgItem(parent, id);
    DWORD_PTR ok = 0;
    return ctl && SendWithTimeout(ctl, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), &ok) && ok;
}

bool TypeText(HWND parent, int id, const std::wstring& text) {
    HWND ctl = GetDlgItem(parent, id);
    if (!ctl) return false;
    // Sent, not posted: the character reaches the control's procedure (and any
    // filter subclassing it) directly, and is handled when the call returns.
    for (wchar_t ch : text)
        if (!SendWithTimeout(ctl, WM_CHAR, ch, 1, nullptr)) return false;
    return true;
}

bool Click(HWND parent, int id) {
    HWND button = GetDlgItem(parent, id);
    if (!button || !IsWindowVisible(button) || !IsWindowEnabled(button)) return false;
    return PostMessageW(button, BM_CLICK, 0, 0) != FALSE;
}

bool PressKey(HWND window, Key key) {
    UINT vk = key == Key::Enter ? VK_RETURN : VK_ESCAPE;
    LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(vk, 0 /* MAPVK_VK_TO_VSC */)) << 16;
    HWND target = KeyTarget(window);
    return PostMessageW(target, WM_KEYDOWN, vk, scan | 1) &&
           PostMessageW(target, WM_KEYUP, vk, scan | 1 | (1u << 30) | (1u << 31));
}

std::string FormatWindowLine(const WindowInfo& w) {
    return "window caption=\"" + Escape(w.caption) + "\" class=\"" + Escape(w.className) +
           "\" pid=" + std::to_string(w.pid) + " style=" + Hex(w.style) + " exstyle=" + Hex(w.exStyle);
}

std::string FormatControlLine(const ControlInfo& c) {
    return "child id=" + std::to_string(c.id) + " class=\"" + Escape(c.className) + "\" style=" +
           Hex(c.style) + " exstyle=" + Hex(c.exStyle) + " text=\"" + Escape(c.text) + "\"";
}

std::string FormatMessageBoxLine(const MessageBoxInfo& m) {
    std::string buttons;
    for (size_t i = 0; i < m.buttons.size(); ++i) buttons += (i ? "," : "") + std::to_string(m.buttons[i]);
    return "msgbox caption=\"" + Escape(m.caption) + "\" text=\"" + Escape(m.text) +
           "\" icon=" + (m.hasIcon ? "yes" : "no") + " buttons=" + buttons + " style=" + Hex(m.style) +
           " exstyle=" + Hex(m.exStyle);
}

}  // namespace uidriver
