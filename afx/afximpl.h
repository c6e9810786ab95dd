// Internal parts of the dialog class layer shared by its sources (and its tests).
#pragma once
#include <windows.h>
#include <stddef.h>

// Makes a message the one CWnd::Default passes on, for as long as the object lives.
class AfxMessageScope {
public:
    AfxMessageScope(UINT message, WPARAM wParam, LPARAM lParam);
    ~AfxMessageScope();
    AfxMessageScope(const AfxMessageScope&) = delete;
    AfxMessageScope& operator=(const AfxMessageScope&) = delete;

private:
    UINT m_message;
    WPARAM m_wParam;
    LPARAM m_lParam;
};

// Drops the temporary wrappers of windows, contexts and drawing objects that are gone.
void AfxSweepTemporaries();
void AfxSweepGdiTemporaries();

// How many temporary wrappers exist now (for the tests of their bound).
size_t AfxTemporaryWndCount();
size_t AfxTemporaryGdiCount();
size_t AfxTemporaryDcCount();
