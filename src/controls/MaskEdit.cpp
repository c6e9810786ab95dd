#include "controls/MaskEdit.h"

#include <imm.h>

#include "INC/MbText.h"
#include "INC/Owner.h"
#include "Util/ShortcutUtil.h"

namespace {

long ReadImeResult(HWND edit, std::string& result) {
    HIMC context = ImmGetContext(edit);
    LONG length = ImmGetCompositionStringA(context, GCS_RESULTSTR, nullptr, 0);
    if (length > 0) {
        std::vector<char> buffer(length + 1, '\0');
        length = ImmGetCompositionStringA(context, GCS_RESULTSTR, buffer.data(), length);
        if (length > 0) result.assign(buffer.data(), FittingLength(buffer.data(), length));
    }
    ImmReleaseContext(edit, context);
    return length;
}

CMaskEdit::ImeResultReader g_readImeResult = ReadImeResult;

// Character position -> byte offset of text, or the reverse; what matches
// nothing maps to 0.
int MapPosition(const std::string& text, int position, bool fromChars) {
    int chars = 0;
    size_t bytes = 0;
    while (bytes < text.size()) {
        if ((fromChars ? chars : static_cast<int>(bytes)) == position) return fromChars ? static_cast<int>(bytes) : chars;
        bytes += IsLeadByte(static_cast<unsigned char>(text[bytes])) && bytes + 1 < text.size() ? 2 : 1;
        ++chars;
    }
    if ((fromChars ? chars : static_cast<int>(bytes)) == position) return fromChars ? static_cast<int>(bytes) : chars;
    return 0;
}

}  // namespace

BEGIN_MESSAGE_MAP(CMaskEdit, CEdit)
    ON_WM_CHAR()
    ON_CONTROL_REFLECT(EN_UPDATE, &CMaskEdit::OnEnUpdate)
    ON_CONTROL_REFLECT_EX(EN_SETFOCUS, &CMaskEdit::OnEnSetfocus)
    ON_CONTROL_REFLECT_EX(EN_KILLFOCUS, &CMaskEdit::OnEnKillfocus)
    ON_WM_DROPFILES()
    ON_WM_PAINT()
    ON_WM_KEYDOWN()
    ON_WM_LBUTTONDOWN()
END_MESSAGE_MAP()

CMaskEdit::CMaskEdit() : m_pLenChecker(nullptr), m_nMaxLength(-1), m_pListener(nullptr) {}

CMaskEdit::~CMaskEdit() {
    delete m_pLenChecker;
    for (CCharChecker* checker : m_charCheckers) delete checker;
}

void CMaskEdit::SetLenChecker(CLenChecker* checker) {
    if (!checker) return;
    delete m_pLenChecker;
    m_pLenChecker = checker;
}

void CMaskEdit::AddCharChecker(CCharChecker* checker) {
    if (checker) m_charCheckers.push_back(checker);
}

CMaskEdit::ImeResultReader CMaskEdit::SetImeResultReader(ImeResultReader reader) {
    ImeResultReader before = g_readImeResult;
    g_readImeResult = reader ? reader : ReadImeResult;
    return before;
}

std::string CMaskEdit::Text() const {
    CString text;
    GetWindowText(text);
    return static_cast<const char*>(text);
}

// The edit of common controls 6 counts positions in characters even in an
// ANSI window, older ones in bytes; Wine's edit counts characters whatever
// version its common controls report (5.81, even for 6). The edit's own length
// of its one line tells which, so the version need not be trusted.
bool CMaskEdit::CountsCharacters(const std::string& text) {
    return static_cast<size_t>(SendMessage(EM_LINELENGTH, 0)) != text.size();
}

void CMaskEdit::GetSelBytes(int& start, int& end) {
    DWORD s = 0, e = 0;
    SendMessage(EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
    start = static_cast<int>(s);
    end = static_cast<int>(e);
    const std::string text = Text();
    if (!CountsCharacters(text)) return;
    start = MapPosition(text, start, true);
    end = MapPosition(text, end, true);
}

void CMaskEdit::SetSelBytes(int start, int end) {
    const std::string text = Text();
    if (CountsCharacters(text)) {
        start = MapPosition(text, start, false);
        end = MapPosition(text, end, false);
    }
    SendMessage(EM_SETSEL, start, end);
    SendMessage(EM_SCROLLCARET);
}

std::string CMaskEdit::GetSelText() {
    int start = 0, end = 0;
    GetSelBytes(start, end);
    const std::string text = Text();
    if (start < 0 || end < start || static_cast<size_t>(end) > text.size()) return "";
    return text.substr(start, end - start);
}

int CMaskEdit::GetRemainingLength() {
    if (!m_pLenChecker) return 0;
    return m_nMaxLength - (m_pLenChecker->GetLength(Text().c_str()) - m_pLenChecker->GetLength(GetSelText().c_str()));
}

bool CMaskEdit::FilterText(const std::string& source, int limit, std::string& filtered) {
    filtered.clear();
    if (!m_pLenChecker) return false;
    filtered = FilterChars(source, limit, *m_pLenChecker, m_charCheckers);
    return filtered != source;
}

LRESULT CMaskEdit::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_IME_COMPOSITION && OnImeComposition(wParam, lParam)) return 0;
    if (message == WM_PASTE) {
        OnPaste();
        return 0;
    }
    return CEdit::WindowProc(message, wParam, lParam);
}

