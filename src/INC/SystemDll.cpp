#include "INC/SystemDll.h"

#include "INC/MbText.h"
#include "INC/PathUtil.h"

#include <mbstring.h>
#include <string.h>

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

// The program runs elevated and may be started from a downloads folder: a
// plain LoadLibraryA("Dbghelp.DLL") would take a planted copy from beside
// the program before the system's own. So a system DLL is only ever loaded
// from the system folder.
//
// LOAD_LIBRARY_SEARCH_SYSTEM32 does exactly that on Windows 8 and later, on
// Windows 7 with KB2533623 and under Wine. A Windows 7 without that update
// rejects the flag with ERROR_INVALID_PARAMETER (87); there the DLL is
// loaded by its full path in the folder GetSystemDirectoryA names (for this
// 32-bit program on 64-bit Windows that is redirected to SysWOW64, as it
// should be). A full path is never searched for, and with
// LOAD_WITH_ALTERED_SEARCH_PATH the DLL's own imports are looked for in its
// folder, the system folder, first.
//
// A DLL of the same name already in the process is returned as it is: so
// the program must not import such DLLs at link time (see the crash
// handler's stack-walk calls).
namespace {

// Only a bare file name is a system DLL's name.
bool IsBareName(const char* name) {
    if (!name || !*name || _mbschr(Bytes(name), '\\') || _mbschr(Bytes(name), '/') || _mbschr(Bytes(name), ':')) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    return true;
}

}  // namespace

HMODULE LoadSystemDll(const char* name) {
    if (!IsBareName(name)) return nullptr;
    HMODULE module = LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module || GetLastError() != ERROR_INVALID_PARAMETER) return module;
    return LoadSystemDllByPath(name);
}

HMODULE LoadSystemDllByPath(const char* name) {
    if (!IsBareName(name)) return nullptr;
    char path[MAX_PATH] = {0};
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (!length) return nullptr;
    if (length >= MAX_PATH || !AddBackslash(path, MAX_PATH) || strlen(path) + strlen(name) >= MAX_PATH) {
        SetLastError(ERROR_BUFFER_OVERFLOW);
        return nullptr;
    }
    lstrcatA(path, name);
    return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

bool CRuntimeDll::Took(HMODULE module) {
    if (module) {
        m_error = 0;
        return true;
    }
    m_error = GetLastError();
    if (!m_error) m_error = ERROR_MOD_NOT_FOUND;
    return false;
}

bool CRuntimeDll::LoadSystem(const char* name) {
    m_library.reset(LoadSystemDll(name));
    return Took(m_library.get());
}

bool CRuntimeDll::LoadPath(const char* path) {
    m_library.reset(LoadLibraryA(path));
    return Took(m_library.get());
}

bool CRuntimeDll::UseLoaded(const char* name) {
    m_loaded = GetModuleHandleA(name);
    return Took(m_loaded);
}

FARPROC CRuntimeDll::GetAddress(const char* exportName, DWORD* error) const {
    HMODULE module = get();
    FARPROC address = module ? GetProcAddress(module, exportName) : nullptr;
    DWORD code = address ? 0 : (module ? GetLastError() : m_error);
    if (!address) SetLastError(code);
    if (error) *error = code;
    return address;
}
