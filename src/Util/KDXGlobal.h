// Product environment: where the program, its log and the client product's
// folders and settings live; the log and crash-handler set-up of start-up.
#pragma once
#include <windows.h>
#include <stddef.h>

#include <string>

#include "INC/PathUtil.h"  // AddBackslash and the other path helpers

// Start-up: the log in Log\<program file name>.log beside the program (or in
// folder, created, when one is given; an error line and the default when it
// cannot be), and the crash handler with its dump in the product log folder.
void SetupLog(HMODULE module, const char* folder = nullptr);
void SetupCrashHandler(BOOL withDump, BOOL install);

// The folder of the running program with a trailing backslash.
void GetModuleFolder(char* buffer, DWORD size);
// path itself when absolute, else joined to the running program's folder;
// empty when that does not fit MAX_PATH.
std::string BesideProgram(const char* path);
// Removes the last path component in place; the platform call's result.
BOOL RemoveFileSpec(char* path);
// Creates path and every missing parent: 1 on success, existsResult when the
// folder already existed, 0 on failure.
int CreateDirectoryTree(const char* path, SECURITY_ATTRIBUTES* attributes, int existsResult,
                        BOOL applySecurity);

// The product log folder (LOGDIR of the KdmInst settings), or empty when the
// product has none. SetupLog gives it to the log writer as its default
// folder; SetupCrashHandler gives it to the crash handler for the dump.
void GetProductLogDir(char* buffer, size_t size);

// Lookups of the client product's folders; each returns a Win32 code.
class CKdmSysInfo {
public:
    static DWORD GetInstallDir(char* buffer, DWORD size);
    static DWORD GetSysIniPath(char* buffer, DWORD size);
    static DWORD GetDBRoot(int id, char* buffer, DWORD size);
    static DWORD GetFolder(int id, char* buffer, DWORD size, int index);
    static DWORD GetRvuDllPath(char* buffer, DWORD size);
    static DWORD QueryProductInfo(const char* product, const char* keyName, int infoId, char* buffer,
                                  DWORD size);
};

// Reads one product setting; the text is empty on failure, with the Win32
// code in the thread's last-error value.
class CKdmRegStrR {
public:
    CKdmRegStrR(const char* keyName, const char* valueName);
    virtual ~CKdmRegStrR();

    const char* GetValue() const { return m_value; }
    operator const char*() const { return m_value; }

    char m_value[1024];

private:
    DWORD Read(const char* keyName, const char* valueName);
};
