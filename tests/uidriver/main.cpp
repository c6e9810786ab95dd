// uidriver: drives another program's windows from a script.
//
//   uidriver [options] wait     "<caption>" [ms]     wait for the window, print its line
//   uidriver [options] dump     "<caption>"          window line, child lines, msgbox line
//   uidriver [options] msgbox   "<caption>"          message box line
//   uidriver [options] settext  "<caption>" <id> <text>
//   uidriver [options] click    "<caption>" <id>
//   uidriver [options] key      "<caption>" enter|esc
//
// Options: --timeout MS (how long to wait for the window, 10000 by default),
// --utf8 (report in UTF-8 instead of code page 932).
// Lines end with LF. Exit codes: 0 done, 1 window not found in time, 2 usage, 3 the action failed.
#include <windows.h>
#include <shellapi.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "UiDriver.h"

using namespace uidriver;

namespace {

bool g_utf8 = false;

void Print(const std::string& cp932Line) {
    std::string line = g_utf8 ? ToUtf8(FromCp932(cp932Line)) : cp932Line;
    line += "\n";
    fwrite(line.data(), 1, line.size(), stdout);
    fflush(stdout);
}

int Usage() {
    fputs("usage: uidriver [--timeout MS] [--utf8] wait|dump|msgbox|settext|click|key ...\n", stderr);
    return 2;
}

void PrintWindow(HWND h, bool withChildren) {
    WindowInfo w = DescribeWindow(h);
    Print(FormatWindowLine(w));
    if (!withChildren) return;
    for (const ControlInfo& c : w.children) Print(FormatControlLine(c));
    if (IsMessageBox(h)) Print(FormatMessageBoxLine(ReadMessageBox(h)));
}

// Arguments from the UTF-16 command line, so Japanese captions survive
// whatever the console's code page is.
std::vector<std::wstring> Arguments() {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::wstring> args;
    if (!argv) return args;
    for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
    LocalFree(argv);
    return args;
}

}  // namespace

int main() {
    // Report bytes exactly as formatted: code page 932 (or UTF-8) and LF line ends.
    _setmode(_fileno(stdout), _O_BINARY);
    std::vector<std::wstring> args = Arguments();
    WindowQuery query;
    DWORD timeout = 10000;
    size_t i = 0;
    for (; i < args.size() && args[i].compare(0, 2, L"--") == 0; ++i) {
        if (args[i] == L"--utf8") {
            g_utf8 = true;
        } else if (i + 1 < args.size() && args[i] == L"--timeout") {
            timeout = wcstoul(args[++i].c_str(), nullptr, 0);
        } else {
            return Usage();
        }
    }
    if (i >= args.size()) return Usage();
    std::wstring cmd = args[i++];
    std::vector<std::wstring> rest(args.begin() + i, args.end());

    const wchar_t* known[] = {L"wait", L"dump", L"msgbox", L"settext", L"click", L"key"};
    bool isKnown = false;
    for (const wchar_t* k : known) isKnown |= cmd == k;
    if (!isKnown) return Usage();

    if (rest.empty()) return Usage();
    query.caption = rest[0];
    if (cmd == L"wait" && rest.size() > 1) timeout = wcstoul(rest[1].c_str(), nullptr, 0);

    HWND h = WaitForWindow(query, timeout);
    if (!h) {
        fprintf(stderr, "uidriver: no window with that caption within %lu ms\n", static_cast<unsigned long>(timeout));
        return 1;
    }
    if (cmd == L"wait") {
        PrintWindow(h, false);
        return 0;
    }
    if (cmd == L"dump") {
        PrintWindow(h, true);
        return 0;
    }
    if (cmd == L"msgbox") {
        if (!IsMessageBox(h)) return 3;
        Print(FormatMessageBoxLine(ReadMessageBox(h)));
        return 0;
    }
    if (cmd == L"key") {
        if (rest.size() != 2) return Usage();
        if (rest[1] != L"enter" && rest[1] != L"esc") return Usage();
        return PressKey(h, rest[1] == L"enter" ? Key::Enter : Key::Escape) ? 0 : 3;
    }
    if (rest.size() < 2) return Usage();
    int id = static_cast<int>(wcstol(rest[1].c_str(), nullptr, 0));
    if (cmd == L"click") return Click(h, id) ? 0 : 3;
    if (rest.size() != 3) return Usage();
    return SetText(h, id, rest[2]) ? 0 : 3;
}
