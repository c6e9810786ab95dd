// Access lists of files and folders: building them entry by entry and
// writing one onto a named object.
#pragma once
#include <windows.h>

#include "INC/Owner.h"

// Owns an access list built with SetEntriesInAclA (LocalFree).
typedef COwner<CLocalTraits<PACL>> CAclHolder;

// Adds one grant of mask to trustee (by name) to *acl, replacing it.
DWORD AddAccessEntry(PACL* acl, DWORD mask, const char* trustee);

// Writes acl as the object's discretionary access list; last error set.
BOOL ApplyDacl(const char* path, PACL acl);

// A new list granting everyone (S-1-1-0) all rights; LocalFree it. nullptr on
// failure with the last error set.
PACL BuildEveryoneFullControlAcl();
