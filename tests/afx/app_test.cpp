// Application start-up: the module state, AfxWinMain's road, and a real program
// that links the layer's WinMain.
#include <gtest/gtest.h>

#include <string>

#include "AfxTestUtil.h"
#include "afx_test_res.h"
#include "afxwin.h"

namespace {

class CRoadApp : public CWinApp {
public:
    BOOL initResult = FALSE;
    int exitResult = -1;  // -1: the base's
    int inits = 0, exits = 0, runs = 0;
    afxtest::TestWindow* window = nullptr;
    CWnd mainWnd;

    BOOL InitInstance() override {
        ++inits;
        if (window) {
            mainWnd.SubclassWindow(window->get());
            m_pMainWnd = &mainWnd;
            mainWnd.PostMessage(WM_CLOSE);
        }
        return initResult;
    }
    int ExitInstance() override {
        ++exits;
        return exitResult == -1 ? CWinApp::ExitInstance() : exitResult;
    }
    int Run() override {
        ++runs;
        return CWinApp::Run();
    }
};

TEST(AppTest, ModuleStateAndResourceHandles) {
    HINSTANCE self = GetModuleHandleA(nullptr);
    EXPECT_EQ(nullptr, AfxGetApp());
    EXPECT_EQ(self, AfxGetModuleState()->m_hCurrentInstanceHandle);
    EXPECT_EQ(self, AfxGetModuleState()->m_hCurrentResourceHandle);
    EXPECT_EQ(self, AfxGetInstanceHandle());
    EXPECT_EQ(self, AfxGetResourceHandle());
    EXPECT_EQ(self, AfxFindResourceHandle(MAKEINTRESOURCEA(IDD_AFX_TEST), RT_DIALOG));
    EXPECT_EQ(self, AfxFindResourceHandle(AFX_TEST_NAMED, RT_DIALOG));
    EXPECT_EQ(self, AfxFindResourceHandle(MAKEINTRESOURCEA(IDD_AFX_MISSING), RT_DIALOG));
    EXPECT_EQ(nullptr, AfxGetMainWnd());
    EXPECT_EQ(-1, AfxWinMain(self, nullptr, const_cast<LPSTR>(""), SW_SHOW));  // no application object
}

TEST(AppTest, InitInstanceFalseGoesStraightToExitInstance) {
    HINSTANCE self = GetModuleHandleA(nullptr);
    CRoadApp app;
    ASSERT_EQ(&app, AfxGetApp());
    app.exitResult = 7;
    char cmd[] = "args";
    EXPECT_EQ(7, AfxWinMain(self, nullptr, cmd, SW_SHOWMINIMIZED));
    EXPECT_EQ(1, app.inits);
    EXPECT_EQ(1, app.exits);
    EXPECT_EQ(0, app.runs);
    EXPECT_EQ(self, app.m_hInstance);
    EXPECT_EQ(cmd, app.m_lpCmdLine);
    EXPECT_EQ(SW_SHOWMINIMIZED, app.m_nCmdShow);

    app.exitResult = -1;
    EXPECT_EQ(0, AfxWinMain(self, nullptr, cmd, SW_SHOW));  // the base's value without a loop
}

TEST(AppTest, InitInstanceTrueRunsTheLoopUntilTheMainWindowCloses) {
    HINSTANCE self = GetModuleHandleA(nullptr);
    {
        // Without a main window the loop ends at once.
        CRoadApp app;
        app.initResult = TRUE;
        EXPECT_EQ(0, AfxWinMain(self, nullptr, nullptr, SW_SHOW));
        EXPECT_EQ(1, app.runs);
        EXPECT_EQ(1, app.exits);
    }
    {
        afxtest::TestWindow window(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
        HWND h = window.get();
        CRoadApp app;
        app.initResult = TRUE;
        app.window = &window;
        app.exitResult = 12;
        EXPECT_EQ(12, AfxWinMain(self, nullptr, nullptr, SW_SHOW));
        EXPECT_EQ(1, app.runs);
        EXPECT_EQ(1, app.exits);
        EXPECT_FALSE(IsWindow(h));
        EXPECT_EQ(nullptr, app.m_pMainWnd);
    }
    EXPECT_EQ(nullptr, AfxGetApp());
}

TEST(AppTest, ProgramWithTheLayersWinMain) {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string exe(self);
    exe = exe.substr(0, exe.rfind('\\') + 1) + "afx_sample_app.exe";
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(CreateProcessA(exe.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        << exe << " error " << GetLastError();
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(pi.hProcess, 30000));
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    // 0x100 from its ExitInstance plus one bit for each thing its InitInstance found right.
    EXPECT_EQ(0x11Fu, code);
}

}  // namespace
