// StopServiceAndWait, DeleteServiceByName and IsServiceProcessAlive against
// a real service (ops_testsvc.exe) installed with the bench's service
// control manager. Every service has a name of its own and is deleted, its
// process ended, when the test ends.
#include <gtest/gtest.h>

#include "Util/ServiceControl.h"
#include "TestUtil.h"

#include <string>

namespace {

std::string ServiceExe() { return testutil::OwnFolder() + "ops_testsvc.exe"; }

class TestService {
public:
    explicit TestService(const std::string& mode, DWORD type = SERVICE_WIN32_OWN_PROCESS) {
        static int counter = 0;
        char name[64];
        wsprintfA(name, "OpsTestSvc-%lu-%d", GetCurrentProcessId(), ++counter);
        name_ = name;
        manager_ = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
        std::string command = "\"" + ServiceExe() + "\" " + mode;
        if (manager_)
            service_ = CreateServiceA(manager_, name, name, SERVICE_ALL_ACCESS, type, SERVICE_DEMAND_START,
                                      SERVICE_ERROR_IGNORE, command.c_str(), NULL, NULL, NULL, NULL, NULL);
    }
    ~TestService() {
        if (service_) {
            DWORD pid = Pid();
            if (pid) {
                HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
                if (process) {
                    TerminateProcess(process, 1);
                    WaitForSingleObject(process, 10000);
                    CloseHandle(process);
                }
            }
            DeleteService(service_);
            CloseServiceHandle(service_);
        }
        if (manager_) CloseServiceHandle(manager_);
    }
    TestService(const TestService&) = delete;
    TestService& operator=(const TestService&) = delete;

    bool created() const { return service_ != NULL; }
    // Closes the handles without deleting: a service whose handles are
    // open is only marked for deletion and can still be opened.
    void CloseHandles() {
        if (service_) CloseServiceHandle(service_);
        service_ = NULL;
    }
    const char* name() const { return name_.c_str(); }
    SC_HANDLE handle() const { return service_; }

    DWORD State() const {
        SERVICE_STATUS status = {};
        return QueryServiceStatus(service_, &status) ? status.dwCurrentState : 0;
    }
    DWORD Pid() const {
        SERVICE_STATUS_PROCESS info = {};
        DWORD needed = 0;
        return QueryServiceStatusEx(service_, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&info),
                                    sizeof(info), &needed)
                   ? info.dwProcessId
                   : 0;
    }
    bool WaitFor(DWORD state, DWORD timeoutMs = 30000) const {
        for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
            if (State() == state) return true;
            Sleep(50);
        }
        return false;
    }
    bool Start() { return StartServiceA(service_, 0, NULL) && WaitFor(SERVICE_RUNNING); }

private:
    std::string name_;
    SC_HANDLE manager_ = NULL;
    SC_HANDLE service_ = NULL;
};

DWORD ElapsedSince(DWORD start) { return GetTickCount() - start; }

TEST(StopServiceAndWait, NullNameIs87) { EXPECT_EQ(87u, StopServiceAndWait(nullptr, 1000)); }

TEST(StopServiceAndWait, MissingServiceIs1060) {
    EXPECT_EQ(1060u, StopServiceAndWait("OpsTestSvc-never-installed", 1000));
}

TEST(StopServiceAndWait, AlreadyStoppedReturnsAtOnceWithoutPolling) {
    TestService svc("prompt");
    ASSERT_TRUE(svc.created());
    DWORD start = GetTickCount();
    EXPECT_EQ(0u, StopServiceAndWait(svc.name(), INFINITE));
    EXPECT_LT(ElapsedSince(start), 250u);
}

TEST(StopServiceAndWait, PromptServiceStops) {
    TestService svc("prompt");
    ASSERT_TRUE(svc.created());
    ASSERT_TRUE(svc.Start());
    EXPECT_EQ(0u, StopServiceAndWait(svc.name(), INFINITE));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), svc.State());
}

TEST(StopServiceAndWait, SmallLimitIsRaisedAndTimesOutAfterTwoRounds) {
    TestService svc("hang");
    ASSERT_TRUE(svc.created());
    ASSERT_TRUE(svc.Start());
    DWORD start = GetTickCount();
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), StopServiceAndWait(svc.name(), 100));
    DWORD elapsed = ElapsedSince(start);
    EXPECT_GE(elapsed, 490u);
    EXPECT_LT(elapsed, 5000u);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOP_PENDING), svc.State());
}

TEST(StopServiceAndWait, UnlimitedWaitIsBounded) {
    EXPECT_EQ(120000u, kUnlimitedStopWaitMs);
    TestService svc("hang");
    ASSERT_TRUE(svc.created());
    ASSERT_TRUE(svc.Start());
    DWORD start = GetTickCount();
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), StopServiceAndWaitBounded(svc.name(), INFINITE, 1500));
    EXPECT_GE(ElapsedSince(start), 1450u);
}

