// The log writer's inside: the process-wide log paths, the context of one
// write, and the Shift-JIS aware path helpers they share.
#pragma once
#include <windows.h>
#include <atomic>
#include <cstddef>

#include "INC/MbText.h"
#include "INC/PathUtil.h"
#include "TarnLog/TarnLogKind.h"

// One process-wide path that can be set once.
class CTarnlogPathString {
public:
    constexpr CTarnlogPathString() : m_isSet(0), m_path{} {}
    CTarnlogPathString(const CTarnlogPathString&) = delete;
    CTarnlogPathString& operator=(const CTarnlogPathString&) = delete;

    // The first Set wins; later ones leave the path in place.
    void Set(const char* path);
    // Copies the path (or "" when unset) into buffer; 1 when set, 0 when not.
    int Get(char* buffer, int size) const;
    int IsEmpty() const { return m_isSet.load(std::memory_order_acquire) ? 0 : 1; }
    // The stored text; "" while the object is unset.
    const char* GetPath() const { return IsEmpty() ? "" : m_path; }

private:
    std::atomic<LONG> m_isSet;
    char m_path[MAX_PATH];
};

extern CTarnlogPathString g_LogPath;
extern CTarnlogPathString g_DumpLogPath;
extern CTarnlogPathString g_SysLogPath;
extern CTarnlogPathString g_SysDumpLogPath;

// Size limit of a log file in bytes, and the stored dump limit.
extern std::atomic<int> g_LogSizeLimit;
extern std::atomic<int> g_LogDumpLimit;
const int kDefaultLogSizeKB = 4096;

// Results of CTarnLog::Write and SaveFatalCopy.
enum TarnLogResult : int {
    TARNLOG_WRITTEN = 0,
    TARNLOG_NO_PATH = 1,
    TARNLOG_BAD_KIND = 2,
    TARNLOG_COPY_FAILED = 5,
    TARNLOG_DELETE_OLD_COPY_FAILED = 6,
    TARNLOG_LOCK_CREATE_FAILED = 8,
    TARNLOG_LOCK_TIMEOUT = 9,
    TARNLOG_OPEN_FAILED = 10,
    TARNLOG_PATTERN_NO_FOLDER = 11,
};

const DWORD kLogLockWaitMs = 10000;
const int kMaxFatalCopies = 4;
const size_t kMaxMessageBytes = 1023;

// The context of one line: who writes it and to which file.
class CTarnLog {
public:
    CTarnLog(const char* sourcePath, int line, const CTarnlogPathString& target);
    virtual ~CTarnLog();

    TarnLogResult Write(TarnLogKind kind, const char* message, int backupCount);
    // 1 when flushed, 0 otherwise.
    int Flush();
    TarnLogResult SaveFatalCopy();

private:
    char m_sourceName[MAX_PATH];
    int m_line;
    char m_path[MAX_PATH];
    char m_lockName[MAX_PATH];
};

namespace tarnlog {

// Fills buffer with the product's log folder, or "" when it has none. It must
// not log: the writer asks while it writes.
typedef void (*ProductLogFolderProvider)(char* buffer, size_t size);
// Installed by the product environment at start-up; until then there is none.
void SetProductLogFolderProvider(ProductLogFolderProvider provider);
// out = path with insert placed before the first '.' of its file name (or the last '.'
// of the path), or appended when there is none; false when the result does not fit.
bool InsertAtDot(char* out, size_t size, const char* path, const char* insert, bool lastDot);
// The folder new log files go to when no log is set: ends in a backslash (or is empty).
void GetDefaultLogFolder(char* buffer, size_t size);
// Sets the system log and system dump log paths the first time.
void PrepareSystemLogPaths();
// Sets the normal and dump log paths the first time.
void SetOutputPath(const char* path);

}  // namespace tarnlog
