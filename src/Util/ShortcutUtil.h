// The desktop folders and removal of the agent's desktop shortcuts.
#pragma once
#include <windows.h>

// Fills buffer (at least MAX_PATH bytes) with the desktop folder: selector 0
// the desktop shared by all users, any other value the current user's.
// Returns the HRESULT of the folder lookup; the buffer is empty on failure.
HRESULT GetDesktopFolder(char* buffer, int selector);

// Removes the shortcut file, first giving everyone full control of it so a
// read-only or closed one goes too. Logs what happened; always TRUE, since
// a shortcut left behind does not fail the uninstall.
BOOL RemoveShortcut(const char* path);

// The target of a Windows Installer shortcut: the installed component's path
// when it is there locally or from its source. False when msi.dll or the
// shortcut cannot say; target holds MAX_PATH bytes.
bool ResolveMsiShortcut(const char* path, char* target);

// The target of a shell link (.lnk) through the shell link object, resolved
// without a window. False unless the shell answers S_OK; target holds MAX_PATH
// bytes. The caller has initialised COM.
bool ResolveShellLink(const char* path, char* target);

