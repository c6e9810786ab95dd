// Paths relative to a base folder (normally the running program's), and the
// base layer's own diagnostics, which go to the debugger rather than the log.
#pragma once
#include <windows.h>

class CBasePathUtil {
public:
    // baseFolder null: the folder of module (null: the running program).
    CBasePathUtil(const char* baseFolder, HMODULE module);
    virtual ~CBasePathUtil() {}

    // The base folder joined with relativePath, valid until the next call; null
    // (and a trace) when it would not fit MAX_PATH or, with mustExist, is missing.
    const char* GetPath(const char* relativePath, BOOL mustExist);
    const char* GetModuleName() const { return m_moduleName; }

private:
    char m_result[MAX_PATH];
    char m_baseFolder[MAX_PATH];  // ends with a backslash
    char m_moduleName[MAX_PATH];
};

class CQvTrace {
public:
    static CQvTrace& GetInstance();
    virtual ~CQvTrace() {}
    // "file(line):\t" to the debugger output.
    void SetLocation(const char* file, int line);
    // The message, after the location, to the debugger output.
    void Trace(const char* format, ...);
};

#define QV_TRACE(...) (CQvTrace::GetInstance().SetLocation(__FILE__, __LINE__), CQvTrace::GetInstance().Trace(__VA_ARGS__))

// The product edition: 2 for the second edition, 1 otherwise. Decided once.
int GetProductKind();
BOOL IsSecondProductKind();
