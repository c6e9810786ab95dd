#include "TarnLog/TarnLogWriter.h"

#include <mbctype.h>
#include <mbstring.h>
#include <process.h>
#include <string.h>

#include <map>
#include <new>
#include <string>

#include "TarnLog/TarnLog.h"
#include "TarnLog/TarnLogFileManager.h"
#include "Util/KDXGlobal.h"

CTarnlogPathString g_LogPath;
CTarnlogPathString g_DumpLogPath;
CTarnlogPathString g_SysLogPath;
CTarnlogPathString g_SysDumpLogPath;

std::atomic<int> g_LogSizeLimit{kDefaultLogSizeKB * 1024};
std::atomic<int> g_LogDumpLimit{1024};

namespace {

const char* const kMarks[] = {"..", "!!", "@@", "->", "<-", ";;", "", "==", "--", "##", "##", "$$"};

const unsigned char* Bytes(const char* text) { return reinterpret_cast<const unsigned char*>(text); }

// Lead bytes of the process code page, read once from _ismbblead: the call
// per byte is slow on some systems and the writer walks every path and message.
bool IsLeadByte(unsigned char c) {
    struct CLeadBytes {
        bool lead[256];
        CLeadBytes() {
            for (int b = 0; b < 256; ++b) lead[b] = _ismbblead(b) != 0;
        }
    };
    static const CLeadBytes table;
    return table.lead[c];
}

// Length of the longest start of text that fits maxBytes without cutting a
// double-byte character in two; a lead byte left alone at the end is dropped.
size_t FittingLength(const char* text, size_t maxBytes) {
    size_t length = 0;
    while (text[length]) {
        size_t step = IsLeadByte(static_cast<unsigned char>(text[length])) ? 2 : 1;
        if (step == 2 && !text[length + 1]) break;
        if (length + step > maxBytes) break;
        length += step;
    }
    return length;
}

// Handles of the named mutexes, one per lock name, kept open for the
// process like the log files: creating and closing a named object for every
// line costs more than the line itself on some systems.
class CLockTable {
public:
    HANDLE Get(const char* name) {
        TarnLogFileManager::CSynchronizer lock(m_lock);
        auto it = m_mutexes.find(name);
        if (it != m_mutexes.end()) return it->second;
        HANDLE mutex = CreateMutexA(NULL, FALSE, name);
        if (!mutex) return NULL;
        try {
            m_mutexes.emplace(name, mutex);
        } catch (...) {
            CloseHandle(mutex);
            return NULL;
        }
        return mutex;
    }

private:
    TarnLogFileManager::CCriticalSection m_lock;
    std::map<std::string, HANDLE, std::less<>> m_mutexes;
};

CLockTable* Locks() {
    static CLockTable* table = new (std::nothrow) CLockTable;
    return table;
}

// Holds the named mutex that serialises every writer of one log file name,
// in this and other processes; released on every way out, keeping the
// last-error value of the failure that made the write give up.
class CFileLock {
public:
    CFileLock() : m_mutex(NULL) {}
    ~CFileLock() {
        if (!m_mutex) return;
        DWORD error = GetLastError();
        ReleaseMutex(m_mutex);
        SetLastError(error);
    }
    CFileLock(const CFileLock&) = delete;
    CFileLock& operator=(const CFileLock&) = delete;

    int Take(const char* name) {
        CLockTable* locks = Locks();
        HANDLE mutex = locks ? locks->Get(name) : NULL;
        if (!mutex) return TARNLOG_LOCK_CREATE_FAILED;
        DWORD wait = WaitForSingleObject(mutex, kLogLockWaitMs);
        if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) return TARNLOG_LOCK_TIMEOUT;
        m_mutex = mutex;
        return 0;
    }

private:
    HANDLE m_mutex;
};

class CFindHandle {
public:
    explicit CFindHandle(HANDLE handle) : m_handle(handle) {}
    ~CFindHandle() {
        if (m_handle != INVALID_HANDLE_VALUE) FindClose(m_handle);
    }
    CFindHandle(const CFindHandle&) = delete;
    CFindHandle& operator=(const CFindHandle&) = delete;
    HANDLE get() const { return m_handle; }

private:
    HANDLE m_handle;
};

// The product's log folder, LOGDIR of the KdmInst settings; empty when the
// product has none. Nothing on this path logs, so it cannot recurse.
void GetProductLogFolder(char* buffer, size_t size) { GetProductLogDir(buffer, size); }

TarnLogFileManager::CLogFileMap* Files() { return TarnLogFileManager::CLogFileMap::GetInstance(); }

}  // namespace

