#include "INC/MbText.h"

#include <mbctype.h>
#include <string.h>

// The lead bytes are read once from _ismbblead: the call per byte is slow on
// some systems and the log writer walks every path and message.
bool IsLeadByte(unsigned char c) {
    struct CLeadBytes {
        bool lead[256];
        CLeadBytes() {
            for (int b = 0; b < 256; ++b) lead[b] = _ismbblead(b) != 0;
        }
    };
    static const CLeadBytes table;
    return table.lead[c];
}

size_t FittingLength(const char* text, size_t maxBytes) {
    size_t length = 0;
    while (text[length]) {
        size_t step = IsLeadByte(static_cast<unsigned char>(text[length])) ? 2 : 1;
        if (step == 2 && !text[length + 1]) break;
        if (length + step > maxBytes) break;
        length += step;
    }
    return length;
}

void CopyText(char* dst, size_t size, const char* src) {
    if (!size) return;
    size_t length = src ? FittingLength(src, size - 1) : 0;
    memcpy(dst, src ? src : "", length);
    dst[length] = '\0';
}

size_t CutText(char* text, size_t maxBytes) {
    size_t length = FittingLength(text, maxBytes);
    text[length] = '\0';
    return length;
}
