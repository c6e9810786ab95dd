#include "afxstr.h"

#include <mbctype.h>
#include <mbstring.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <vector>

namespace {

const unsigned char* U(const char* s) { return reinterpret_cast<const unsigned char*>(s); }

std::string FromWide(const wchar_t* text) {
    if (!text || !*text) return std::string();
    int n = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return std::string();
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, &out[0], n, nullptr, nullptr);
    out.resize(static_cast<size_t>(n - 1));
    return out;
}

}  // namespace

CString::CString(const char* text) : m_str(text ? text : "") {}
CString::CString(const wchar_t* text) : m_str(FromWide(text)) {}

CString& CString::operator=(const char* text) {
    m_str = text ? text : "";
    return *this;
}

CString& CString::operator=(const wchar_t* text) {
    m_str = FromWide(text);
    return *this;
}

CString& CString::operator+=(const CString& text) {
    m_str += text.m_str;
    return *this;
}

CString& CString::operator+=(const char* text) {
    if (text) m_str += text;
    return *this;
}

CString& CString::operator+=(char ch) {
    m_str += ch;
    return *this;
}

int CString::Compare(const char* text) const { return _mbscmp(U(GetString()), U(text ? text : "")); }

int CString::CompareNoCase(const char* text) const { return _mbsicmp(U(GetString()), U(text ? text : "")); }

namespace {

// Byte length of the character at i: 2 for a lead byte followed by a trail byte.
size_t CharLen(const std::string& s, size_t i) {
    return (_ismbblead(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) ? 2 : 1;
}

}  // namespace

int CString::Find(char ch, int start) const {
    if (start < 0) return -1;
    // Only a single-byte character can equal ch; a lead or trail byte never does.
    for (size_t i = 0; i < m_str.size(); i += CharLen(m_str, i)) {
        if (static_cast<int>(i) >= start && CharLen(m_str, i) == 1 && m_str[i] == ch) return static_cast<int>(i);
    }
    return -1;
}

int CString::Find(const char* sub, int start) const {
    if (!sub || start < 0 || start > GetLength()) return -1;
    const size_t subLen = strlen(sub);
    const size_t len = m_str.size();
    // Walk whole characters from the beginning, so that a start inside a
    // double-byte character cannot make its trail byte a match.
    for (size_t i = 0;; i += CharLen(m_str, i)) {
        if (static_cast<int>(i) >= start && len - i >= subLen && m_str.compare(i, subLen, sub) == 0)
            return static_cast<int>(i);
        if (i >= len) return -1;
    }
}

CString CString::Mid(int first) const { return Mid(first, GetLength()); }

CString CString::Mid(int first, int count) const {
    first = std::max(first, 0);
    count = std::max(count, 0);
    if (first >= GetLength()) return CString();
    count = std::min(count, GetLength() - first);
    return CString(m_str.substr(static_cast<size_t>(first), static_cast<size_t>(count)));
}

void CString::FormatImpl(const char* format, ...) {
    if (!format) {
        m_str.clear();
        return;
    }
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    int n = vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (n < 0) {
        m_str.clear();
    } else {
        std::vector<char> buf(static_cast<size_t>(n) + 1);
        vsnprintf(buf.data(), buf.size(), format, args);
        m_str.assign(buf.data(), static_cast<size_t>(n));
    }
    va_end(args);
}

BSTR CString::AllocSysString() const {
    int n = m_str.empty() ? 0
                          : MultiByteToWideChar(CP_ACP, 0, m_str.data(), GetLength(), nullptr, 0);
    BSTR out = SysAllocStringLen(nullptr, static_cast<UINT>(n));
    if (out && n > 0) MultiByteToWideChar(CP_ACP, 0, m_str.data(), GetLength(), out, n);
    return out;
}

CString operator+(const CString& a, const CString& b) { return CString(a) += b; }
CString operator+(const CString& a, const char* b) { return CString(a) += b; }
CString operator+(const char* a, const CString& b) { return CString(a) += b; }
CString operator+(const CString& a, char b) { return CString(a) += b; }

bool operator==(const CString& a, const CString& b) { return a.Compare(b) == 0; }
bool operator==(const CString& a, const char* b) { return a.Compare(b) == 0; }
bool operator==(const char* a, const CString& b) { return b.Compare(a) == 0; }
bool operator!=(const CString& a, const CString& b) { return !(a == b); }
bool operator!=(const CString& a, const char* b) { return !(a == b); }
bool operator!=(const char* a, const CString& b) { return !(b == a); }
