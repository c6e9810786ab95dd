// Security types: named access lists applied to a whole folder tree.
#pragma once
#include <windows.h>
#include <string>

class CWalkRoot;
class CSecurityRecord;

// Applies the access list of security type typeName ("Type1" .. "Type7",
// any case) to folder and everything below, with "Administrators" as the
// owner. 0 on success and when the folder is missing or not on NTFS; -1
// when the list, the privilege or the walk failed, or the folder is one no
// uninstall may touch (a drive root, the Windows folder, Program Files);
// otherwise the Win32 error of the attribute or volume query. detailCode
// gets the three-digit code of a failed entry ("049".."058") or of the
// walk ("059"); otherwise it is left as it was.
int CmdSequre(const char* folder, const char* typeName, std::string& detailCode);

// The same for a folder resolved once by the caller, who acts on that same
// folder afterwards. record (when given) receives each entry's security as it
// was before the walk changed it.
int CmdSequre(const CWalkRoot& root, const char* typeName, std::string& detailCode, CSecurityRecord* record);
