// The walk that gives a whole tree an owner and an access list, by handle,
// and the record that lets it put back what it changed.
#pragma once
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "INC/Acl.h"
#include "INC/FolderWalk.h"
#include "INC/Replaceable.h"

// Each entry's owner and access list as they were before the walk changed
// them, by final path.
class CSecurityRecord {
public:
    void Add(const std::wstring& path, std::vector<BYTE> descriptor);
    const std::vector<BYTE>* Find(const std::wstring& path) const;
    size_t Size() const { return m_entries.size(); }

private:
    std::map<std::wstring, std::vector<BYTE>> m_entries;
};

// The calls of the walk that read or change an entry's security through its
// handle. Everything goes through the current instance, so a test can see
// what the walk would change (platforms that do not store owners or lists).
class CSecurityCalls : public CReplaceable<CSecurityCalls> {
public:
    virtual ~CSecurityCalls() {}
    // Writes what of owner and acl (OWNER_ and DACL_SECURITY_INFORMATION).
    virtual DWORD Set(const CWalkEntry& entry, SECURITY_INFORMATION what, PSID owner, PACL acl);
    // Owner and list as a self-relative descriptor.
    virtual DWORD Read(const CWalkEntry& entry, std::vector<BYTE>& descriptor);
    // Writes a descriptor read by Read back: owner and list.
    virtual DWORD Write(const CWalkEntry& entry, const std::vector<BYTE>& descriptor);
};

// Makes "Administrators" the owner of root and everything below it and
// writes acl onto each. Links are never entered nor changed, nor is a file
// with a second name (it may lie outside the tree); folders whose name begins
// with '.' are skipped. record (when given) receives each entry's security
// before its first change. FALSE when the walk stopped, with the last error.
BOOL ApplySecurityTree(const CWalkRoot& root, PACL acl, CSecurityRecord* record);
// The same for a path, resolved first.
BOOL ApplySecurityTree(const char* path, PACL acl);

// Writes the recorded security back onto every recorded entry still in the
// tree; returns how many were put back, and in *failed how many could not be.
size_t RestoreSecurityTree(const CWalkRoot& root, const CSecurityRecord& record, size_t* failed);

// Appends a backslash unless the path already ends with one (buffer of
// MAX_PATH bytes).
void AddTrailingBackslash(char* path);
