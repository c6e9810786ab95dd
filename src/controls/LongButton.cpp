#include "controls/LongButton.h"

#include "INC/MbText.h"
#include "INC/Owner.h"
#include "INC/SystemDll.h"
#include "Util/KDMTheme.h"

namespace {

const UINT kSingleLine = DT_CENTER | DT_VCENTER | DT_SINGLELINE;

void RequestMouseLeave(HWND hwnd) {
    TRACKMOUSEEVENT track = {sizeof(track), TME_LEAVE, hwnd, 0};
    _TrackMouseEvent(&track);
}

std::string WindowText(HWND hwnd) {
    char text[260] = "";
    GetWindowTextA(hwnd, text, sizeof(text));
    return text;
}

}  // namespace

BEGIN_MESSAGE_MAP(CSimpleLongButton, CButton)
    ON_WM_SETFOCUS()
    ON_WM_KILLFOCUS()
    ON_WM_NCHITTEST()
    ON_WM_ERASEBKGND()
    ON_WM_MOUSELEAVE()
END_MESSAGE_MAP()

CSimpleLongButton::CSimpleLongButton()
    : m_faces(), m_hover(0), m_capWidth(0), m_forcePush(0), m_hoverOff(0),
      m_textColors{GetThemeColor(982), GetThemeColor(982), GetThemeColor(982), GetThemeColor(983)},
      m_format(kSingleLine) {}

CSimpleLongButton::~CSimpleLongButton() {}

HBITMAP CSimpleLongButton::ChooseFace(UINT state, int* colorIndex) const {
    int index = (state & ODS_DISABLED) ? 3 : (state & ODS_SELECTED) ? 1 : m_hover ? 2 : 0;
    if (colorIndex) *colorIndex = index;
    static const int kFaceOf[] = {NORMAL, PUSHED, HOVER, DISABLED};
    return m_faces[kFaceOf[index]];
}

// A face no wider than its two caps has no middle: only the caps are drawn,
// so the repeat below always advances.
void CSimpleLongButton::DrawFace(HDC dc, HBITMAP face, int width) const {
    BITMAP bm = {};
    if (!face || !m_faces[MASK] || !GetObjectA(face, sizeof(bm), &bm)) return;
    const int c = m_capWidth, middle = bm.bmWidth - 2 * c;
    CMemoryDc faceOwner(CreateCompatibleDC(dc)), maskOwner(CreateCompatibleDC(dc));
    const HDC faceDc = faceOwner.get(), maskDc = maskOwner.get();
    CSelection faceSelected(faceDc, face), maskSelected(maskDc, m_faces[MASK]);
    BitBlt(dc, 0, 0, c, bm.bmHeight, maskDc, 0, 0, SRCAND);
    BitBlt(dc, 0, 0, c, bm.bmHeight, faceDc, 0, 0, SRCPAINT);
    BitBlt(dc, width - c, 0, c, bm.bmHeight, maskDc, bm.bmWidth - c, 0, SRCAND);
    BitBlt(dc, width - c, 0, c, bm.bmHeight, faceDc, bm.bmWidth - c, 0, SRCPAINT);
    for (int rest = width - 2 * c; middle > 0 && rest > 0;) {
        const int n = rest < middle ? rest : middle;
        BitBlt(dc, width - c - rest, 0, n, bm.bmHeight, faceDc, c, 0, SRCCOPY);
        rest -= n;
    }
}

void CSimpleLongButton::DrawCaption(HDC dc, const RECT& item, UINT state, COLORREF color, UINT format,
                                    bool wrap) const {
    BITMAP bm = {};
    GetObjectA(m_faces[NORMAL], sizeof(bm), &bm);
    RECT rect = item;
    rect.bottom = rect.top + bm.bmHeight;
    std::string text = WindowText(m_hWnd);
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    const COLORREF oldColor = SetTextColor(dc, color);
    CSelection font(dc, reinterpret_cast<HFONT>(SendMessage(WM_GETFONT)));
    if (state & ODS_SELECTED) OffsetRect(&rect, 1, 1);
    if (!(GetStyle() & BS_MULTILINE)) {
        DrawTextA(dc, text.c_str(), -1, &rect, format);
    } else {
        RECT measured = rect;
        DrawTextA(dc, text.c_str(), -1, &measured, DT_CALCRECT | DT_CENTER);
        if (wrap && measured.right - measured.left > rect.right - rect.left - 14) {
            InflateRect(&rect, -7, 0);
            text = WrapCaption(dc, text, rect);
            measured = rect;
            DrawTextA(dc, text.c_str(), -1, &measured, DT_CALCRECT | DT_CENTER);
        }
        const int height = measured.bottom - measured.top;
        rect.top = (rect.top + rect.bottom) / 2 - height / 2;
        DrawTextA(dc, text.c_str(), -1, &rect, DT_CENTER);
    }
    SetTextColor(dc, oldColor);
    SetBkMode(dc, oldMode);
}

