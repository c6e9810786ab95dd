// CString: a multibyte string of the process code page (Shift-JIS, 932).
// Lengths and positions are in bytes; searches walk whole characters, so a
// trail byte (0x5C in "ソ") is never taken for a character of its own.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include <string>
#include <type_traits>

class CString {
public:
    CString() = default;
    CString(const CString&) = default;
    CString(CString&&) noexcept = default;
    CString(const char* text);     // NOLINT: implicit, as in the library
    CString(const wchar_t* text);  // NOLINT: converted with the ANSI code page

    CString& operator=(const CString&) = default;
    CString& operator=(CString&&) noexcept = default;
    CString& operator=(const char* text);
    CString& operator=(const wchar_t* text);

    CString& operator+=(const CString& text);
    CString& operator+=(const char* text);
    CString& operator+=(char ch);

    int GetLength() const { return static_cast<int>(m_str.size()); }
    bool IsEmpty() const { return m_str.empty(); }
    void Empty() { m_str.clear(); }
    const char* GetString() const { return m_str.c_str(); }
    operator const char*() const { return m_str.c_str(); }  // NOLINT: as in the library

    // Byte-wise (_mbscmp) and case-insensitive multibyte (_mbsicmp) comparison.
    int Compare(const char* text) const;
    int CompareNoCase(const char* text) const;

    // Byte index of the first match at a character boundary at or after start, or -1.
    int Find(char ch, int start = 0) const;
    int Find(const char* sub, int start = 0) const;

    // The bytes from first on (count of them); out-of-range arguments are clamped.
    CString Mid(int first) const;
    CString Mid(int first, int count) const;

    // printf formatting of any length. CString arguments may be passed as they are.
    template <class... Args>
    void Format(const char* format, const Args&... args) {
        FormatImpl(format, Arg(args)...);
    }

    // A UTF-16 copy that the receiver frees with SysFreeString; null when out of memory.
    BSTR AllocSysString() const;

private:
    static const char* Arg(const CString& s) { return s.GetString(); }
    template <class T>
    static const T& Arg(const T& v) {
        static_assert(std::is_trivially_copyable<T>::value, "only plain values can be formatted");
        return v;
    }
    explicit CString(std::string s) : m_str(std::move(s)) {}
    void FormatImpl(const char* format, ...);

    std::string m_str;
};

// Content comparison (without these, two CStrings would compare as pointers).
bool operator==(const CString& a, const CString& b);
bool operator==(const CString& a, const char* b);
bool operator==(const char* a, const CString& b);
bool operator!=(const CString& a, const CString& b);
bool operator!=(const CString& a, const char* b);
bool operator!=(const char* a, const CString& b);

CString operator+(const CString& a, const CString& b);
CString operator+(const CString& a, const char* b);
CString operator+(const char* a, const CString& b);
CString operator+(const CString& a, char b);
