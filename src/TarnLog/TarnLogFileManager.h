// Holds the open handles of every log file of the process, so a line is
// appended without reopening the file and others can read the log meanwhile.
#pragma once
#include <windows.h>
#include <map>
#include <string>

#include "INC/CriticalSection.h"

namespace TarnLogFileManager {

// The base layer's lock, under the names the file manager has always used.
using lib::CCriticalSection;
using lib::CSynchronizer;

enum {
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

    int Open(const char* path);
    int Append(const char* path, const char* text);
    // Appends, first rotating the file when the text would take it past limit bytes. The size is this
    // process's count, checked against the file only near the limit (a size query costs more than the line
    // on some systems), so lines that another process appends go unseen until then.
    int AppendWithin(const char* path, const char* text, long long limit, int backupCount);
    int GetSize(const char* path);
    int Flush(const char* path);
    int Rotate(const char* path, int backupCount);

    size_t GetEntryCount();

private:
    // size: the file's size as this process last knew it, -1 when unknown.
    struct CEntry {
        HANDLE file;
        long long size;
    };
    CEntry* Lookup(const char* path);
    int FindEntry(const char* path, CEntry** found);  // an entry holding an open handle

    std::map<std::string, CEntry, CPathLess> m_files;
    CCriticalSection m_lock;
    bool m_keepOpen;
    // The spelling looked up last and its entry: the writer names the same
    // path several times a line, and _mbsicmp is slow on some systems.
    char m_lastPath[2 * MAX_PATH];
    CEntry* m_lastEntry;
};

}  // namespace TarnLogFileManager
