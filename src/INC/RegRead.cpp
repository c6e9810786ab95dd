#include "INC/RegRead.h"

#include "INC/Owner.h"

namespace {

bool Accepted(DWORD type, unsigned types) {
    return (type == REG_SZ && (types & REGREAD_SZ)) || (type == REG_EXPAND_SZ && (types & REGREAD_EXPAND_SZ)) ||
           (type == REG_MULTI_SZ && (types & REGREAD_MULTI_SZ));
}

}  // namespace

LONG RegQueryString(HKEY key, const char* valueName, char* buffer, DWORD size, unsigned types, DWORD* type,
                    DWORD* bytes) {
    DWORD storedType = REG_NONE;
    DWORD length = size;
    if (type) *type = REG_NONE;
    if (bytes) *bytes = 0;
    // Without a buffer the query would only report the size and "succeed".
    if (!buffer || !size) return ERROR_INVALID_PARAMETER;
    LONG error = RegQueryValueExA(key, valueName, nullptr, &storedType, reinterpret_cast<BYTE*>(buffer), &length);
    if (type) *type = storedType;
    if (error == ERROR_SUCCESS && !Accepted(storedType, types)) error = ERROR_DATATYPE_MISMATCH;
    // A value stored without its terminating null must still leave a string.
    if (error == ERROR_SUCCESS && (length == 0 || buffer[length - 1] != '\0')) {
        if (length >= size)
            error = ERROR_MORE_DATA;
        else
            buffer[length] = '\0';
    }
    if (error != ERROR_SUCCESS) {
        buffer[0] = '\0';
        return error;
    }
    if (bytes) *bytes = length;
    return ERROR_SUCCESS;
}

LONG RegReadString(HKEY root, const char* subKey, REGSAM access, const char* valueName, char* buffer, DWORD size,
                   unsigned types) {
    if (buffer && size) buffer[0] = '\0';
    CRegKey key;
    LONG error = RegOpenKeyExA(root, subKey, 0, access, key.out());
    if (error != ERROR_SUCCESS) return error;
    return RegQueryString(key.get(), valueName, buffer, size, types);
}
