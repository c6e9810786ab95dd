// The contract dialog's masked edit from a second thread: typed, pasted, composed (Wine composes none), dropped.
#include <windows.h>
#include <shlobj.h>
#include <gtest/gtest.h>
#include <string>
#include "Driven.h"
#include "INC/WideText.h"
#include "PellionAgentUninstallerDlg.h"
#include "TestUtil.h"
#include "UiDriver.h"
#include "controls/MaskEdit.h"
#include "resource.h"

namespace {

std::string g_ime;  // the IME's result; "!" an IME error
long FakeIme(HWND, std::string& result) { return g_ime == "!" ? -1 : (result = g_ime, static_cast<long>(g_ime.size())); }

void SetClipboard(const char* text) {  // nullptr: a clipboard without text
    HGLOBAL block = text ? GlobalAlloc(GMEM_MOVEABLE, strlen(text) + 1) : nullptr;
    if (block) strcpy(static_cast<char*>(GlobalLock(block)), text), GlobalUnlock(block);
    OpenClipboard(nullptr);
    EmptyClipboard();
    if (block) SetClipboardData(CF_TEXT, block);
    CloseClipboard();
}
std::string Clipboard() {
    OpenClipboard(nullptr);
    HANDLE data = GetClipboardData(CF_TEXT);
    std::string text = data ? static_cast<const char*>(GlobalLock(data)) : "";
    if (data) GlobalUnlock(data);
    CloseClipboard();
    return text;
}

void Drop(HWND edit, const std::string& path) {
    HGLOBAL block = GlobalAlloc(GHND, sizeof(DROPFILES) + path.size() + 2);
    DROPFILES* files = static_cast<DROPFILES*>(GlobalLock(block));
    files->pFiles = sizeof(DROPFILES);
    strcpy(reinterpret_cast<char*>(files + 1), path.c_str());
    GlobalUnlock(block);
    SendMessageA(edit, WM_DROPFILES, reinterpret_cast<WPARAM>(block), 0);
    GlobalFree(block);
}

TEST(MaskEdit, EveryWayInLeavesOnlyWhatFits) {
    testutil::TempDir dir("mask");
    const std::string lnk = dir / "ソフト表.lnk";
    ASSERT_EQ(0u, testutil::MakeShortcut(lnk, "C:\\windows\\notepad.exe"));
    std::wstring wideLnk;
    Widen(lnk.c_str(), wideLnk);
    const std::string full = "AB12CD34EF56GH";
    enum How { kType, kPaste, kHeldPaste, kIme, kDrop };
    // input: typed, or the clipboard's (L"\x1": no text), IME's or dropped path's text; text, caret (-1: unchecked)
    // and clipboard (when checked): afterwards
    const struct { const char* name; std::string initial; int selStart, selEnd; How how; std::wstring input;
                   std::string text; int caret; const char* clipboard; } rows[] = {
        // Half-width digits and letters of either case stand, nothing else.
        {"digits", "", 0, 0, kType, L"0123456789", "0123456789", 10, nullptr},
        {"small letters", "", 0, 0, kType, L"abcdefghijklm", "abcdefghijklm", 13, nullptr},
        {"more small letters", "", 0, 0, kType, L"nopqrstuvwxyz", "nopqrstuvwxyz", 13, nullptr},
        {"capitals", "", 0, 0, kType, L"ABCDEFGHIJKLM", "ABCDEFGHIJKLM", 13, nullptr},
        {"more capitals", "", 0, 0, kType, L"NOPQRSTUVWXYZ", "NOPQRSTUVWXYZ", 13, nullptr},
        {"symbols and blank", "", 0, 0, kType, L" !\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~", "", 0, nullptr},
        {"half-width kana", "", 0, 0, kType, L"ｱｲｰﾞ｡", "", 0, nullptr},
        {"full-width letters and digits", "", 0, 0, kType, L"ＡＺａｚ０９", "", 0, nullptr},
        {"kana and kanji", "", 0, 0, kType, L"ソ表能あア", "", 0, nullptr},
        {"full: typing discarded", full, 14, 14, kType, L"Z", full, 14, nullptr},
        {"full: selection replaced", full, 2, 3, kType, L"Z", "ABZ2CD34EF56GH", 3, nullptr},
        {"hyphen removed, caret kept", "AB12", 2, 2, kType, L"-", "AB12", 2, nullptr},
        {"mixed widths typed", "", 0, 0, kType, L"Ａ1ｂ2 表能c", "12c", 3, nullptr},
        {"backspace when full", full, 14, 14, kType, L"\b", "AB12CD34EF56G", 13, nullptr},
        {"copy when full", full, 0, 4, kType, L"\x03", full, -1, "AB12"},
        {"cut when full", full, 0, 2, kType, L"\x18", "12CD34EF56GH", 0, "AB"},
        {"paste filtered", "", 0, 0, kPaste, L"ab-12 CD", "ab12CD", 6, nullptr},
        {"paste cut to 14", "", 0, 0, kPaste, L"abcdefghijklmnopqrst", "abcdefghijklmn", 14, nullptr},
        {"paste into the room left", "ABCDEFGHIJ", 2, 4, kPaste, L"0123456789", "AB012345EFGHIJ", 8, nullptr},
        {"paste of nothing allowed", "AB12", 1, 3, kPaste, L"--", "A2", 1, nullptr},
        {"paste of full width", "", 0, 0, kPaste, L"ＡＢ１２xy", "xy", 2, nullptr},
        {"clipboard without text", "AB", 2, 2, kPaste, L"\x1", "AB", 2, nullptr},
        {"clipboard held elsewhere", "AB", 2, 2, kHeldPaste, L"CD", "AB", 2, nullptr},
        {"IME result", "A", 1, 1, kIme, L"ＡＢ12", "A12", 3, nullptr},
        {"IME error", "AB", 2, 2, kIme, L"!", "AB", 2, nullptr},
        {"dropped shortcut", "", 0, 0, kDrop, wideLnk, "Cwindowsnotepa", -1, nullptr},
        {"dropped path", "", 0, 0, kDrop, L"C:\\ab-12.txt", "Cab12txt", -1, nullptr},
    };
    CoInitialize(nullptr);
    CMaskEdit::ImeResultReader real = CMaskEdit::SetImeResultReader(FakeIme);
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        std::string input;
        Narrow(r.input.c_str(), input);
        CDriven<CPellionAgentUninstallerDlg> dialog([&](HWND dlg) {
            HWND edit = GetDlgItem(dlg, IDC_CONTRACT_NO);
            SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(r.initial.c_str()));
            SendMessageA(edit, EM_SETSEL, r.selStart, r.selEnd);
            SetClipboard(r.how == kPaste && input != "\x1" ? input.c_str() : nullptr);
            g_ime = input;
            if (r.how == kType) uidriver::TypeText(GetParent(edit), IDC_CONTRACT_NO, r.input);
            if (r.how == kPaste) uidriver::TypeText(GetParent(edit), IDC_CONTRACT_NO, L"\x16");  // Ctrl+V
            if (r.how == kHeldPaste) OpenClipboard(nullptr), SendMessageA(edit, WM_PASTE, 0, 0), CloseClipboard();
            if (r.how == kIme) SendMessageA(edit, WM_IME_COMPOSITION, 0, GCS_RESULTSTR);
            if (r.how == kDrop) Drop(edit, input);
            EXPECT_EQ(r.text, uidriver::GetText(edit));
            DWORD start = 0, end = 0;
            SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
            EXPECT_TRUE(r.caret < 0 || (start == static_cast<DWORD>(r.caret) && end == start)) << start << "-" << end;
            EXPECT_TRUE(!r.clipboard || Clipboard() == r.clipboard) << Clipboard();
        });
        dialog.DoModal();
    }
    CMaskEdit::SetImeResultReader(real);
}

}  // namespace
