// Access lists of files and folders: building them entry by entry, writing
// them, and the walk that gives a whole tree an owner and a list.
#pragma once
#include <windows.h>

#include "INC/Owner.h"

// The two calls of the walk that change an object's security. Everything
// goes through the current instance, so a test can see what the walk
// would change (platforms that do not store owners or lists).
class CSecurityCalls {
public:
    virtual ~CSecurityCalls() {}
    virtual DWORD ChangeOwner(const char* account, const char* path);
    virtual BOOL ApplyDacl(const char* path, PACL acl);

    static CSecurityCalls& Current();
    // Makes calls current (nullptr: the real calls again); returns the old one.
    static CSecurityCalls* Replace(CSecurityCalls* calls);
};

// Makes "Administrators" the owner of path and everything below and writes
// acl onto each. Reparse points (junctions, symbolic links) are never
// entered nor changed, since their targets lie outside the tree. Folders
// whose name begins with '.' are skipped. FALSE when the walk stopped.
BOOL ApplySecurityTree(const char* path, PACL acl);

// Adds one grant of mask to trustee (by name) to *acl, replacing it.
DWORD AddAccessEntry(PACL* acl, DWORD mask, const char* trustee);

// Writes acl as the object's discretionary access list; last error set.
BOOL ApplyDacl(const char* path, PACL acl);

// A new list granting everyone (S-1-1-0) all rights; LocalFree it. nullptr on
// failure with the last error set.
PACL BuildEveryoneFullControlAcl();

// Appends a backslash unless the path already ends with one (buffer of
// MAX_PATH bytes).
void AddTrailingBackslash(char* path);

// Owns an access list built with SetEntriesInAclA (LocalFree).
typedef COwner<CLocalTraits<PACL>> CAclHolder;
