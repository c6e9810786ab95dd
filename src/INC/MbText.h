// Text of the process code page (932): double-byte characters whose second
// byte may be 0x5C ('\\') are never split nor mistaken for separators.
#pragma once
#include <stddef.h>

// The byte view of text, as the _mbs functions want it.
inline unsigned char* Bytes(char* text) { return reinterpret_cast<unsigned char*>(text); }
inline const unsigned char* Bytes(const char* text) { return reinterpret_cast<const unsigned char*>(text); }

// True for a lead byte of the process code page.
bool IsLeadByte(unsigned char c);
// Length of the longest start of text that fits maxBytes without cutting a
// double-byte character in two; a lead byte left alone at the end is dropped.
size_t FittingLength(const char* text, size_t maxBytes);
// Copies at most size - 1 bytes of src (null: ""), never half a double-byte
// character, and ends with NUL.
void CopyText(char* dst, size_t size, const char* src);
// Shortens text in place to at most maxBytes bytes without splitting a
// double-byte character; returns the new length.
size_t CutText(char* text, size_t maxBytes);
