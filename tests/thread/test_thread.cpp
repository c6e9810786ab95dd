#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "TestUtil.h"
#include "Thread/WorkerThread.h"

namespace {

enum Work { kReturn7, kAwaitStop, kTakePosted, kThrow };

class Sink : public CWorkerThreadManager {
public:
    void OnWorkerEnd(int result) override { ends.push_back(result); }
    std::vector<int> ends;
};

class ScriptedWorker : public CWorkerThread {
public:
    explicit ScriptedWorker(Work work) : work_(work) {}

protected:
    // A slow start-up, so a started event set before the queue exists shows.
    int OnThreadInit() override {
        Sleep(100);
        return CWorkerThread::OnThreadInit();
    }
    int DoWork() override {
        MSG msg;
        switch (work_) {
        case kReturn7: return 7;
        case kAwaitStop:  // and lingers, so only a real wait sees the end
            if (WaitForSingleObject(GetStopEvent(), 5000) != WAIT_OBJECT_0) return 0;
            Sleep(200);
            return 1;
        case kTakePosted:
            for (int i = 0; i < 500; ++i, Sleep(10))
                if (PeekMessageA(&msg, nullptr, WM_APP, WM_APP, PM_REMOVE)) return msg.lParam == 42;
            return 0;
        case kThrow: throw std::runtime_error("仕事が失敗");
        }
        return -1;
    }

private:
    Work work_;
};

struct Case {
    const char* name;
    Work work;
    bool stop, post;        // what the owner does right after Start
    std::vector<int> ends;  // what the sink hears
    const char* log;        // a line the run must log, or nullptr
};

TEST(Thread, RunsReportsAndEnds) {
    const Case cases[] = {
        {"result", kReturn7, false, false, {7}, nullptr},
        {"stop", kAwaitStop, true, false, {1}, nullptr},
        {"queue", kTakePosted, false, true, {1}, nullptr},
        {"throw", kThrow, false, false, {-1}, "例外を捕捉しました。[CWorkerThread::Main] 仕事が失敗"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testutil::LogCapture log;
        Sink sink;
        ScriptedWorker worker(c.work);
        EXPECT_EQ(0u, worker.Start(&sink));
        EXPECT_TRUE(!c.stop || worker.Stop());
        EXPECT_TRUE(!c.post || PostThreadMessageA(worker.GetThreadId(), WM_APP, 0, 42));
        ASSERT_TRUE(worker.Wait(10000));
        EXPECT_EQ(c.ends, sink.ends);
        EXPECT_TRUE(!c.log || log.Has(c.log)) << log.Text();
    }
}

TEST(Thread, DestructorStopsAndWaits) {
    std::unique_ptr<ScriptedWorker> idle(new ScriptedWorker(kAwaitStop));
    EXPECT_TRUE(idle->Wait(0));  // never started: nothing to wait for
    DWORD t0 = GetTickCount();
    idle.reset();
    EXPECT_LT(GetTickCount() - t0, 1000u);

    std::unique_ptr<ScriptedWorker> busy(new ScriptedWorker(kAwaitStop));
    busy->Start();
    CHandle thread;
    DuplicateHandle(GetCurrentProcess(), busy->GetThreadHandle(), GetCurrentProcess(), thread.out(), 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    EXPECT_FALSE(busy->Wait(200));  // waits for its stop event
    busy.reset();
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread.get(), 0));
}

}  // namespace