namespace tarnlog {

const char* FileNamePart(const char* path, bool slashToo) {
    if (!path) return "";
    // One walk, stepping over the second bytes of double-byte characters
    // (ソ and 表 end in 0x5C); '/' only counts when asked for.
    const char* name = path;
    for (const char* p = path; *p; ++p) {
        if (IsLeadByte(static_cast<unsigned char>(*p)) && p[1]) {
            ++p;
            continue;
        }
        if (*p == '\\' || (slashToo && *p == '/')) name = p + 1;
    }
    return name;
}

void CopyText(char* dst, size_t size, const char* src) {
    if (!size) return;
    size_t length = src ? FittingLength(src, size - 1) : 0;
    memcpy(dst, src ? src : "", length);
    dst[length] = '\0';
}

size_t CutText(char* text, size_t maxBytes) {
    size_t length = FittingLength(text, maxBytes);
    text[length] = '\0';
    return length;
}

bool InsertAtDot(char* out, size_t size, const char* path, const char* insert, bool lastDot) {
    if (!size) return false;
    out[0] = '\0';
    // The first '.' is looked for in the file name only, never in a folder.
    const unsigned char* dot =
        lastDot ? _mbsrchr(Bytes(path), '.') : _mbschr(Bytes(tarnlog::FileNamePart(path, false)), '.');
    size_t length = strlen(path);
    size_t head = dot ? static_cast<size_t>(dot - Bytes(path)) : length;
    size_t added = strlen(insert);
    if (length + added + 1 > size) return false;
    memcpy(out, path, head);
    memcpy(out + head, insert, added);
    memcpy(out + head + added, path + head, length - head + 1);
    return true;
}

void GetDefaultLogFolder(char* buffer, size_t size) {
    char folder[2 * MAX_PATH] = {0};
    if (!g_LogPath.IsEmpty()) {
        CopyText(folder, sizeof(folder), g_LogPath.GetPath());
    } else {
        GetProductLogFolder(folder, sizeof(folder) - 1);
        if (folder[0]) {
            if (*FileNamePart(folder, false)) strcat(folder, "\\");
        } else {
            GetModuleFileNameA(NULL, folder, MAX_PATH);
        }
    }
    // Keep everything up to and including the last backslash.
    char* name = const_cast<char*>(FileNamePart(folder, false));
    *(name == folder ? folder : name) = '\0';
    CopyText(buffer, size, folder);
}

void PrepareSystemLogPaths() {
    if (!g_SysLogPath.IsEmpty()) return;
    char path[2 * MAX_PATH];
    GetDefaultLogFolder(path, sizeof(path));
    char program[MAX_PATH + 1] = {0};
    GetModuleFileNameA(NULL, program, MAX_PATH);
    size_t folderLength = strlen(path);
    char* name = path + folderLength;
    CopyText(name, sizeof(path) - folderLength - 16, FileNamePart(program, false));
    // The extension is looked for in the file name only, never in a folder.
    unsigned char* dot = _mbsrchr(reinterpret_cast<unsigned char*>(name), '.');
    if (dot) *dot = '\0';
    strcat(name, "_sys.log");
    g_SysLogPath.Set(path);
    char dump[2 * MAX_PATH];
    if (InsertAtDot(dump, sizeof(dump), g_SysLogPath.GetPath(), "_dmp", false)) g_SysDumpLogPath.Set(dump);
}

void SetOutputPath(const char* path) {
    if (!g_LogPath.IsEmpty() || !path) return;
    char full[2 * MAX_PATH] = {0};
    if (_mbschr(Bytes(path), '\\')) {
        CopyText(full, sizeof(full), path);
    } else {
        GetDefaultLogFolder(full, sizeof(full));
        size_t folderLength = strlen(full);
        CopyText(full + folderLength, sizeof(full) - folderLength, path);
    }
    g_LogPath.Set(full);
    char dump[2 * MAX_PATH];
    if (InsertAtDot(dump, sizeof(dump), g_LogPath.GetPath(), "_dmp", false)) g_DumpLogPath.Set(dump);
}

}  // namespace tarnlog

void CTarnlogPathString::Set(const char* path) {
    if (!path) return;
    char name[64];
    wsprintfA(name, "TarnLogPathStringMutex_%08X_%08X", static_cast<unsigned>(reinterpret_cast<UINT_PTR>(this)),
              static_cast<unsigned>(_getpid()));
    HANDLE mutex = CreateMutexA(NULL, FALSE, name);
    if (!mutex) return;
    WaitForSingleObject(mutex, INFINITE);
    if (!m_isSet.load(std::memory_order_acquire)) {
        tarnlog::CopyText(m_path, sizeof(m_path), path);
        m_isSet.store(1, std::memory_order_release);
    }
    ReleaseMutex(mutex);
    CloseHandle(mutex);
}

int CTarnlogPathString::Get(char* buffer, int size) const {
    if (!buffer || size <= 0) return IsEmpty() ? 0 : 1;
    tarnlog::CopyText(buffer, static_cast<size_t>(size), GetPath());
    return IsEmpty() ? 0 : 1;
}

