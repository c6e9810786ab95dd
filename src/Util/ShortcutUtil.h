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
