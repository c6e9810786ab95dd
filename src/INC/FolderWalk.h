// A folder tree walked by handle, for code that runs elevated in a tree any
// user may change meanwhile. The root is resolved once and held open; every
// entry below it is opened relative to its folder's open handle without
// following a link, its kind is taken from the opened handle, and it is acted
// on only through that handle once the handle's final path shows it inside
// the root. Nothing here logs: the walks built on it do.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include "INC/Owner.h"
#include "INC/Replaceable.h"

enum class WalkKind { File, Folder, Link };

// One entry of the tree, opened.
struct CWalkEntry {
    // None when the entry could not be opened, and for a link that the
    // platform followed on open (its handle would be the target's).
    CHandle handle;
    // The handle's final path ("\\?\" form); without a handle, the folder's
    // path and the listed name.
    std::wstring path;
    WalkKind kind = WalkKind::File;
    // Why the wanted access was refused (the handle then holds only the
    // fallback access), or why there is no handle.
    DWORD error = 0;

    // The path as a log line shows it: without "\\?\", in the code page.
    std::string Text() const;
};

// The access a walk opens entries with; a fallback of 0 means none.
struct WalkOptions {
    ACCESS_MASK file = 0, folder = 0;
    // Enough to pin an entry when the wanted access is refused (a file held
    // open by another program, an owner that locked administrators out).
    ACCESS_MASK fileFallback = 0, folderFallback = 0;
    // Folders whose name begins with '.' are neither opened nor passed on.
    bool skipDotFolders = false;
};

// The folder a walk starts at, resolved once and held open for the run.
class CWalkRoot {
public:
    enum State {
        kUnresolved,
        kMissing,     // nothing there (error: 2 or 3)
        kDevicePath,  // "\\?\" and "\\.\" paths skip the system's normalisation: refused
        kProtected,   // relative, a drive or share root, or a folder no uninstall may touch
        kFailed,      // could not be opened (error)
        kLink,        // the path itself names a link: removed as a link, never entered
        kOpen,
    };

    // Resolves path: ".", "..", short names and links of the folders above
    // it are taken to the final form the opened handle reports, and that
    // form is checked against the protected folders.
    State Resolve(const char* path);

    State GetState() const { return m_state; }
    DWORD GetError() const { return m_error; }
    bool IsFolder() const { return m_folder; }
    const std::string& Text() const { return m_text; }  // the path as given
    const std::wstring& Final() const { return m_final; }

    // The root as an entry, opened again through the held handle.
    DWORD Open(CWalkEntry& entry, ACCESS_MASK access, ACCESS_MASK fallback) const;
    // True when nativePath (NativePathOf) lies below the root.
    bool Holds(const std::wstring& nativePath) const;
    // The final path of what nativePath names below the root.
    std::wstring FinalOf(const std::wstring& nativePath) const { return m_final + nativePath.substr(m_native.size()); }

private:
    State Set(State state, DWORD error);

    State m_state = kUnresolved;
    DWORD m_error = 0;
    bool m_folder = false;
    // A link whose held handle is the link itself; a platform that follows
    // links on open holds the target, which must not be acted on.
    bool m_holdsLink = false;
    std::string m_text;
    std::wstring m_final;
    std::wstring m_native;  // the same as the system names it, which has no length limit
    CHandle m_handle;
};

// Lists folder (opened with FILE_LIST_DIRECTORY) through its handle and opens
// each child but "." and "..", handing it to visit. A child gone since it was
// listed is passed over. visit returns 0 to go on; anything else stops the
// walk and is returned. Returns 0 when the listing reached its end, else the
// listing's Win32 error: a listing that fails part way is no success.
DWORD ForEachChild(const CWalkRoot& root, const CWalkEntry& folder, const WalkOptions& options,
                   const std::function<DWORD(CWalkEntry&)>& visit);

// Opens the entry again through its own handle with access, replacing the
// handle on success. 0 or the Win32 error.
DWORD Reopen(CWalkEntry& entry, ACCESS_MASK access);

// Deletes the entry through its handle (DELETE access), clearing its
// read-only attribute when that is what stops it (FILE_WRITE_ATTRIBUTES).
// A folder must be empty. 0 or the Win32 error.
DWORD DeleteEntry(CWalkEntry& entry);

// Schedules the entry for deletion at the next restart by its confirmed final
// path; an entry without a handle is refused. 0 or the Win32 error.
DWORD ScheduleEntry(const CWalkEntry& entry);

// The moments of the walk that tests replace where the platform will not fail
// on its own: a listing that breaks part way, a folder swapped for a link
// between its listing and its opening.
class CWalkCalls : public CReplaceable<CWalkCalls> {
public:
    virtual ~CWalkCalls() {}
    // One batch of a folder's listing (FILE_ID_BOTH_DIR_INFO records).
    virtual BOOL List(HANDLE folder, bool restart, void* buffer, DWORD size);
    // Called after an entry was listed and before it is opened.
    virtual void Listed(const std::wstring& folderPath, const std::wstring& name) {}
};
