// Holds the open handles of every log file of the process, so a line is
// appended without reopening the file and others can read the log meanwhile.
#pragma once
#include <windows.h>
#include <map>
#include <string>

#include "INC/CriticalSection.h"
#include "INC/Owner.h"

namespace TarnLogFileManager {

// The base layer's lock; the design names it in this namespace too.
using lib::CCriticalSection;
using lib::CSynchronizer;

enum FileManResult : int {
    FILEMAN_OK = 0,
    FILEMAN_OPEN_FAILED = -1,  // also GetSize: no entry or no size
    FILEMAN_NO_TEXT = -2,
    FILEMAN_NO_ENTRY = -3,
    FILEMAN_NO_HANDLE = -4,
    FILEMAN_SEEK_FAILED = -5,  // no longer returned: appends and cuts need no seek
    FILEMAN_WRITE_FAILED = -6,
    FILEMAN_BACKUP_FAILED = -7,
    FILEMAN_TRUNCATE_FAILED = -8,
    FILEMAN_FLUSH_FAILED = -9,
};

// After a failed rotation, the lines appended before it is tried again: each
// try copies the whole file.
const int kRotationRetryLines = 100;

// Paths are code page 932 and name the same entry whatever their letter case.
struct CPathLess {
    using is_transparent = void;
    bool operator()(const std::string& a, const std::string& b) const { return Less(a.c_str(), b.c_str()); }
    bool operator()(const char* a, const std::string& b) const { return Less(a, b.c_str()); }
    bool operator()(const std::string& a, const char* b) const { return Less(a.c_str(), b); }
    static bool Less(const char* a, const char* b);
};

class CLogFileMap {
public:
    // The process-wide manager, created on the first call and never destroyed.
    static CLogFileMap* GetInstance();

    CLogFileMap();
    // Only a table made for a short time (tests) is ever destroyed; it closes its handles.
    virtual ~CLogFileMap();
    CLogFileMap(const CLogFileMap&) = delete;
    CLogFileMap& operator=(const CLogFileMap&) = delete;

    FileManResult Open(const char* path);
    FileManResult Append(const char* path, const char* text);
    // Appends, first rotating the file when the text would take it past limit bytes. The size is this
    // process's count, checked against the file only near the limit (a size query costs more than the line
    // on some systems), so lines that another process appends go unseen until then. A failed rotation is
    // tried again only after kRotationRetryLines more lines.
    FileManResult AppendWithin(const char* path, const char* text, long long limit, int backupCount);
    // The size in bytes, or FILEMAN_OPEN_FAILED.
    int GetSize(const char* path);
    FileManResult Flush(const char* path);
    // The content becomes the newest of backupCount backups and the file is emptied. Nothing changes
    // unless the copy and every rename succeed, so a failure loses neither the log nor a backup.
    FileManResult Rotate(const char* path, int backupCount);

private:
    // size: the file's size as this process last knew it, -1 when unknown.
    struct CEntry {
        CFileHandle file;
        long long size;
        int linesBeforeRetry;  // after a failed rotation
    };
    CEntry* Lookup(const char* path);
    FileManResult FindEntry(const char* path, CEntry** found);  // an entry holding an open handle
    FileManResult Write(CEntry& entry, const char* text, DWORD length);

    std::map<std::string, CEntry, CPathLess> m_files;
    CCriticalSection m_lock;
    // The spelling looked up last and its entry: the writer names the same
    // path several times a line, and _mbsicmp is slow on some systems.
    char m_lastPath[2 * MAX_PATH];
    CEntry* m_lastEntry;
};

}  // namespace TarnLogFileManager
