// Helpers of the dialog class layer's tests: real top-level windows and message pumping.
#pragma once
#include <windows.h>

namespace afxtest {

// A plain top-level window of a class of the tests, destroyed with the object.
class TestWindow {
public:
    explicit TestWindow(DWORD style = WS_OVERLAPPEDWINDOW, HWND parent = nullptr, const char* cls = nullptr,
                        int id = 0) {
        static ATOM atom = [] {
            WNDCLASSA wc = {};
            wc.lpfnWndProc = DefWindowProcA;
            wc.hInstance = GetModuleHandleA(nullptr);
            wc.lpszClassName = "AfxTestWindow";
            wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
            wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
            return RegisterClassA(&wc);
        }();
        (void)atom;
        m_h = CreateWindowExA(0, cls ? cls : "AfxTestWindow", "afx test", style, 10, 10, 300, 200, parent,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr),
                              nullptr);
    }
    ~TestWindow() {
        if (IsWindow(m_h)) DestroyWindow(m_h);
    }
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;
    HWND get() const { return m_h; }

private:
    HWND m_h;
};

// Dispatches what is queued for this thread.
inline void Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

}  // namespace afxtest
