// Owner-drawn push buttons of any width from one face bitmap: the caps drawn
// through a mask at their own size, the middle repeated; four faces with a
// hover state; the caption centred, on several lines when asked.
#pragma once
#include <string>

#include "afxwin.h"

class CSimpleLongButton : public CButton {
public:
    CSimpleLongButton();
    ~CSimpleLongButton() override;
    void DrawItem(LPDRAWITEMSTRUCT item) override;

    // Faces in this order; not owned. The width must exceed twice the cap.
    enum { MASK, NORMAL, PUSHED, HOVER, DISABLED, FACES };
    HBITMAP m_faces[FACES];
    DWORD m_hover;
    int m_capWidth;
    DWORD m_forcePush;
    DWORD m_hoverOff;
    COLORREF m_textColors[4];  // by face: normal, pushed, hover, disabled
    UINT m_format;

protected:
    // The face for the state, with its colour index (0 normal .. 3 disabled).
    HBITMAP ChooseFace(UINT state, int* colorIndex) const;
    void DrawFace(HDC dc, HBITMAP face, int width) const;
    void DrawCaption(HDC dc, const RECT& item, UINT state, COLORREF color, UINT format, bool wrap) const;
    // caption with "\r\n" before the first character of each line that would not fit rect.
    std::string WrapCaption(HDC dc, const std::string& caption, const RECT& rect) const;

    afx_msg void OnSetFocus(CWnd* oldWnd);
    afx_msg void OnKillFocus(CWnd* newWnd);
    afx_msg LRESULT OnNcHitTest(CPoint point);
    afx_msg BOOL OnEraseBkgnd(CDC* dc);
    afx_msg void OnMouseLeave();

    DECLARE_MESSAGE_MAP()
};

// Composed off screen and copied in one step, optionally through a colour key.
class CBufferedButton : public CSimpleLongButton {
public:
    CBufferedButton() : m_transparent(0), m_transparentColor(0) {}
    void DrawItem(LPDRAWITEMSTRUCT item) override;
    BYTE m_transparent;
    COLORREF m_transparentColor;
};

// Drawn pressed while its flag is set.
class CBufferedButtonEx : public CBufferedButton {
public:
    CBufferedButtonEx() : m_pressed(0) {}
    void DrawItem(LPDRAWITEMSTRUCT item) override;
    DWORD m_pressed;
};
