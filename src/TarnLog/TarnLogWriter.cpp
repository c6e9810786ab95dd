#include "TarnLog/TarnLogWriter.h"

#include <mbstring.h>
#include <process.h>
#include <string.h>

#include <map>
#include <new>
#include <string>

#include "TarnLog/TarnLogFileManager.h"
#include "INC/Owner.h"

CTarnlogPathString g_LogPath;
CTarnlogPathString g_DumpLogPath;
CTarnlogPathString g_SysLogPath;
CTarnlogPathString g_SysDumpLogPath;

std::atomic<int> g_LogSizeLimit{kDefaultLogSizeKB * 1024};
std::atomic<int> g_LogDumpLimit{1024};

namespace {

const char* const kMarks[] = {"..", "!!", "@@", "->", "<-", ";;", "", "==", "--", "##", "##", "$$"};

// Handles of the named mutexes, one per lock name, kept open for the
// process like the log files: creating and closing a named object for every
// line costs more than the line itself on some systems.
class CLockTable {
public:
    HANDLE Get(const char* name) {
        TarnLogFileManager::CSynchronizer lock(m_lock);
        auto it = m_mutexes.find(name);
        if (it != m_mutexes.end()) return it->second;
        CHandle mutex(CreateMutexA(nullptr, FALSE, name));
        if (!mutex.valid()) return nullptr;
        try {
            m_mutexes.emplace(name, mutex.get());
        } catch (...) {
            return nullptr;  // out of memory: no lock, so the line is not written
        }
        return mutex.release();  // the table keeps it for the process
    }

private:
    TarnLogFileManager::CCriticalSection m_lock;
    std::map<std::string, HANDLE, std::less<>> m_mutexes;
};

CLockTable* Locks() {
    static CLockTable* table = new (std::nothrow) CLockTable;
    return table;
}

// Takes the named mutex that serialises every writer of one log file name,
// in this and other processes; the owner releases it on every way out,
// keeping the last-error value of the failure that made the write give up.
TarnLogResult TakeFileLock(const char* name, CHeldMutex& lock) {
    CLockTable* locks = Locks();
    HANDLE mutex = locks ? locks->Get(name) : nullptr;
    if (!mutex) return TARNLOG_LOCK_CREATE_FAILED;
    DWORD wait = WaitForSingleObject(mutex, kLogLockWaitMs);
    if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) return TARNLOG_LOCK_TIMEOUT;
    lock.reset(mutex);
    return TARNLOG_WRITTEN;
}

std::atomic<tarnlog::ProductLogFolderProvider> g_productLogFolder{nullptr};

// The product's log folder; empty when the product has none or no provider
// is installed.
void GetProductLogFolder(char* buffer, size_t size) {
    buffer[0] = '\0';
    tarnlog::ProductLogFolderProvider provider = g_productLogFolder.load();
    if (provider) provider(buffer, size);
}

TarnLogFileManager::CLogFileMap* Files() { return TarnLogFileManager::CLogFileMap::GetInstance(); }

}  // namespace

namespace tarnlog {

void SetProductLogFolderProvider(ProductLogFolderProvider provider) { g_productLogFolder = provider; }

bool InsertAtDot(char* out, size_t size, const char* path, const char* insert, bool lastDot) {
    if (!size) return false;
    out[0] = '\0';
    // The first '.' is looked for in the file name only, never in a folder.
    const unsigned char* dot =
        lastDot ? _mbsrchr(Bytes(path), '.') : _mbschr(Bytes(FileNamePart(path, false)), '.');
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
            GetModuleFileNameA(nullptr, folder, MAX_PATH);
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
    GetModuleFileNameA(nullptr, program, MAX_PATH);
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
    CHandle mutex(CreateMutexA(nullptr, FALSE, name));
    if (!mutex.valid()) return;
    WaitForSingleObject(mutex.get(), INFINITE);
    if (!m_isSet.load(std::memory_order_acquire)) {
        CopyText(m_path, sizeof(m_path), path);
        m_isSet.store(1, std::memory_order_release);
    }
    ReleaseMutex(mutex.get());
}

int CTarnlogPathString::Get(char* buffer, int size) const {
    if (!buffer || size <= 0) return IsEmpty() ? 0 : 1;
    CopyText(buffer, static_cast<size_t>(size), GetPath());
    return IsEmpty() ? 0 : 1;
}

CTarnLog::CTarnLog(const char* sourcePath, int line, const CTarnlogPathString& target) : m_line(line) {
    CopyText(m_sourceName, sizeof(m_sourceName), FileNamePart(sourcePath, true));
    target.Get(m_path, sizeof(m_path));
    CopyText(m_lockName, sizeof(m_lockName), FileNamePart(m_path, false));
}

CTarnLog::~CTarnLog() {}

TarnLogResult CTarnLog::Write(TarnLogKind kind, const char* message, int backupCount) {
    if (!m_path[0]) return TARNLOG_NO_PATH;
    if (kind < 0 || kind > TARNLOG_RESEARCH) return TARNLOG_BAD_KIND;
    CHeldMutex lock;
    const TarnLogResult taken = TakeFileLock(m_lockName, lock);
    if (taken != TARNLOG_WRITTEN) return taken;

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

    TarnLogFileManager::CLogFileMap* files = Files();
    if (!files || files->Open(m_path) != TarnLogFileManager::FILEMAN_OK) return TARNLOG_OPEN_FAILED;

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
    files->AppendWithin(m_path, line, g_LogSizeLimit.load(), backupCount);

    return kind == TARNLOG_FATAL ? SaveFatalCopy() : TARNLOG_WRITTEN;
}

int CTarnLog::Flush() {
    if (!m_path[0]) return 0;
    CHeldMutex lock;
    if (TakeFileLock(m_lockName, lock) != TARNLOG_WRITTEN) return 0;
    TarnLogFileManager::CLogFileMap* files = Files();
    if (!files || files->Open(m_path) != TarnLogFileManager::FILEMAN_OK) return 0;
    files->Flush(m_path);
    return 1;
}

TarnLogResult CTarnLog::SaveFatalCopy() {
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
    unsigned char* dot = _mbsrchr(Bytes(pattern), '.');
    if (dot) *dot = '\0';
    strcat(pattern, "*");

    int count = 0;
    char oldest[MAX_PATH] = {0};
    WIN32_FIND_DATAA found;
    CFindHandle find(FindFirstFileA(pattern, &found));
    if (find.valid()) {
        do {
            // With the time in the name, the smallest name is the oldest copy.
            if (count++ == 0 || strcmp(found.cFileName, oldest) < 0)
                CopyText(oldest, sizeof(oldest), found.cFileName);
        } while (FindNextFileA(find.get(), &found));
    }

    if (count >= kMaxFatalCopies) {
        char* name = const_cast<char*>(FileNamePart(pattern, false));
        if (name == pattern) return TARNLOG_PATTERN_NO_FOLDER;
        *name = '\0';
        char victim[2 * MAX_PATH + 32];
        wsprintfA(victim, "%s%s", pattern, oldest);
        if (!DeleteFileA(victim)) return TARNLOG_DELETE_OLD_COPY_FAILED;
    }
    return CopyFileA(m_path, copyName, TRUE) ? TARNLOG_WRITTEN : TARNLOG_COPY_FAILED;
}