TEST(StopServiceAndWait, AlreadyStopPendingIsWaitedForWithoutSecondRequest) {
    TestService svc("hang");
    ASSERT_TRUE(svc.created());
    ASSERT_TRUE(svc.Start());
    SERVICE_STATUS status = {};
    ASSERT_TRUE(ControlService(svc.handle(), SERVICE_CONTROL_STOP, &status));
    ASSERT_TRUE(svc.WaitFor(SERVICE_STOP_PENDING));
    // A second request is refused here, so sending one would end the call
    // with that error instead of the wait's timeout.
    ASSERT_FALSE(ControlService(svc.handle(), SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), StopServiceAndWait(svc.name(), 1000));
}

TEST(StopServiceAndWait, ProcessExitedWhileStopPendingCountsAsStopped) {
    TestService svc("exitpending");
    ASSERT_TRUE(svc.created());
    ASSERT_TRUE(svc.Start());
    DWORD start = GetTickCount();
    EXPECT_EQ(0u, StopServiceAndWait(svc.name(), 20000));
    EXPECT_LT(ElapsedSince(start), 15000u);
    // The manager still says stop-pending, so the process check ended the
    // wait. It holds the ended process open, so it can still be opened: only
    // its signalled state tells that it has gone.
    ASSERT_EQ(static_cast<DWORD>(SERVICE_STOP_PENDING), svc.State());
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, svc.Pid());
    ASSERT_NE(nullptr, process);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process, 0));
    CloseHandle(process);
}

TEST(StopServiceAndWait, BackToRunningIsServerStopping) {
    TestService svc("bounce");
    ASSERT_TRUE(svc.created());
    ASSERT_TRUE(svc.Start());
    EXPECT_EQ(static_cast<DWORD>(CO_E_SERVER_STOPPING), StopServiceAndWait(svc.name(), 20000));
}

TEST(StopServiceAndWait, RefusedStopIsTheControlError) {
    TestService svc("refuse");
    ASSERT_TRUE(svc.created());
    ASSERT_TRUE(svc.Start());
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_SERVICE_CONTROL), StopServiceAndWait(svc.name(), 1000));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), svc.State());
}

TEST(DeleteServiceByName, DeletesInstalledService) {
    TestService svc("prompt");
    ASSERT_TRUE(svc.created());
    svc.CloseHandles();
    EXPECT_EQ(0u, DeleteServiceByName(svc.name(), nullptr));
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(nullptr, manager);
    SC_HANDLE again = OpenServiceA(manager, svc.name(), SERVICE_ALL_ACCESS);
    DWORD error = GetLastError();
    if (again) {
        DeleteService(again);
        CloseServiceHandle(again);
    }
    CloseServiceHandle(manager);
    EXPECT_EQ(nullptr, again);
    EXPECT_EQ(1060u, error);
}

TEST(DeleteServiceByName, MissingAndNull) {
    EXPECT_EQ(1060u, DeleteServiceByName("OpsTestSvc-never-installed", nullptr));
    EXPECT_EQ(87u, DeleteServiceByName(nullptr, nullptr));
}

TEST(IsServiceProcessAlive, RunningStoppedAndDriver) {
    TestService svc("hang");
    ASSERT_TRUE(svc.created());
    BOOL alive = TRUE;
    EXPECT_EQ(0u, IsServiceProcessAlive(svc.handle(), &alive));
    EXPECT_FALSE(alive);  // never started: no process id
    ASSERT_TRUE(svc.Start());
    alive = FALSE;
    EXPECT_EQ(0u, IsServiceProcessAlive(svc.handle(), &alive));
    EXPECT_TRUE(alive);

    // Ended process while the manager still says stop-pending.
    SERVICE_STATUS status = {};
    ASSERT_TRUE(ControlService(svc.handle(), SERVICE_CONTROL_STOP, &status));
    ASSERT_TRUE(svc.WaitFor(SERVICE_STOP_PENDING));
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, svc.Pid());
    ASSERT_NE(nullptr, process);
    TerminateProcess(process, 1);
    WaitForSingleObject(process, 10000);
    CloseHandle(process);
    alive = TRUE;
    EXPECT_EQ(0u, IsServiceProcessAlive(svc.handle(), &alive));
    EXPECT_FALSE(alive);

    // Drivers have no process to look at (installed, never started).
    TestService driver("prompt", SERVICE_KERNEL_DRIVER);
    ASSERT_TRUE(driver.created());
    EXPECT_EQ(50u, IsServiceProcessAlive(driver.handle(), &alive));
    EXPECT_EQ(87u, IsServiceProcessAlive(svc.handle(), nullptr));
}

}  // namespace
