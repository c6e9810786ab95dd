// The log writer's call-site interface: TARNLOG(kind, format, ...).
#pragma once
#include <windows.h>

#include <exception>

#include "TarnLog/TarnLogKind.h"

// Created per call site; keeps the caller's GetLastError() across the call.
class CTarnLogWrapper {
public:
    CTarnLogWrapper(const char* sourcePath, const int& line);
    virtual ~CTarnLogWrapper();

    unsigned Output(TarnLogKind kind, const char* format, ...);
    void Initialize(const char* logPath, int sizeKB, HMODULE module, int dumpLimit, int policyMode);
    void Terminate();
    int FlushAll();

private:
    const char* m_sourcePath;
    int m_line;
    DWORD m_lastError;
};

#define TARNLOG(kind, ...) CTarnLogWrapper(__FILE__, __LINE__).Output((kind), __VA_ARGS__)

// The one line of an exception stopped at a boundary (a thread, window or
// dialog procedure): where it stopped and what it said.
void LogStoppedException(const char* where, const char* what);

// Runs body; an exception it throws stops here and is logged with where.
// False when one did.
template <class Body>
bool RunLoggingExceptions(const char* where, Body body) {
    try {
        body();
        return true;
    } catch (const std::exception& e) {
        LogStoppedException(where, e.what());
    } catch (...) {
        LogStoppedException(where, "unknown exception");
    }
    return false;
}

