// Test-only stand-in for the client product's information library: answers
// RVUGetProductInfo with texts that show what it was asked.
#include <windows.h>

extern "C" __declspec(dllexport) DWORD __cdecl RVUGetProductInfo(const char* product, const char* keyName,
                                                                 BYTE infoId, char* buffer, DWORD size) {
    const char* kind = NULL;
    switch (infoId) {
    case 3: kind = "treatment"; break;
    case 4: kind = "name"; break;
    case 5: kind = "special"; break;
    default: return ERROR_INVALID_PARAMETER;
    }
    char text[1024];
    int length = wsprintfA(text, "%s:%s:%s", kind, product ? product : "", keyName ? keyName : "");
    if (!buffer || static_cast<DWORD>(length) + 1 > size) return ERROR_INSUFFICIENT_BUFFER;
    lstrcpyA(buffer, text);
    return 0;
}
