// A single-line edit that admits only allowed characters, up to a length, on
// every way text arrives: typing, editor updates, paste, IME results, drops.
// Text arithmetic is in bytes of the process code page.
#pragma once
#include <string>
#include <vector>

#include "afxwin.h"
#include "controls/CharChecker.h"

class CMaskEdit;

class IMaskEditListener {
public:
    virtual void OnTextUpdated(CMaskEdit* edit) = 0;
    virtual void OnFocusLost(CMaskEdit* edit) = 0;
    // True when the drop is fully handled.
    virtual bool OnFilesDropped(CMaskEdit* edit, HDROP drop) = 0;

protected:
    ~IMaskEditListener() {}
};

class CMaskEdit : public CEdit {
public:
    CMaskEdit();
    ~CMaskEdit() override;

    // Both take ownership; null is ignored.
    void SetLenChecker(CLenChecker* checker);
    void AddCharChecker(CCharChecker* checker);
    void SetMaxLength(int length) { m_nMaxLength = length; }
    int GetMaxLength() const { return m_nMaxLength; }
    void SetCueText(const char* text) { m_strCueText = text ? text : ""; }
    void SetListener(IMaskEditListener* listener) { m_pListener = listener; }

    // The selection as byte offsets, whatever unit the edit counts in.
    void GetSelBytes(int& start, int& end);
    void SetSelBytes(int start, int end);
    std::string GetSelText();
    // Room left when the selection is replaced, in length-checker units.
    int GetRemainingLength();
    // source cut to limit and stripped of what no checker accepts; true when
    // that changed it.
    bool FilterText(const std::string& source, int limit, std::string& filtered);

    // Reads the IME's result string; its byte length, negative on an error.
    // Replaceable because Wine has no IME to compose a result.
    typedef long (*ImeResultReader)(HWND edit, std::string& result);
    static ImeResultReader SetImeResultReader(ImeResultReader reader);

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    afx_msg void OnChar(UINT nChar, UINT nRepCnt, UINT nFlags);
    afx_msg void OnEnUpdate();
    afx_msg BOOL OnEnSetfocus();
    afx_msg BOOL OnEnKillfocus();
    afx_msg void OnDropFiles(HDROP drop);
    afx_msg void OnPaint();
    afx_msg void OnKeyDown(UINT nChar, UINT nRepCnt, UINT nFlags);
    afx_msg void OnLButtonDown(UINT nFlags, CPoint point);

    DECLARE_MESSAGE_MAP()

private:
    BOOL OnImeComposition(WPARAM wParam, LPARAM lParam);
    void OnPaste();
    // The filtered text in place of the selection, one undoable step, caret after it.
    void ReplaceSelFiltered(const std::string& text, int room, int start);
    std::string Text() const;
    bool CountsCharacters(const std::string& text);

    CLenChecker* m_pLenChecker;
    std::vector<CCharChecker*> m_charCheckers;
    int m_nMaxLength;
    std::string m_strCueText;
    IMaskEditListener* m_pListener;
};
