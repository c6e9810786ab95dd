// Test-only stand-in for the client product's information library (answers show the question); also the planted DLL.
#include <windows.h>

extern "C" __declspec(dllexport) DWORD __cdecl RVUGetProductInfo(const char* product, const char* keyName,
                                                                 BYTE infoId, char* buffer, DWORD size) {
    const char* const kinds[] = {"treatment", "name", "special"};  // ids 3, 4, 5
    if (infoId < 3 || infoId > 5) return ERROR_INVALID_PARAMETER;
    char text[1024];
    const int length = wsprintfA(text, "%s:%s:%s", kinds[infoId - 3], product ? product : "", keyName ? keyName : "");
    if (!buffer || static_cast<DWORD>(length) + 1 > size) return ERROR_INSUFFICIENT_BUFFER;
    lstrcpyA(buffer, text);
    return 0;
}
