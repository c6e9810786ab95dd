#include "MultiStartupMgr.h"
#include <mbctype.h>
#include <mbstring.h>
#include <cstring>
#include <new>
#include <vector>
#include "INC/PathUtil.h"

namespace {

const char kDefaultPrefix[] = "__ZEV_SIMPLE_SYNCOBJECT_NAME__";
const DWORD kStatusUnclassifiedOS = 0x800401FA;

// name without a leading "Global\" or "Local\" (compared case-insensitively).
const char* WithoutNamespace(const char* name) {
    if (_strnicmp(name, "Global\\", 7) == 0) return name + 7;
    if (_strnicmp(name, "Local\\", 6) == 0) return name + 6;
    return name;
}

}  // namespace

CSimpleSyncObject::CSimpleSyncObject(const char* name, BOOL global)
    : m_status(0), m_hasName(false), m_global(global) {
    BuildName(name);
}

CSimpleSyncObject::CSimpleSyncObject(const char* name, BOOL global, const COSVersion& os)
    : m_status(0), m_hasName(false), m_global(global), m_os(os) {
    BuildName(name);
}

CSimpleSyncObject::~CSimpleSyncObject() {}

void CSimpleSyncObject::BuildName(const char* name) {
    if (!m_os.IsClassified()) {
        m_status = kStatusUnclassifiedOS;
        return;
    }
    try {
        std::string base = (name && *name) ? WithoutNamespace(name) : "";
        if (base.empty()) {
            std::vector<char> path(1040, '\0');
            if (GetModuleFileNameA(nullptr, path.data(), 1039) == 0) {
                m_status = GetLastError();
                return;
            }
            std::string file = FileNamePart(path.data());
            // Byte by byte, as every instance does it, so the name is the
            // same for all of them even where a trail byte gets changed.
            for (char& c : file) {
                const unsigned char b = static_cast<unsigned char>(c);
                if (b < 0x80 && _ismbclower(b)) c = static_cast<char>(_mbctoupper(b));
            }
            base = kDefaultPrefix + file;
        }
        if (m_os.HasObjectNamespaces()) base = (m_global ? "Global\\" : "Local\\") + base;
        m_name = base;
        m_hasName = true;
    } catch (const std::bad_alloc&) {
        m_status = ERROR_NOT_ENOUGH_MEMORY;
    }
}

CSimpleMutex::CSimpleMutex(const char* name, BOOL global, DWORD timeout, LPSECURITY_ATTRIBUTES sa)
    : CSimpleSyncObject(name, global) {
    Acquire(timeout, sa);
}

CSimpleMutex::CSimpleMutex(const char* name, BOOL global, DWORD timeout, LPSECURITY_ATTRIBUTES sa,
                           const COSVersion& os)
    : CSimpleSyncObject(name, global, os) {
    Acquire(timeout, sa);
}

void CSimpleMutex::Acquire(DWORD timeout, LPSECURITY_ATTRIBUTES sa) {
    if (m_status != 0) return;
    m_mutex.reset(CreateMutexA(sa, FALSE, GetName()));
    m_status = GetLastError();
    if (!m_mutex.valid()) {
        if (m_status == 0) m_status = ERROR_INVALID_HANDLE;
        return;
    }
    switch (WaitForSingleObject(m_mutex.get(), timeout)) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED:  // the previous holder ended without releasing it
        m_status = 0;
        break;
    case WAIT_TIMEOUT:
        m_status = WAIT_TIMEOUT;
        break;
    default:
        m_status = GetLastError();
        if (m_status == 0) m_status = ERROR_INVALID_HANDLE;
        break;
    }
    if (m_status != 0) m_mutex.reset();
}

CSimpleMutex::~CSimpleMutex() {
    if (m_mutex.valid()) ReleaseMutex(m_mutex.get());  // the owner closes it after
}

CMultiStartupMgr::CMultiStartupMgr(const char* name, BOOL global, DWORD timeout)
    : CSimpleMutex(name, global, timeout, nullptr) {}
