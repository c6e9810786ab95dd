#include "INC/WideText.h"

#include <windows.h>

bool Widen(const char* text, std::wstring& out) {
    out.clear();
    if (!text || !*text) return true;
    int length = MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, -1, nullptr, 0);
    if (length <= 0) return false;
    out.resize(static_cast<size_t>(length));
    if (!MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, -1, &out[0], length)) {
        out.clear();
        return false;
    }
    out.resize(static_cast<size_t>(length - 1));
    return true;
}

bool Narrow(const wchar_t* wide, std::string& out, bool exact) {
    out.clear();
    if (!wide || !*wide) return true;
    const DWORD flags = exact ? WC_COMPOSITECHECK : 0;
    BOOL usedDefault = FALSE;
    BOOL* check = exact ? &usedDefault : nullptr;
    int length = WideCharToMultiByte(CP_ACP, flags, wide, -1, nullptr, 0, nullptr, check);
    if (length <= 0 || usedDefault) return false;
    out.resize(static_cast<size_t>(length));
    if (!WideCharToMultiByte(CP_ACP, flags, wide, -1, &out[0], length, nullptr, check) || usedDefault) {
        out.clear();
        return false;
    }
    out.resize(static_cast<size_t>(length - 1));
    return true;
}