// Only the length is gated here; which characters stand is the update filter's.
// Control characters other than Enter insert nothing, so cut, undo and select
// all work in a full field as backspace and copy do.
void CMaskEdit::OnChar(UINT nChar, UINT nRepCnt, UINT nFlags) {
    if (!m_pLenChecker) return;
    if (nChar < 0x20 && nChar != '\r') {
        Default();
        return;
    }
    const int n = m_pLenChecker->GetLength(Text().c_str()) + (nChar == '\r' ? 1 : 0);
    if (n - m_pLenChecker->GetLength(GetSelText().c_str()) < m_nMaxLength) Default();
}

// The edit has applied the change: the selection start is the caret after the
// new input, and the caret keeps its place before what follows.
void CMaskEdit::OnEnUpdate() {
    if (!m_pLenChecker) return;
    const std::string text = Text();
    std::string filtered;
    if (FilterText(text, m_nMaxLength, filtered)) {
        int start = 0, end = 0;
        GetSelBytes(start, end);
        SetWindowText(filtered.c_str());
        const int caret = start + static_cast<int>(filtered.size()) - static_cast<int>(text.size());
        SetSelBytes(caret < 0 ? 0 : caret, caret < 0 ? 0 : caret);
    }
    if (m_pListener) m_pListener->OnTextUpdated(this);
}

BOOL CMaskEdit::OnEnSetfocus() {
    if (!m_strCueText.empty()) Invalidate();
    return FALSE;
}

BOOL CMaskEdit::OnEnKillfocus() {
    if (!m_strCueText.empty()) Invalidate();
    if (m_pListener) m_pListener->OnFocusLost(this);
    return FALSE;
}

void CMaskEdit::ReplaceSelFiltered(const std::string& text, int room, int start) {
    std::string filtered;
    FilterText(text, room, filtered);
    SendMessage(EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(filtered.c_str()));
    const int caret = start + static_cast<int>(filtered.size());
    SetSelBytes(caret, caret);
}

// Consumed whatever happens: a clipboard another program holds, or one
// without text, inserts nothing.
void CMaskEdit::OnPaste() {
    if (!OpenClipboard(m_hWnd)) return;
    if (HANDLE data = GetClipboardData(CF_TEXT)) {
        const int room = GetRemainingLength();
        int start = 0, end = 0;
        GetSelBytes(start, end);
        std::string text;
        if (const char* locked = static_cast<const char*>(GlobalLock(data))) {
            text.assign(locked, strnlen(locked, GlobalSize(data)));  // an unterminated block ends at its size
            GlobalUnlock(data);
        }
        ReplaceSelFiltered(text, room, start);
    }
    CloseClipboard();
}

// The result is filtered and inserted here, so the raw result never is; an
// IME error inserts nothing.
BOOL CMaskEdit::OnImeComposition(WPARAM, LPARAM lParam) {
    if (!(lParam & GCS_RESULTSTR)) return FALSE;
    const int room = GetRemainingLength();
    int start = 0, end = 0;
    GetSelBytes(start, end);
    std::string result;
    if (g_readImeResult(m_hWnd, result) >= 0) ReplaceSelFiltered(result, room, start);
    return TRUE;
}

void CMaskEdit::OnDropFiles(HDROP drop) {
    if (!m_pListener || !m_pListener->OnFilesDropped(this, drop)) {
        char path[1025] = {0};
        if (DragQueryFileA(drop, 0, path, 1024)) {
            char target[MAX_PATH] = "";
            const bool resolved = ResolveMsiShortcut(path, target) || ResolveShellLink(path, target);
            SetWindowText(resolved ? target : path);  // the update filter keeps what is allowed
        }
    }
    Default();
}

void CMaskEdit::OnPaint() {
    Default();
    if (m_strCueText.empty() || !IsWindowEnabled() || GetWindowTextLengthA(m_hWnd) != 0) return;
    CWindowDc window(m_hWnd);
    const HDC dc = window.dc();
    RECT rect;
    ::GetClientRect(m_hWnd, &rect);
    rect.left += 3;
    rect.top += 1;
    CSelection font(dc, reinterpret_cast<HFONT>(SendMessage(WM_GETFONT)));
    SetTextColor(dc, RGB(0x57, 0x57, 0x57));
    SetBkMode(dc, TRANSPARENT);
    DrawTextA(dc, m_strCueText.c_str(), -1, &rect, 0);
}

void CMaskEdit::OnKeyDown(UINT, UINT, UINT) {
    if (!m_strCueText.empty()) InvalidateRect(m_hWnd, nullptr, TRUE);
    Default();
}

void CMaskEdit::OnLButtonDown(UINT, CPoint) {
    if (!m_strCueText.empty()) InvalidateRect(m_hWnd, nullptr, TRUE);
    Default();
}
