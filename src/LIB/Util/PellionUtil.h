// Install information of the agent (registry SOFTWARE\Corvane) and folder
// deletion with delete-at-restart fallback.
#pragma once
#include <windows.h>
#include <string>

#include "INC/PathUtil.h"  // PathAppendInPlace, MakePath and JoinPath live in the base layer

class COSVersion;
class CWalkRoot;

// The registry view of the agent's key: KEY_WOW64_64KEY on 64-bit Windows
// (this program is 32-bit), else 0.
REGSAM InstallKeyView(const COSVersion& os);

// One string value of HKLM\SOFTWARE\Corvane (or of a subkey beneath it),
// read in the 64-bit view on 64-bit Windows. True when buffer holds it.
bool ReadInstallValue(char* buffer, const char* valueName, DWORD bufferSize, const char* subKey);

// The install folder ("InstallPath") joined with relativeName. On failure
// returns false and leaves out unchanged.
bool GetInstallFilePath(std::string& out, const char* subKey, const char* relativeName);

// Deletes the folder; what cannot be deleted now is scheduled for deletion
// at restart and *restartRequired set. True when the folder is gone (or was
// never there) or everything left was scheduled.
bool DeleteFolder(const char* path, bool* restartRequired);
// The same for a folder resolved once by the caller.
bool DeleteFolder(const CWalkRoot& root, bool* restartRequired);

// Deletes the folder's contents, and the folder unless keepFolder. Non-zero
// on success, 0 at the first failure.
BOOL DeleteTree(const char* path, BOOL keepFolder);

// True for paths no deletion may touch: not absolute, a device path, a drive
// or share root, the Windows folder and anything in it, the Program Files
// folders (both views), and any folder that holds one of them; judged by the
// final form the path names.
bool IsProtectedFolder(const char* path);
