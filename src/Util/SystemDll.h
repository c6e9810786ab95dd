// Loading system DLLs by name from the system folder only.
#pragma once
#include <windows.h>

// Loads the system DLL `name` (a bare file name such as "Dbghelp.DLL") from
// the system folder, never from the program's folder, the current folder or
// PATH. Returns NULL with the last error set on failure.
HMODULE LoadSystemDll(const char* name);

// The same by full path in the folder GetSystemDirectoryA names: the way
// LoadSystemDll goes where the search flag is unknown (Windows 7 without
// KB2533623).
HMODULE LoadSystemDllByPath(const char* name);

// Owns a loaded module; released at destruction.
class CLibrary {
public:
    explicit CLibrary(HMODULE module) : m_module(module) {}
    ~CLibrary() {
        if (m_module) FreeLibrary(m_module);
    }
    CLibrary(const CLibrary&) = delete;
    CLibrary& operator=(const CLibrary&) = delete;
    HMODULE get() const { return m_module; }

private:
    HMODULE m_module;
};
