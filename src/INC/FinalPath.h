// The final form of a path, as an opened handle reports it, and the folders
// no uninstall may open to everyone or delete, compared in that form so that
// no link, short name or ".." leads past the check.
#pragma once
#include <windows.h>

#include <string>

// The handle's path as the system names the object ("\Device\...\x"),
// whatever its length. 0 or the Win32 error; out is left as it was on failure.
DWORD NativePathOf(HANDLE handle, std::wstring& out);

// The handle's final path ("\\?\" form, long names, links resolved). 0 or
// the Win32 error; out is left as it was on failure.
DWORD FinalPathOf(HANDLE handle, std::wstring& out);

// True for a drive or share root, the Windows folder and anything in it, a
// Program Files folder (either registry view) and any folder holding one of
// these. path: a full path ("C:\x" or "\\server\share\x"), no "\\?\" prefix.
bool IsProtectedPath(const std::wstring& path);

// The form a path finally names: through links, short names, "." and ".."
// when it can be opened, else its full long form by text. No "\\?\" prefix
// and no trailing backslash; empty when it cannot be formed.
std::wstring FinalForm(const std::wstring& path);

// The full path by text, with long names where the system knows them; no
// trailing backslash. Empty when it cannot be formed.
std::wstring FullLongForm(const std::wstring& path);

// "\\?\C:\x" -> "C:\x", "\\?\UNC\s\x" -> "\\s\x"; other paths unchanged.
std::wstring WithoutDevicePrefix(const std::wstring& path);

// Case-insensitive: a is b or lies below it.
bool IsWithinPath(const std::wstring& a, const std::wstring& b);
