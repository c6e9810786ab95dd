// The thread framework on real threads; the progress dialog hosting the sequence, read and pressed from a second one.
#include <windows.h>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>
#include "Ins/InsCmn/Sequre.h"
#include "TestUtil.h"
#include "Thread/UninstallWorkerThread.h"
#include "Thread/WorkerThread.h"
#include "Thread/WorkerThreadProgressDialog.h"
#include "UiDriver.h"
#include "resource.h"

namespace {

using Strings = std::vector<std::string>;

// One open gate at a time: the worker waits in Pass(n) until the test opens gate n.
struct Gates {
    HANDLE arrived = CreateEventA(nullptr, FALSE, FALSE, nullptr), open = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    volatile int at = -1;
    void Pass(int n) { at = n, SetEvent(arrived), WaitForSingleObject(open, 10000); }
    bool Await(int n) { return WaitForSingleObject(arrived, 10000) == WAIT_OBJECT_0 && at == n; }
    void Open() { SetEvent(open); }
} g_gates;

HWND ProgressWindow(const wchar_t* caption = L"") { return uidriver::WaitForWindow(caption, false, GetCurrentProcessId(), 5000); }

// What the dialog shows once its timer has shown position pos (up to 2 s): the text, the percentage, the range.
std::string Read(HWND dlg, int pos) {
    HWND bar = GetDlgItem(dlg, IDC_PROGRESS_BAR);
    for (int i = 0; i < 100 && SendMessageA(bar, PBM_GETPOS, 0, 0) != pos; ++i) Sleep(20);
    Sleep(150);  // one more tick for the texts
    PBRANGE range = {};
    SendMessageA(bar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    return uidriver::GetText(GetDlgItem(dlg, IDC_PROGRESS_TEXT)) + "|" +
           uidriver::GetText(GetDlgItem(dlg, IDC_PROGRESS_PERCENT)) + "|" + std::to_string(range.iLow) + "-" +
           std::to_string(range.iHigh);
}

// The operations of the sequence, each recording its call; the gated ones wait for the test.
std::vector<std::string> g_calls;
UninstallOperations Recording() {
    return {[](char* b, const char*, DWORD, const char*) { return g_calls.push_back("read"), strcpy(b, "C:\\agent"), 0ul; },
            [](const CWalkRoot&, const char*, std::string&, CSecurityRecord*) { return g_calls.push_back("secure"), 0ul; },
            [](const CWalkRoot&, const CSecurityRecord&, size_t*) { return g_calls.push_back("restore"), 0ul; },
            [](const char*, DWORD) { return g_calls.push_back("stop"), 0ul; },
            [](const char*, const char*) { return g_calls.push_back("delete service"), 0ul; },
            [](const CWalkRoot&, bool* restart) { return g_calls.push_back("delete folder"), *restart = false, 0ul; },
            [](char* b, int which) { return g_calls.push_back("desktop " + std::to_string(which)), strcpy(b, "D:\\"), 0ul; },
            [](const char* path) { return g_calls.push_back(path), 0ul; },
            [] { return g_calls.push_back("key"), 0ul; }};
}

TEST(ProgressDialog, UninstallShowsEachStepAnswersAndTakesEsc) {
    UninstallOperations ops = Recording();
    ops.readInstallValue = [](char* b, const char*, DWORD, const char*) { return g_gates.Pass(0), strcpy(b, "C:\\a"), 0ul; };
    ops.deleteFolder = [](const CWalkRoot&, bool*) { return g_gates.Pass(1), 0ul; };
    ops.getDesktopFolder = [](char* b, int) { return g_gates.Pass(2), strcpy(b, "D:\\"), 0ul; };
    ops.removeRegistryKey = [] { return g_gates.Pass(3), 0ul; };
    const char* steps[] = {"サービスを停止中です。", "インストールフォルダからファイルを削除中です。",
                           "ショートカットファイルを削除中です。", "レジストリ情報を削除中です。"};
    testutil::LogCapture log;
    CUninstallWorkerThread worker(ops);
    std::thread observer([&] {
        for (int step = 0; step < 4; ++step) {
            ASSERT_TRUE(g_gates.Await(step));
            HWND dlg = ProgressWindow(L"エージェント端末アンインストーラー");
            EXPECT_EQ(std::string("エージェント端末をアンインストールしています。\r\n") + steps[step] + "|" +
                          std::to_string(step * 25) + "%|0-4", Read(dlg, step));
            EXPECT_TRUE(uidriver::PressKey(dlg, step == 1 ? uidriver::Key::Escape : uidriver::Key::Enter));
            EXPECT_TRUE(SendMessageTimeoutA(dlg, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, nullptr));  // not hung
            g_gates.Open();
        }
    });
    EXPECT_EQ(0, CWorkerThreadProgressDialog::RunWorker(&worker, IDD_PROGRESS, nullptr, TRUE));
    observer.join();
    EXPECT_EQ("000", worker.GetResultCode());
    EXPECT_EQ(1, testutil::CountMessages(testutil::ParseAll(log.Text()), "キャンセルボタン押下"));
}

// No room for a thread's stack: the address space taken up, then the blocks under 1 MB given back for the rest.
struct NoRoomForAThread {
    std::vector<std::pair<void*, SIZE_T>> taken;
    NoRoomForAThread() {
        for (SIZE_T size = SIZE_T(1) << 30; size >= 0x10000; size /= 2)
            while (void* p = VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS)) taken.emplace_back(p, size);
        for (auto& b : taken)
            if (b.second < (1 << 20)) VirtualFree(b.first, 0, MEM_RELEASE), b.first = nullptr;
    }
    ~NoRoomForAThread() { for (auto& b : taken) VirtualFree(b.first, 0, MEM_RELEASE); }  // a null block: nothing
};

// A worker whose thread cannot be made fails the run at once, logged; a dialog left waiting is ended by the watch.
TEST(ProgressDialog, NoThreadFailsTheRun) {
    testutil::LogCapture log;
    CUninstallWorkerThread worker(Recording());
    CHandle done(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    std::thread watch([&] {
        if (WaitForSingleObject(done.get(), 20000) == WAIT_TIMEOUT) PostMessageA(ProgressWindow(), WM_APP + 1, 0, 77);
    });
    INT_PTR result = 0;
    {
        NoRoomForAThread full;
        result = CWorkerThreadProgressDialog::RunWorker(&worker, IDD_PROGRESS, nullptr, TRUE);
    }
    SetEvent(done.get());
    watch.join();
    EXPECT_EQ(-1, result);
    EXPECT_TRUE(log.Has("スレッドの作成に失敗しました。 GetLastError:[")) << log.Text();
}

// Faults the platform will not produce, through replaced operations, without a dialog (the others: tests/e2e).
TEST(UninstallSequence, CodesRestartAndWhatRuns) {
    using Fault = void (*)(UninstallOperations&);
    const struct { const char* name; Fault fault; const char* code; Strings calls; const char* logged; } rows[] = {
        {"service not deleted", [](UninstallOperations& o) { o.deleteService = [](const char*, const char*) {
             return g_calls.push_back("delete service"), DWORD(5); }; },
         "003", {"read", "secure", "stop", "delete service"}, "サービスのアンインストールに失敗 [5]"},
        {"current user's desktop", [](UninstallOperations& o) { o.getDesktopFolder = [](char* b, int w) {
             return g_calls.push_back("desktop " + std::to_string(w)), w == 0 ? DWORD(E_FAIL) : (strcpy(b, "E:\\表"), 0ul); }; },
         "000",
         {"read", "secure", "stop", "delete service", "delete folder", "desktop 0", "desktop 1",
          "E:\\表\\インベントリ情報アップロード.lnk", "E:\\表\\リモート操作クライアント.lnk", "key"},
         "All Users Desktopパス取得失敗[ 0x80004005 ]"},
        {"no desktop", [](UninstallOperations& o) { o.getDesktopFolder = [](char*, int w) {
             return g_calls.push_back("desktop " + std::to_string(w)), DWORD(E_FAIL); }; },
         "005", {"read", "secure", "stop", "delete service", "delete folder", "desktop 0", "desktop 1"},
         "Current Desktopパス取得失敗[ 0x80004005 ]"},
        {"a throwing step", [](UninstallOperations& o) { o.removeShortcut = [](const char*) -> DWORD { throw std::runtime_error("壊れた"); }; },
         "005", {}, "例外を捕捉しました。[CUninstallWorkerThread::DoWork] 壊れた"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        UninstallOperations ops = Recording();
        r.fault(ops);
        g_calls.clear();
        testutil::LogCapture log;
        CUninstallWorkerThread worker(ops);
        ASSERT_EQ(0u, worker.Start());
        ASSERT_TRUE(worker.Wait(10000));
        EXPECT_EQ(r.code, worker.GetResultCode());
        EXPECT_FALSE(worker.m_bNeedRestart);
        EXPECT_TRUE(r.calls.empty() || r.calls == g_calls) << ::testing::PrintToString(g_calls);
        EXPECT_TRUE(!r.logged || log.Has(r.logged)) << log.Text();
        const int steps = testutil::CountMessages(testutil::ParseAll(log.Text()), "■■■ プログレスバーを次のステップに進める ■■■");
        EXPECT_TRUE(std::string(r.code) != "000" || steps == 5) << steps;  // without a dialog, the steps are only logged
    }
}

// Wine stores no owner or list: through the walk's seam each entry reads as its path, failOwner's owner fails.
struct Lists : CSecurityCalls {
    std::string failOwner;
    std::map<std::string, std::string> written;
    CSecurityCalls* old = CSecurityCalls::Replace(this);
    ~Lists() override { CSecurityCalls::Replace(old); }
    DWORD Set(const CWalkEntry& e, SECURITY_INFORMATION what, PSID, PACL) override {
        return e.Text() == failOwner && (what & OWNER_SECURITY_INFORMATION) ? ERROR_ACCESS_DENIED : 0;
    }
    DWORD Read(const CWalkEntry& e, std::vector<BYTE>& d) override {
        const std::string t = e.Text();
        return d.assign(t.begin(), t.end()), 0;
    }
    DWORD Write(const CWalkEntry& e, const std::vector<BYTE>& d) override {
        return written[e.Text()] = std::string(d.begin(), d.end()), 0;
    }
};
std::string g_installPath;

// A run that stops with the service still installed puts back every owner and list the walk had changed, each to
// what it read before; a run past the service's removal puts back nothing.
TEST(UninstallSequence, AFailureWithTheServiceInstalledPutsTheListsBack) {
    // restored: every entry; at "002" those the walk reached before it stopped, which the listing's order decides.
    const struct { const char* code; bool failWalk; DWORD stop, remove; size_t restored; } rows[] = {
        {"007", false, ERROR_SERVICE_REQUEST_TIMEOUT, 0, 6}, {"003", false, 0, ERROR_ACCESS_DENIED, 6},
        {"002", true, 0, 0, 0}, {"000", false, 0, 0, 0}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.code);
        testutil::TempDir dir("restore");  // the root, ソ, ソ\表, a.txt, ソ\b.txt, ソ\表\c.txt
        g_installPath = dir.path_;
        for (const char* d : {"\\ソ", "\\ソ\\表"}) CreateDirectoryA((dir.path_ + d).c_str(), nullptr);
        for (const char* f : {"\\a.txt", "\\ソ\\b.txt", "\\ソ\\表\\c.txt"}) testutil::WriteBytes(dir.path_ + f, "x");
        Lists lists;
        if (r.failWalk) lists.failOwner = dir.path_ + "\\ソ\\表\\c.txt";
        static DWORD stop, remove;
        stop = r.stop, remove = r.remove;
        UninstallOperations ops = UninstallOperations::System();
        ops.readInstallValue = [](char* b, const char*, DWORD, const char*) { return strcpy(b, g_installPath.c_str()), 0ul; };
        ops.stopService = [](const char*, DWORD) { return stop; };
        ops.deleteService = [](const char*, const char*) { return remove; };
        const UninstallOperations recording = Recording();
        ops.getDesktopFolder = recording.getDesktopFolder, ops.removeShortcut = recording.removeShortcut;
        ops.removeRegistryKey = recording.removeRegistryKey;
        testutil::LogCapture log;
        CUninstallWorkerThread worker(ops);
        ASSERT_EQ(0u, worker.Start());
        ASSERT_TRUE(worker.Wait(30000));
        EXPECT_EQ(r.code, worker.GetResultCode());
        const size_t restored = r.failWalk ? lists.written.size() : r.restored;
        EXPECT_EQ(restored, lists.written.size());
        EXPECT_TRUE(!r.failWalk || lists.written.count(lists.failOwner));  // read before its owner change failed
        for (const auto& w : lists.written) EXPECT_EQ(w.first, w.second);
        EXPECT_EQ(restored != 0,
                  log.Has("インストールフォルダの所有者とアクセス権を元に戻しました。 件数:[" + std::to_string(restored) + "]"))
            << log.Text();
    }
}

struct Sink : CWorkerThreadManager {
    void OnWorkerEnd(int result) override { ends.push_back(result); }
    std::vector<int> ends;
};

// Awaits its stop event and lingers, so only a real wait sees the end.
struct AwaitingWorker : CWorkerThread {
    int DoWork() override { return WaitForSingleObject(GetStopEvent(), 5000) == WAIT_OBJECT_0 ? (Sleep(200), 1) : 0; }
};

// Its owner's end stops it and waits for the thread's end, as the program's worker ends after its dialog.
TEST(Thread, EndsWithItsOwner) {
    Sink sink;
    std::unique_ptr<AwaitingWorker> worker(new AwaitingWorker);
    EXPECT_TRUE(worker->Wait(0));  // never started: nothing to wait for
    EXPECT_EQ(0u, worker->Start(&sink));
    CHandle thread;
    DuplicateHandle(GetCurrentProcess(), worker->GetThreadHandle(), GetCurrentProcess(), thread.out(), 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    EXPECT_FALSE(worker->Wait(200));  // waits for its stop event
    worker.reset();
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(thread.get(), 0));
    EXPECT_EQ(std::vector<int>{1}, sink.ends);
}

}  // namespace
