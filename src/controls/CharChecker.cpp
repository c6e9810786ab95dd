#include "controls/CharChecker.h"

#include <mbstring.h>

#include "INC/MbText.h"

bool CDesignCharChecker::IsValidChar(const char* p) {
    if (!p || !*p) return false;
    const std::string one(p, IsLeadByte(static_cast<unsigned char>(*p)) && p[1] ? 2 : 1);
    return _mbsstr(Bytes(m_allowed.c_str()), Bytes(one.c_str())) != nullptr;
}

int CCharLenChecker::GetLength(const char* text) { return text ? static_cast<int>(_mbslen(Bytes(text))) : 0; }

// A lead byte at the very end is taken alone, so the walk never runs past the terminator.
const char* CCharLenChecker::GetNextChar(const char* p) {
    return p + (IsLeadByte(static_cast<unsigned char>(*p)) && p[1] ? 2 : 1);
}

std::string FilterChars(const std::string& source, int limit, CLenChecker& len,
                        const std::vector<CCharChecker*>& checkers) {
    std::string filtered;
    int count = 0;
    for (const char* p = source.c_str(); *p && count < limit; p = len.GetNextChar(p)) {
        bool accepted = false;
        for (CCharChecker* checker : checkers)
            if (checker && (accepted = checker->IsValidChar(p))) break;
        if (!accepted) continue;
        const int width = len.GetCharLength(p);
        const bool wide = IsLeadByte(static_cast<unsigned char>(*p)) && p[1];
        if (!wide)
            filtered += *p;
        else if (count + width <= limit)
            filtered.append(p, 2);
        count += width;
    }
    return filtered;
}
