// Path text of the process code page: separators, the name part and joins.
// A 0x5C that is the second byte of a double-byte character (ソ, 表) is
// never taken for a backslash.
#pragma once
#include <windows.h>
#include <stddef.h>

#include <string>
#include <vector>

// True when the last character (not a trail byte) is a backslash.
bool EndsWithBackslash(const char* path);
// Appends a backslash unless path already ends in one. False (path
// unchanged) when it does not fit in size bytes.
bool AddBackslash(char* path, size_t size);
// Appends text; false (buffer unchanged) when it does not fit in size bytes.
bool AppendText(char* buffer, size_t size, const char* text);
// The part after the last '\\' (and, with slashToo, '/'); the whole text when
// there is none; "" for null.
const char* FileNamePart(const char* path, bool slashToo = false);

bool IsDriveLetter(char c);
// The pieces between separating backslashes; empty pieces count.
std::vector<std::string> SplitPath(const std::string& path);

// Appends name to the path in buffer, then normalises "." and "..".
// bufferSize is the buffer's size in bytes; a result that does not fit
// fails and leaves the buffer as it was. Non-zero on success.
BOOL PathAppendInPlace(char* buffer, const char* name, size_t bufferSize = MAX_PATH);

// directory joined with name (PathAppendInPlace); empty on failure.
std::string MakePath(const char* directory, const char* name);

// out = folder + name with exactly one backslash between; no normalisation.
void JoinPath(std::string& out, const char* folder, const char* name);
