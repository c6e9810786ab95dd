// Internal parts of the dialog class layer shared by its sources (and its tests).
#pragma once
#include <windows.h>
#include <stddef.h>

#include <exception>

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

// One message being handled by the layer on this thread. When the outermost one
// ends, the temporary wrappers whose handles are gone are dropped: a temporary is
// good until then, as the library promises, and the table stays bounded by the
// handles alive at a time.
class AfxDispatchScope {
public:
    AfxDispatchScope();
    ~AfxDispatchScope();
    AfxDispatchScope(const AfxDispatchScope&) = delete;
    AfxDispatchScope& operator=(const AfxDispatchScope&) = delete;
};

// Hands an exception stopped at a callback boundary to the application's hook.
void AfxReportException(const char* where, UINT message, const char* what) noexcept;

// Runs body at a callback boundary: no exception goes on into the system's code;
// one that body throws is reported and ends here.
template <class Body>
void AfxCallGuarded(const char* where, UINT message, Body&& body) noexcept {
    try {
        body();
    } catch (const std::exception& e) {
        AfxReportException(where, message, e.what());
    } catch (...) {
        AfxReportException(where, message, "unknown exception");
    }
}

// Drops the temporary wrappers of windows, contexts and drawing objects that are gone.
void AfxSweepTemporaries();
void AfxSweepGdiTemporaries();

// How many temporary wrappers of windows, contexts and drawing objects exist now.
size_t AfxTemporaryCount();
size_t AfxTemporaryGdiCount();
