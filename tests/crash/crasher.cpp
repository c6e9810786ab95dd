// Test-only program: set up as the application is, it dies of an access
// violation in its own code; with "worker", on the worker thread.
#include <windows.h>
#include <string.h>
#include "Thread/WorkerThread.h"
#include "Util/KDXGlobal.h"

// Volatile: the compiler must not see the null and make the store a trap instruction.
volatile int* volatile g_target = NULL;

__attribute__((noinline)) void CrashHere(volatile int* target) { *target = 42; }

// Its name is longer than the report ever cut a single name to.
__attribute__((noinline)) void CrashCallerWithANameLongerThanTheHundredAndTwentyBytesThatAnOldCutOfSymbolNamesKept_SoTheReportMustShowItWholeInItsLineAndMore(volatile int* target) {
    CrashHere(target);
}

class CrashingWorker : public CWorkerThread {
    int DoWork() override {
        CrashHere(g_target);
        return 0;
    }
};

int main(int argc, char** argv) {
    SetupLog(NULL);
    SetupCrashHandler(TRUE, TRUE);
    if (argc > 1 && strcmp(argv[1], "worker") == 0) {
        CrashingWorker worker;
        worker.Start();
        worker.WaitForEnd();
        return 0;
    }
    CrashCallerWithANameLongerThanTheHundredAndTwentyBytesThatAnOldCutOfSymbolNamesKept_SoTheReportMustShowItWholeInItsLineAndMore(g_target);
}