CTarnLog::CTarnLog(const char* sourcePath, int line, const CTarnlogPathString& target) : m_line(line) {
    tarnlog::CopyText(m_sourceName, sizeof(m_sourceName), tarnlog::FileNamePart(sourcePath, true));
    target.Get(m_path, sizeof(m_path));
    tarnlog::CopyText(m_lockName, sizeof(m_lockName), tarnlog::FileNamePart(m_path, false));
}

CTarnLog::~CTarnLog() {}

int CTarnLog::Write(int kind, const char* message, int backupCount) {
    if (!m_path[0]) return TARNLOG_NO_PATH;
    if (kind < 0 || kind > TARNLOG_RESEARCH) return TARNLOG_BAD_KIND;
    CFileLock lock;
    int taken = lock.Take(m_lockName);
    if (taken) return taken;

    SYSTEMTIME now;
    GetLocalTime(&now);
    // Header, message and line end go out in one write, so a reader never
    // sees half a line.
    char line[1024 + kMaxMessageBytes + 8];
    int headerLength = wsprintfA(line, "%04d/%02d/%02d %02d:%02d:%02d:%03d\t%s\t%s\t%d\t%x:%x\t", now.wYear, now.wMonth,
                                 now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds, kMarks[kind],
                                 m_sourceName, m_line, GetCurrentProcessId(), GetCurrentThreadId());
    if (headerLength < 0) headerLength = 0;
    size_t messageLength = message ? FittingLength(message, kMaxMessageBytes) : 0;
    int total = headerLength + static_cast<int>(messageLength) + 2;

    TarnLogFileManager::CLogFileMap* files = Files();
    if (!files || files->Open(m_path) != TarnLogFileManager::FILEMAN_OK) return TARNLOG_OPEN_FAILED;
    int size = files->GetSize(m_path);
    if (size < 0) size = 0;
    if (static_cast<long long>(size) + total > g_LogSizeLimit.load()) files->Rotate(m_path, backupCount);

    char* end = line + headerLength;
    memcpy(end, message ? message : "", messageLength);
    end += messageLength;
    memcpy(end, "\r\n", 2);
    end += 2;
    if (kind == TARNLOG_END) {
        memcpy(end, "\r\n", 2);
        end += 2;
    }
    *end = '\0';
    files->Append(m_path, line);

    return kind == TARNLOG_FATAL ? SaveFatalCopy() : TARNLOG_WRITTEN;
}

int CTarnLog::Flush() {
    if (!m_path[0]) return 0;
    CFileLock lock;
    if (lock.Take(m_lockName)) return 0;
    TarnLogFileManager::CLogFileMap* files = Files();
    if (!files || files->Open(m_path) != TarnLogFileManager::FILEMAN_OK) return 0;
    files->Flush(m_path);
    return 1;
}

int CTarnLog::SaveFatalCopy() {
    if (!m_path[0]) return TARNLOG_NO_PATH;
    char fatalPath[MAX_PATH + 16];
    char copyName[MAX_PATH + 32];
    char pattern[MAX_PATH + 32];
    SYSTEMTIME now;
    GetLocalTime(&now);
    char stamp[32];
    wsprintfA(stamp, "%04d%02d%02d%02d%02d%02d", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
              now.wSecond);
    if (!tarnlog::InsertAtDot(fatalPath, sizeof(fatalPath), m_path, "_fatal", true) ||
        !tarnlog::InsertAtDot(copyName, sizeof(copyName), fatalPath, stamp, true))
        return TARNLOG_COPY_FAILED;

    strcpy(pattern, fatalPath);
    unsigned char* dot = _mbsrchr(reinterpret_cast<unsigned char*>(pattern), '.');
    if (dot) *dot = '\0';
    strcat(pattern, "*");

    int count = 0;
    char oldest[MAX_PATH] = {0};
    WIN32_FIND_DATAA found;
    CFindHandle find(FindFirstFileA(pattern, &found));
    if (find.get() != INVALID_HANDLE_VALUE) {
        do {
            // With the time in the name, the smallest name is the oldest copy.
            if (count++ == 0 || strcmp(found.cFileName, oldest) < 0)
                tarnlog::CopyText(oldest, sizeof(oldest), found.cFileName);
        } while (FindNextFileA(find.get(), &found));
    }

    if (count >= kMaxFatalCopies) {
        char* name = const_cast<char*>(tarnlog::FileNamePart(pattern, false));
        if (name == pattern) return TARNLOG_PATTERN_NO_FOLDER;
        *name = '\0';
        char victim[2 * MAX_PATH + 32];
        wsprintfA(victim, "%s%s", pattern, oldest);
        if (!DeleteFileA(victim)) return TARNLOG_DELETE_OLD_COPY_FAILED;
    }
    return CopyFileA(m_path, copyName, TRUE) ? TARNLOG_WRITTEN : TARNLOG_COPY_FAILED;
}
