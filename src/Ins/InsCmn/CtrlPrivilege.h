// The take-ownership privilege of the process token and owner changes of
// files. Every operation returns a Win32 status (0 = success) and logs its
// own failures.
#pragma once
#include <windows.h>

#include "INC/Owner.h"

// *enabled = whether SeTakeOwnershipPrivilege is enabled (attributes exactly
// SE_PRIVILEGE_ENABLED); written only on success.
DWORD IsTakeOwnershipEnabled(BOOL* enabled);

// Whether luid is among privileges with attributes exactly
// SE_PRIVILEGE_ENABLED; enabled-by-default (3) does not count.
bool IsPrivilegeEnabledIn(const TOKEN_PRIVILEGES& privileges, const LUID& luid);

// Enables the privilege when enable > 0, disables it otherwise.
DWORD SetTakeOwnership(int enable);

// The account's SID, from the process heap. Logs its failures.
DWORD AccountSid(const char* account, COwner<CHeapTraits>& sid);

// Makes the account the owner of the file or folder. A path that has gone
// meanwhile counts as done.
DWORD ChangeOwner(const char* account, const char* path);

// True for files of the client product's user settings whose owner may stay
// as it is (WIN_* and RAZIV_* under its UserSet folder).
bool IsUnneededUserSetFile(const char* path);

// "ProgramFilesDir" of the registry; view 0 default, 1 64-bit, 2 32-bit.
DWORD GetProgramFilesDir(char* buffer, DWORD size, DWORD view);

// The client product's folder under the 32-bit Program Files (260 bytes).
DWORD GetClientViewFolder(char* buffer);
