// Reading one string value of the registry. The Win32 code is returned and
// the buffer always holds a terminated string: the value on success, "" on
// any failure.
#pragma once
#include <windows.h>

// Value types a read accepts, combined with '|'.
enum {
    REGREAD_SZ = 1,
    REGREAD_EXPAND_SZ = 2,  // taken as stored, not expanded
    REGREAD_MULTI_SZ = 4,
};

// Reads valueName of the open key into buffer (size bytes). The query's own
// error; ERROR_DATATYPE_MISMATCH (1629) for a type not in types;
// ERROR_MORE_DATA (234) when the value and its terminator do not fit. type
// (when given) receives the stored type, also on failure; bytes (when
// given) the value's stored size (its terminator included when it has one).
LONG RegQueryString(HKEY key, const char* valueName, char* buffer, DWORD size, unsigned types,
                    DWORD* type = nullptr, DWORD* bytes = nullptr);

// The same for a subkey of root, opened with access for this one read.
LONG RegReadString(HKEY root, const char* subKey, REGSAM access, const char* valueName, char* buffer, DWORD size,
                   unsigned types);
