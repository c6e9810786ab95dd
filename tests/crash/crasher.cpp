// Test-only program: sets up the log and the crash handler as the
// application does, then dies of an access violation in its own code.
#include <windows.h>
#include <string.h>

#include "TarnLog/TarnLog.h"
#include "Util/KDXGlobal.h"

// Read through a volatile global so the compiler cannot see the null and
// turn the store into a trap instruction: the crash must be a real
// access violation.
volatile int* volatile g_target = NULL;

__attribute__((noinline)) void CrashHere(volatile int* target) { *target = 42; }

// Its name is longer than the report ever cut a single name to.
__attribute__((noinline)) void CrashCallerWithANameLongerThanTheHundredAndTwentyBytesThatAnOldCutOfSymbolNamesKept_SoTheReportMustShowItWholeInItsLineAndMore(volatile int* target) {
    CrashHere(target);
    TARNLOG(TARNLOG_INFO, "not reached");
}

int main(int argc, char** argv) {
    bool withDump = !(argc > 1 && !strcmp(argv[1], "nodump"));
    SetupLog(NULL);
    SetupCrashHandler(withDump, TRUE);
    TARNLOG(TARNLOG_INFO, "crasher ready");
    CrashCallerWithANameLongerThanTheHundredAndTwentyBytesThatAnOldCutOfSymbolNamesKept_SoTheReportMustShowItWholeInItsLineAndMore(g_target);
    return 0;
}
