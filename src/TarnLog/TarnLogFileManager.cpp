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
        if (entry.second != INVALID_HANDLE_VALUE && entry.second) CloseHandle(entry.second);
}

HANDLE* CLogFileMap::Lookup(const char* path) {
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

int CLogFileMap::FindHandle(const char* path, HANDLE* handle) {
    HANDLE* entry = Lookup(path);
    if (!entry) return FILEMAN_NO_ENTRY;
    if (*entry == INVALID_HANDLE_VALUE || !*entry) return FILEMAN_NO_HANDLE;
    *handle = *entry;
    return FILEMAN_OK;
}

int CLogFileMap::Open(const char* path) {
    CSynchronizer lock(m_lock);
    if (!path) return FILEMAN_OPEN_FAILED;
    if (Lookup(path)) return FILEMAN_OK;
    CFileHandle file(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return FILEMAN_OPEN_FAILED;
    try {
        m_files.emplace(path, file.get());
    } catch (...) {
        return FILEMAN_OPEN_FAILED;  // the owner closes the file
    }
    file.release();  // the table owns it now
    return FILEMAN_OK;
}

int CLogFileMap::Append(const char* path, const char* text) {
    CSynchronizer lock(m_lock);
    if (!text) return FILEMAN_NO_TEXT;
    HANDLE file = nullptr;
    int result = FindHandle(path, &file);
    if (result != FILEMAN_OK) return result;
    if (SetFilePointer(file, 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER) return FILEMAN_SEEK_FAILED;
    DWORD length = static_cast<DWORD>(strlen(text));
    DWORD written = 0;
    if (!WriteFile(file, text, length, &written, nullptr) || written != length) return FILEMAN_WRITE_FAILED;
    return FILEMAN_OK;
}

int CLogFileMap::GetSize(const char* path) {
    CSynchronizer lock(m_lock);
    HANDLE file = nullptr;
    if (FindHandle(path, &file) != FILEMAN_OK) return FILEMAN_OPEN_FAILED;
    DWORD size = GetFileSize(file, nullptr);
    if (size == INVALID_FILE_SIZE) return FILEMAN_OPEN_FAILED;
    return static_cast<int>(size);
}

int CLogFileMap::Flush(const char* path) {
    CSynchronizer lock(m_lock);
    HANDLE file = nullptr;
    int result = FindHandle(path, &file);
    if (result != FILEMAN_OK) return result;
    return FlushFileBuffers(file) ? FILEMAN_OK : FILEMAN_FLUSH_FAILED;
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
    HANDLE file = nullptr;
    int result = FindHandle(path, &file);
    if (result != FILEMAN_OK) return result;
    if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return FILEMAN_SEEK_FAILED;
    if (!SetEndOfFile(file)) return FILEMAN_TRUNCATE_FAILED;
    return FILEMAN_OK;
}

size_t CLogFileMap::GetEntryCount() {
    CSynchronizer lock(m_lock);
    return m_files.size();
}

}  // namespace TarnLogFileManager
