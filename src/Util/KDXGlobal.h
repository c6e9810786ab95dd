// Product environment: where the product and its log live.
#pragma once
#include <windows.h>

void SetupLog(HMODULE module);
void SetupCrashHandler(BOOL withDump, BOOL install);
