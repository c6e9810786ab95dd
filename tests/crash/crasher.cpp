// Test-only program: set up as the application is, it dies of an access violation in its own code.
#include <windows.h>
#include "Util/KDXGlobal.h"

// Volatile: the compiler must not see the null and make the store a trap instruction.
volatile int* volatile g_target = NULL;

__attribute__((noinline)) void CrashHere(volatile int* target) { *target = 42; }

// Its name is longer than the report ever cut a single name to.
__attribute__((noinline)) void CrashCallerWithANameLongerThanTheHundredAndTwentyBytesThatAnOldCutOfSymbolNamesKept_SoTheReportMustShowItWholeInItsLineAndMore(volatile int* target) {
    CrashHere(target);
}

int main() {
    SetupLog(NULL);
    SetupCrashHandler(TRUE, TRUE);
    CrashCallerWithANameLongerThanTheHundredAndTwentyBytesThatAnOldCutOfSymbolNamesKept_SoTheReportMustShowItWholeInItsLineAndMore(g_target);
}
