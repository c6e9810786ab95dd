#include "TarnLog/TarnLogFileManager.h"

#include <mbstring.h>
#include <shlwapi.h>
#include <atomic>
#include <new>
#include <string.h>
#include <utility>
#include <vector>

#include "INC/MbText.h"

namespace TarnLogFileManager {

bool CPathLess::Less(const char* a, const char* b) {
    return _mbsicmp(Bytes(a), Bytes(b)) < 0;
}

namespace {

std::atomic<CLogFileMap*> s_instance{nullptr};

// "<path>.BAK" for number 1, "<path>.BAK.<n>" for the older ones.
std::string BackupName(const std::string& path, int number) {
    std::string name = path + ".BAK";
    if (number >= 2) name += "." + std::to_string(number);
    return name;
}

typedef std::vector<std::pair<std::string, std::string>> Renames;

// Each rename in turn; when one fails, those done are undone, newest first.
bool RenameAll(const Renames& renames) {
    size_t done = 0;
    while (done < renames.size() &&
           MoveFileExA(renames[done].first.c_str(), renames[done].second.c_str(), MOVEFILE_REPLACE_EXISTING))
        ++done;
    if (done == renames.size()) return true;
    while (done-- > 0) MoveFileExA(renames[done].second.c_str(), renames[done].first.c_str(), 0);
    return false;
}

// The current content copied aside first: only once that copy exists are the
// backups shifted, and the shift is whole or undone.
bool SaveIntoBackups(const std::string& path, int backupCount) {
    const std::string fresh = BackupName(path, 1) + ".new", oldest = BackupName(path, backupCount),
                      dropped = oldest + ".old";
    if (!CopyFileA(path.c_str(), fresh.c_str(), FALSE)) return false;
    Renames renames;
    if (PathFileExistsA(oldest.c_str())) renames.emplace_back(oldest, dropped);
    for (int n = backupCount - 1; n >= 1; --n) {
        const std::string from = BackupName(path, n);
        if (PathFileExistsA(from.c_str())) renames.emplace_back(from, BackupName(path, n + 1));
    }
    renames.emplace_back(fresh, BackupName(path, 1));
    if (!RenameAll(renames)) {
        DeleteFileA(fresh.c_str());
        return false;
    }
    DeleteFileA(dropped.c_str());
    return true;
}

}  // namespace
CLogFileMap* CLogFileMap::GetInstance() {
    CLogFileMap* manager = s_instance.load(std::memory_order_acquire);
    if (manager) return manager;

    char name[64];
    wsprintfA(name, "TarnLogFileManager_InitialMutex_%d", static_cast<int>(GetCurrentProcessId()));
    CHandle mutex(CreateMutexA(nullptr, FALSE, name));
    if (mutex.valid()) WaitForSingleObject(mutex.get(), INFINITE);
    manager = s_instance.load(std::memory_order_acquire);
    if (!manager) {
        // The exchange keeps one manager even when the mutex could not be made.
        CLogFileMap* created = new (std::nothrow) CLogFileMap;
        CLogFileMap* expected = nullptr;
        if (created && s_instance.compare_exchange_strong(expected, created, std::memory_order_acq_rel)) {
            manager = created;
        } else {
            delete created;
            manager = expected;
        }
    }
    if (mutex.valid()) ReleaseMutex(mutex.get());
    return manager;
}

CLogFileMap::CLogFileMap() : m_lastPath(), m_lastEntry(nullptr) {}

CLogFileMap::~CLogFileMap() {}

CLogFileMap::CEntry* CLogFileMap::Lookup(const char* path) {
    if (!path) return nullptr;
    if (m_lastEntry && strcmp(path, m_lastPath) == 0) return m_lastEntry;
    auto it = m_files.find(path);
    if (it == m_files.end()) return nullptr;
    // Entries are never removed, so the pointer stays valid.
    if (strlen(path) < sizeof(m_lastPath)) {
        strcpy(m_lastPath, path);
        m_lastEntry = &it->second;
    }
    return &it->second;
}

FileManResult CLogFileMap::FindEntry(const char* path, CEntry** found) {
    CEntry* entry = Lookup(path);
    if (!entry) return FILEMAN_NO_ENTRY;
    if (!entry->file.valid()) return FILEMAN_NO_HANDLE;
    *found = entry;
    return FILEMAN_OK;
}

FileManResult CLogFileMap::Open(const char* path) {
    CSynchronizer lock(m_lock);
    if (!path) return FILEMAN_OPEN_FAILED;
    if (Lookup(path)) return FILEMAN_OK;
    // Opened to append only: every write lands at the end of the file, whoever else wrote to it, with no
    // seek before it (a seek asks the file's size, which costs as much as the write on some systems).
    CFileHandle file(CreateFileA(path, FILE_APPEND_DATA | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return FILEMAN_OPEN_FAILED;
    try {
        m_files.emplace(path, CEntry{std::move(file), -1, 0});
    } catch (...) {
        return FILEMAN_OPEN_FAILED;  // out of memory: the file is closed again
    }
    return FILEMAN_OK;
}

FileManResult CLogFileMap::Append(const char* path, const char* text) {
    CSynchronizer lock(m_lock);
    if (!text) return FILEMAN_NO_TEXT;
    CEntry* entry = nullptr;
    FileManResult result = FindEntry(path, &entry);
    if (result != FILEMAN_OK) return result;
    return Write(*entry, text, static_cast<DWORD>(strlen(text)));
}

FileManResult CLogFileMap::Write(CEntry& entry, const char* text, DWORD length) {
    DWORD written = 0;
    BOOL wrote = WriteFile(entry.file.get(), text, length, &written, nullptr);
    if (entry.size >= 0) entry.size += written;
    return wrote && written == length ? FILEMAN_OK : FILEMAN_WRITE_FAILED;
}

FileManResult CLogFileMap::AppendWithin(const char* path, const char* text, long long limit, int backupCount) {
    CSynchronizer lock(m_lock);
    if (!text) return FILEMAN_NO_TEXT;
    CEntry* entry = nullptr;
    FileManResult result = FindEntry(path, &entry);
    if (result != FILEMAN_OK) return result;
    const long long length = static_cast<long long>(strlen(text));
    if (entry->linesBeforeRetry > 0) {
        --entry->linesBeforeRetry;
    } else if (entry->size < 0 || entry->size + length > limit) {
        DWORD size = GetFileSize(entry->file.get(), nullptr);
        entry->size = size == INVALID_FILE_SIZE ? 0 : size;  // a size that cannot be read counts as 0
        // A failed rotation still lets the line be appended to the long file.
        if (entry->size + length > limit && Rotate(path, backupCount) != FILEMAN_OK)
            entry->linesBeforeRetry = kRotationRetryLines;
    }
    return Write(*entry, text, static_cast<DWORD>(length));
}

int CLogFileMap::GetSize(const char* path) {
    CSynchronizer lock(m_lock);
    CEntry* entry = nullptr;
    if (FindEntry(path, &entry) != FILEMAN_OK) return FILEMAN_OPEN_FAILED;
    DWORD size = GetFileSize(entry->file.get(), nullptr);
    if (size == INVALID_FILE_SIZE) return FILEMAN_OPEN_FAILED;
    return static_cast<int>(size);
}

FileManResult CLogFileMap::Flush(const char* path) {
    CSynchronizer lock(m_lock);
    CEntry* entry = nullptr;
    FileManResult result = FindEntry(path, &entry);
    if (result != FILEMAN_OK) return result;
    return FlushFileBuffers(entry->file.get()) ? FILEMAN_OK : FILEMAN_FLUSH_FAILED;
}

FileManResult CLogFileMap::Rotate(const char* path, int backupCount) {
    CSynchronizer lock(m_lock);
    if (!path) return FILEMAN_NO_ENTRY;
    CEntry* entry = nullptr;
    FileManResult result = FindEntry(path, &entry);
    if (result != FILEMAN_OK) return result;
    try {
        if (backupCount >= 1 && !SaveIntoBackups(path, backupCount)) return FILEMAN_BACKUP_FAILED;
    } catch (...) {
        return FILEMAN_BACKUP_FAILED;
    }
    // The kept handle may only append; the cut takes a handle of its own.
    CFileHandle whole(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, TRUNCATE_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    entry->size = whole.valid() ? 0 : -1;
    return whole.valid() ? FILEMAN_OK : FILEMAN_TRUNCATE_FAILED;
}

}  // namespace TarnLogFileManager
