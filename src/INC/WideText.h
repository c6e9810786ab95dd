// Conversions between text of the process code page and UTF-16.
#pragma once
#include <string>

// text as UTF-16; false (out empty) when it does not convert. Null is "".
bool Widen(const char* text, std::wstring& out);
// wide as text of the process code page; false (out empty) when it does not
// convert. With exact, combining sequences are first composed and a
// character the code page lacks is a failure rather than a '?'.
bool Narrow(const wchar_t* wide, std::string& out, bool exact = false);
