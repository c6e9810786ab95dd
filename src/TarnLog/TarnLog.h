// The log writer's call-site interface: TARNLOG(kind, format, ...).
#pragma once
#include <windows.h>

#include <exception>

enum TarnLogKind {
    TARNLOG_INFO = 0,
    TARNLOG_ERROR = 1,
    TARNLOG_AT = 2,
    TARNLOG_ARROW_RIGHT = 3,
    TARNLOG_ARROW_LEFT = 4,
    TARNLOG_FATAL = 5,
    TARNLOG_DUMP = 6,
    TARNLOG_START = 7,
    TARNLOG_END = 8,
    TARNLOG_INTERNAL = 9,
    TARNLOG_SYSTEM = 10,
    TARNLOG_RESEARCH = 11,
};

// Created per call site; keeps the caller's GetLastError() across the call.
class CTarnLogWrapper {
public:
    CTarnLogWrapper(const char* sourcePath, const int& line);
    virtual ~CTarnLogWrapper();

    unsigned Output(int kind, const char* format, ...);
    void Initialize(const char* logPath, int sizeKB, HMODULE module, int dumpLimit, int policyMode);
    void Terminate();
    int FlushAll();

private:
    unsigned HandleResult(int code, int kind);
    void ReportSystemError(int code, int kind);

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

