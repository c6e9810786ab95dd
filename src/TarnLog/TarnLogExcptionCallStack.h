// Crash handler: a report of an unhandled exception, written line by line to
// a callback (the log), and an optional full-memory mini-dump.
#pragma once
#include <windows.h>
#include <dbghelp.h>

// Receives one report line; lastLine is TRUE on the closing line of a block.
typedef void (*CrashReportCallback)(const char* line, BOOL lastLine);

// Stores the callback and the folder of the dump "VELMOR.DMP" and its
// marker (nullptr: no dump) and, when install is TRUE, registers
// CrashExceptionFilter as the unhandled-exception filter.
void InstallCrashHandler(CrashReportCallback callback, const char* dumpFolder, BOOL install);

// The unhandled-exception filter; always EXCEPTION_CONTINUE_SEARCH. An
// exception thrown while reporting ends the report, never the filter.
LONG WINAPI CrashExceptionFilter(EXCEPTION_POINTERS* exception);

// The callback that writes the report to the log ("!!" lines) and flushes the
// log files after the closing line.
void OnCrashReportLine(const char* line, BOOL lastLine);

// Writes a mini-dump of this process to path. A Win32 code, 0 on success; a
// failed attempt leaves no file.
DWORD WriteMiniDump(const char* path, EXCEPTION_POINTERS* exception, MINIDUMP_TYPE type);

// True while the marker "KDMDMP.INI" exists in the dump folder.
BOOL IsDumpEnabled();
