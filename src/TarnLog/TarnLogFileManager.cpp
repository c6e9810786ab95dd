#include "TarnLog/TarnLogFileManager.h"

#include <mbstring.h>
#include <shlwapi.h>
#include <atomic>
#include <new>
#include <string.h>

#include "INC/MbText.h"
#include "INC/Owner.h"

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

CLogFileMap::CLogFileMap() : m_keepOpen(true), m_lastPath(), m_lastEntry(nullptr) {}

CLogFileMap::~CLogFileMap() {
    for (auto& entry : m_files)
        if (entry.second.file != INVALID_HANDLE_VALUE && entry.second.file) CloseHandle(entry.second.file);
}

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

int CLogFileMap::FindEntry(const char* path, CEntry** found) {
    CEntry* entry = Lookup(path);
    if (!entry) return FILEMAN_NO_ENTRY;
    if (entry->file == INVALID_HANDLE_VALUE || !entry->file) return FILEMAN_NO_HANDLE;
    *found = entry;
    return FILEMAN_OK;
}

int CLogFileMap::Open(const char* path) {
    CSynchronizer lock(m_lock);
    if (!path) return FILEMAN_OPEN_FAILED;
    if (Lookup(path)) return FILEMAN_OK;
    // Opened to append only: every write lands at the end of the file, whoever else wrote to it, with no
    // seek before it (a seek asks the file's size, which costs as much as the write on some systems).
    CFileHandle file(CreateFileA(path, FILE_APPEND_DATA | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return FILEMAN_OPEN_FAILED;
    try {
        m_files.emplace(path, CEntry{file.get(), -1});
    } catch (...) {
        return FILEMAN_OPEN_FAILED;  // the owner closes the file
    }
    file.release();  // the table owns it now
    return FILEMAN_OK;
}

int CLogFileMap::Append(const char* path, const char* text) {
    CSynchronizer lock(m_lock);
    if (!text) return FILEMAN_NO_TEXT;
    CEntry* entry = nullptr;
    int result = FindEntry(path, &entry);
    if (result != FILEMAN_OK) return result;
    DWORD length = static_cast<DWORD>(strlen(text));
    DWORD written = 0;
    BOOL wrote = WriteFile(entry->file, text, length, &written, nullptr);
    if (entry->size >= 0) entry->size += written;
    return wrote && written == length ? FILEMAN_OK : FILEMAN_WRITE_FAILED;
}

int CLogFileMap::AppendWithin(const char* path, const char* text, long long limit, int backupCount) {
    CSynchronizer lock(m_lock);
    if (!text) return FILEMAN_NO_TEXT;
    CEntry* entry = nullptr;
    int result = FindEntry(path, &entry);
    if (result != FILEMAN_OK) return result;
    const long long length = static_cast<long long>(strlen(text));
    if (entry->size < 0 || entry->size + length > limit) {
        DWORD size = GetFileSize(entry->file, nullptr);
        entry->size = size == INVALID_FILE_SIZE ? 0 : size;  // a size that cannot be read counts as 0
        if (entry->size + length > limit) Rotate(path, backupCount);  // whatever the rotation's result
    }
    return Append(path, text);
}

int CLogFileMap::GetSize(const char* path) {
    CSynchronizer lock(m_lock);
    CEntry* entry = nullptr;
    if (FindEntry(path, &entry) != FILEMAN_OK) return FILEMAN_OPEN_FAILED;
    DWORD size = GetFileSize(entry->file, nullptr);
    if (size == INVALID_FILE_SIZE) return FILEMAN_OPEN_FAILED;
    return static_cast<int>(size);
}

int CLogFileMap::Flush(const char* path) {
    CSynchronizer lock(m_lock);
    CEntry* entry = nullptr;
    int result = FindEntry(path, &entry);
    if (result != FILEMAN_OK) return result;
    return FlushFileBuffers(entry->file) ? FILEMAN_OK : FILEMAN_FLUSH_FAILED;
}

int CLogFileMap::Rotate(const char* path, int backupCount) {
    CSynchronizer lock(m_lock);
    if (!path) return FILEMAN_NO_ENTRY;
    if (backupCount >= 1) {
        try {
            const std::string base(path);
            // Older backups move up one number; failures only leave an old backup behind.
            if (backupCount >= 2) {
                std::string oldest = BackupName(base, backupCount);
                if (PathFileExistsA(oldest.c_str())) DeleteFileA(oldest.c_str());
                for (int n = backupCount - 1; n >= 1; --n) {
                    std::string from = BackupName(base, n);
                    if (PathFileExistsA(from.c_str()))
                        MoveFileExA(from.c_str(), BackupName(base, n + 1).c_str(), MOVEFILE_REPLACE_EXISTING);
                }
            }
            if (!CopyFileA(path, BackupName(base, 1).c_str(), FALSE)) return FILEMAN_BACKUP_FAILED;
        } catch (...) {
            return FILEMAN_BACKUP_FAILED;
        }
    }
    CEntry* entry = nullptr;
    int result = FindEntry(path, &entry);
    if (result != FILEMAN_OK) return result;
    // The kept handle may only append; the cut takes a handle of its own.
    CFileHandle whole(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, TRUNCATE_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    entry->size = whole.valid() ? 0 : -1;
    return whole.valid() ? FILEMAN_OK : FILEMAN_TRUNCATE_FAILED;
}

size_t CLogFileMap::GetEntryCount() {
    CSynchronizer lock(m_lock);
    return m_files.size();
}

}  // namespace TarnLogFileManager