std::string CSimpleLongButton::WrapCaption(HDC dc, const std::string& caption, const RECT& rect) const {
    std::string out, line;
    for (size_t i = 0; i < caption.size();) {
        const size_t n = IsLeadByte(static_cast<unsigned char>(caption[i])) && i + 1 < caption.size() ? 2 : 1;
        const std::string next = line + caption.substr(i, n);
        RECT measured = rect;
        DrawTextA(dc, next.c_str(), -1, &measured, DT_CALCRECT);
        if (!line.empty() && measured.right - measured.left > rect.right - rect.left) {
            out += line + "\r\n";
            line.clear();
        }
        line += caption.substr(i, n);
        i += n;
    }
    return out + line;
}

void CSimpleLongButton::DrawItem(LPDRAWITEMSTRUCT item) {
    HBITMAP face = m_forcePush ? m_faces[PUSHED] : ChooseFace(item->itemState, nullptr);
    if (!face) return;
    DrawFace(item->hDC, face, item->rcItem.right - item->rcItem.left);
    const COLORREF color = (item->itemState & ODS_DISABLED) ? m_textColors[3] : GetThemeColor(984);
    DrawCaption(item->hDC, item->rcItem, item->itemState, color, kSingleLine, false);
}

void CSimpleLongButton::OnSetFocus(CWnd*) { InvalidateRect(m_hWnd, nullptr, TRUE); }

void CSimpleLongButton::OnKillFocus(CWnd*) {
    Default();
    RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASENOW);
}

LRESULT CSimpleLongButton::OnNcHitTest(CPoint) {
    if (!m_hover) RequestMouseLeave(m_hWnd);
    return Default();
}

BOOL CSimpleLongButton::OnEraseBkgnd(CDC*) { return FALSE; }

// A leave notification answering a hit test's request is what enters the
// hover state, when the cursor is still over the button.
void CSimpleLongButton::OnMouseLeave() {
    if (m_hoverOff == 1) {
        Default();
        return;
    }
    if (m_hover) {
        m_hover = 0;
        RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASENOW);
        return;
    }
    POINT cursor;
    RECT window;
    GetCursorPos(&cursor);
    GetWindowRect(&window);
    if (!PtInRect(&window, cursor)) return;
    m_hover = 1;
    RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASENOW);
    RequestMouseLeave(m_hWnd);
}

void CBufferedButton::DrawItem(LPDRAWITEMSTRUCT item) {
    int index = 0;
    HBITMAP face = ChooseFace(item->itemState, &index);
    if (m_forcePush) {
        index = (item->itemState & ODS_DISABLED) ? 3 : 1;
        face = m_faces[index == 3 ? DISABLED : PUSHED];
    }
    if (!face) return;
    BITMAP bm = {};
    GetObjectA(face, sizeof(bm), &bm);
    const int width = item->rcItem.right - item->rcItem.left, height = item->rcItem.bottom - item->rcItem.top;
    CMemoryDc memoryOwner(CreateCompatibleDC(item->hDC));
    CGdiHandle<HBITMAP> canvas(CreateCompatibleBitmap(item->hDC, width, height));
    CSelection onCanvas(memoryOwner.get(), canvas.get());
    const HDC memory = memoryOwner.get();
    DrawFace(memory, face, width);
    DrawCaption(memory, item->rcItem, item->itemState, m_textColors[index], m_format, true);
    typedef BOOL(WINAPI * TransparentBltFn)(HDC, int, int, int, int, HDC, int, int, int, int, UINT);
    CRuntimeDll msimg;  // not a known DLL, so never imported: one beside the program could be planted
    TransparentBltFn transparentBlt =
        m_transparent && msimg.LoadSystem("msimg32.dll") ? msimg.Get<TransparentBltFn>("TransparentBlt") : nullptr;
    if (!transparentBlt || !transparentBlt(item->hDC, 0, 0, width, height, memory, 0, 0, width, height, m_transparentColor))
        BitBlt(item->hDC, 0, 0, width, bm.bmHeight, memory, 0, 0, SRCCOPY);
}

void CBufferedButtonEx::DrawItem(LPDRAWITEMSTRUCT item) {
    if (m_pressed) item->itemState |= ODS_SELECTED;
    CBufferedButton::DrawItem(item);
}
