// Test-only stand-in for the client product's information library: the DLL planted beside a program.
#include <windows.h>

extern "C" __declspec(dllexport) DWORD __cdecl RVUGetProductInfo(const char*, const char*, BYTE, char*, DWORD) {
    return ERROR_INVALID_FUNCTION;
}
