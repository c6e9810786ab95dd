// Entry points taken at run time: system DLLs are loaded by name from the
// system folder only, an export is looked up by name, and the library is
// freed when its owner ends.
#pragma once
#include <windows.h>

#include "INC/Owner.h"

// Loads the system DLL `name` (a bare file name such as "Dbghelp.DLL") from
// the system folder, never from the program's folder, the current folder or
// PATH. Returns nullptr with the last error set on failure.
HMODULE LoadSystemDll(const char* name);

// The same by full path in the folder GetSystemDirectoryA names: the way
// LoadSystemDll goes where the search flag is unknown (Windows 7 without
// KB2533623).
HMODULE LoadSystemDllByPath(const char* name);

// One library and the exports taken from it. A failed load or a missing
// export is a null entry point with its GetLastError, never a crash.
class CRuntimeDll {
public:
    CRuntimeDll() : m_error(ERROR_MOD_NOT_FOUND), m_loaded(nullptr) {}
    // A system DLL (LoadSystemDll), freed with this object.
    explicit CRuntimeDll(const char* systemDllName) : CRuntimeDll() { LoadSystem(systemDllName); }

    bool LoadSystem(const char* name);
    // By full path, so nothing is searched for; freed with this object.
    bool LoadPath(const char* path);
    // A module the process already holds (kernel32): no reference is taken.
    bool UseLoaded(const char* name);

    HMODULE get() const { return m_library.valid() ? m_library.get() : m_loaded; }
    // The error of the failed load; 0 once loaded.
    DWORD GetError() const { return m_error; }

    // The export, or null with its error in *error (when given) and in the
    // thread's last error.
    template <typename Fn>
    Fn Get(const char* exportName, DWORD* error = nullptr) const {
        return reinterpret_cast<Fn>(GetAddress(exportName, error));
    }

private:
    FARPROC GetAddress(const char* exportName, DWORD* error) const;
    bool Took(HMODULE module);

    CLibrary m_library;
    DWORD m_error;
    HMODULE m_loaded;
};
