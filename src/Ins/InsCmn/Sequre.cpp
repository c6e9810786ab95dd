#include "Ins/InsCmn/Sequre.h"

#include <aclapi.h>
#include <shlwapi.h>

#include "INC/PathUtil.h"
#include "Ins/InsCmn/CtrlPrivilege.h"
#include "TarnLog/TarnLog.h"

namespace {

const char kOwner[] = "Administrators";
const DWORD kFullControl = 0x1F01FF;
const char kOwnerFailed[] = "所有者情報変更失敗(%d) %s";
const char kLinkSkipped[] = "リパースポイントなので処理しません。[%s]";
const char kListFailed[] = "フォルダの一覧に失敗しました [%s] [%lu]";

const ACCESS_MASK kSecurityAccess = READ_CONTROL | WRITE_DAC | WRITE_OWNER | FILE_READ_ATTRIBUTES;
// Take-ownership grants this much even to an entry whose list shuts
// administrators out; once the owner, the rest follows.
const ACCESS_MASK kOwnerOnly = WRITE_OWNER | FILE_READ_ATTRIBUTES;

WalkOptions SecurityOptions() {
    WalkOptions options;
    options.file = kSecurityAccess;
    options.folder = kSecurityAccess | FILE_LIST_DIRECTORY;
    options.fileFallback = options.folderFallback = kOwnerOnly;
    options.skipDotFolders = true;
    return options;
}

ACCESS_MASK WantedAccess(bool folder) { return folder ? kSecurityAccess | FILE_LIST_DIRECTORY : kSecurityAccess; }
ACCESS_MASK WantedAccess(const CWalkEntry& entry) { return WantedAccess(entry.kind == WalkKind::Folder); }

// A file with a second name may be a link planted to a file outside the
// tree: its owner and list are shared with that file.
bool HasOtherNames(const CWalkEntry& entry) {
    FILE_STANDARD_INFO info;
    return GetFileInformationByHandleEx(entry.handle.get(), FileStandardInfo, &info, sizeof(info)) &&
           info.NumberOfLinks > 1;
}

class SecurityWalk {
public:
    SecurityWalk(const CWalkRoot& root, PACL acl, PSID owner, CSecurityRecord* record)
        : m_root(root), m_acl(acl), m_owner(owner), m_record(record), m_options(SecurityOptions()) {
        AddAccessEntry(m_open.out(), kFullControl, "everyone");
    }

    // entry: opened with WantedAccess, or with the owner-only fallback.
    BOOL Entry(CWalkEntry& entry) {
        if (!ChangeOwner(entry)) return FALSE;
        if (entry.kind != WalkKind::Folder) {
            m_calls.SetDacl(entry, m_acl);
            return TRUE;
        }
        // Open to everyone while its contents are walked.
        m_calls.SetDacl(entry, m_open.get());
        bool stopped = false;
        const DWORD listed = ForEachChild(m_root, entry, m_options, [&](CWalkEntry& child) -> DWORD {
            stopped = !Child(child);
            return stopped ? 1 : 0;
        });
        if (stopped) return FALSE;
        if (listed) {
            TARNLOG(TARNLOG_ERROR, kListFailed, entry.Text().c_str(), listed);
            SetLastError(listed);
            return FALSE;
        }
        if (!ChangeOwner(entry)) return FALSE;
        m_calls.SetDacl(entry, m_acl);
        return TRUE;
    }

private:
    BOOL Child(CWalkEntry& child) {
        if (child.kind == WalkKind::Link) {
            TARNLOG(TARNLOG_INFO, kLinkSkipped, child.Text().c_str());
            return TRUE;
        }
        if (!child.handle.valid()) {
            TARNLOG(TARNLOG_ERROR, kOwnerFailed, child.error, child.Text().c_str());
            SetLastError(child.error);
            return FALSE;
        }
        if (child.kind == WalkKind::Folder) return Entry(child);
        if (HasOtherNames(child)) {
            TARNLOG(TARNLOG_INFO, "複数の名前を持つファイルなので処理しません。[%s]", child.Text().c_str());
            return TRUE;
        }
        const DWORD status = OwnerStatus(child);
        if (status != ERROR_SUCCESS) {
            if (lstrcmpiA(PathFindExtensionA(child.Text().c_str()), ".tmp") != 0) {
                TARNLOG(TARNLOG_ERROR, kOwnerFailed, status, child.Text().c_str());
                SetLastError(status);
                return FALSE;
            }
            TARNLOG(TARNLOG_ERROR, "TMPファイルなので処理を続行します。[%s]", child.Text().c_str());
            return TRUE;
        }
        m_calls.SetDacl(child, m_acl);
        return TRUE;
    }

    BOOL ChangeOwner(CWalkEntry& entry) {
        const DWORD status = OwnerStatus(entry);
        if (status == ERROR_SUCCESS) return TRUE;
        TARNLOG(TARNLOG_ERROR, kOwnerFailed, status, entry.Text().c_str());
        SetLastError(status);
        return FALSE;
    }

    // Records the entry's security before its first change, then makes
    // Administrators its owner. An entry opened for its owner only is opened
    // again for the rest once it is ours.
    DWORD OwnerStatus(CWalkEntry& entry) {
        if (m_record && !entry.error && !m_record->Find(entry.path)) {
            std::vector<BYTE> descriptor;
            if (m_calls.Read(entry, descriptor) == ERROR_SUCCESS) m_record->Add(entry.path, std::move(descriptor));
        }
        const DWORD status = m_calls.SetOwner(entry, m_owner);
        if (status == ERROR_SUCCESS && entry.error) {
            const DWORD reopened = Reopen(entry, WantedAccess(entry));
            if (reopened) return reopened;
            entry.error = 0;
        }
        return status;
    }

    const CWalkRoot& m_root;
    PACL m_acl;
    PSID m_owner;
    CSecurityRecord* m_record;
    const WalkOptions m_options;
    CAclHolder m_open;
    CSecurityCalls& m_calls = CSecurityCalls::Current();
};

// Puts back the recorded entries below folder, then folder itself, so that
// no list already restored shuts the rest of the walk out.
void RestoreEntry(const CWalkRoot& root, CWalkEntry& entry, const CSecurityRecord& record, size_t& restored) {
    if (entry.kind == WalkKind::Folder) {
        ForEachChild(root, entry, SecurityOptions(), [&](CWalkEntry& child) -> DWORD {
            if (child.handle.valid() && child.kind != WalkKind::Link) RestoreEntry(root, child, record, restored);
            return 0;
        });
    }
    const std::vector<BYTE>* descriptor = record.Find(entry.path);
    if (descriptor && !entry.error && CSecurityCalls::Current().Write(entry, *descriptor) == ERROR_SUCCESS) ++restored;
}

CSecurityCalls* g_current = nullptr;

}  // namespace

void CSecurityRecord::Add(const std::wstring& path, std::vector<BYTE> descriptor) {
    m_entries[path] = std::move(descriptor);
}

const std::vector<BYTE>* CSecurityRecord::Find(const std::wstring& path) const {
    auto found = m_entries.find(path);
    return found == m_entries.end() ? nullptr : &found->second;
}

DWORD CSecurityCalls::SetOwner(const CWalkEntry& entry, PSID owner) {
    return SetSecurityInfo(entry.handle.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, owner, nullptr, nullptr,
                           nullptr);
}

// Written as given, like SetFileSecurity: SetSecurityInfo would also carry a
// folder's inheritable entries down into everything below it, each time.
DWORD CSecurityCalls::SetDacl(const CWalkEntry& entry, PACL acl) {
    SECURITY_DESCRIPTOR descriptor;
    if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE) ||
        !SetKernelObjectSecurity(entry.handle.get(), DACL_SECURITY_INFORMATION, &descriptor))
        return GetLastError();
    return ERROR_SUCCESS;
}

DWORD CSecurityCalls::Read(const CWalkEntry& entry, std::vector<BYTE>& descriptor) {
    const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    descriptor.resize(512);
    DWORD needed = 0;
    if (GetKernelObjectSecurity(entry.handle.get(), what, descriptor.data(), descriptor.size(), &needed)) return 0;
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return GetLastError();
    descriptor.resize(needed);
    return GetKernelObjectSecurity(entry.handle.get(), what, descriptor.data(), descriptor.size(), &needed)
               ? ERROR_SUCCESS
               : GetLastError();
}

DWORD CSecurityCalls::Write(const CWalkEntry& entry, const std::vector<BYTE>& descriptor) {
    PSECURITY_DESCRIPTOR sd = const_cast<BYTE*>(descriptor.data());
    return SetKernelObjectSecurity(entry.handle.get(), OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, sd)
               ? ERROR_SUCCESS
               : GetLastError();
}

CSecurityCalls& CSecurityCalls::Current() {
    static CSecurityCalls real;
    return g_current ? *g_current : real;
}

CSecurityCalls* CSecurityCalls::Replace(CSecurityCalls* calls) {
    CSecurityCalls* old = g_current;
    g_current = calls;
    return old;
}

BOOL ApplySecurityTree(const CWalkRoot& root, PACL acl, CSecurityRecord* record) {
    if (root.GetState() == CWalkRoot::kLink) {
        TARNLOG(TARNLOG_INFO, kLinkSkipped, root.Text().c_str());
        return TRUE;
    }
    COwner<CHeapTraits> owner;
    if (DWORD error = LookupAccountSid(kOwner, owner)) {
        SetLastError(error);
        return FALSE;
    }
    CWalkEntry entry;
    root.Open(entry, WantedAccess(root.IsFolder()), kOwnerOnly);
    if (!entry.handle.valid()) {
        TARNLOG(TARNLOG_ERROR, kOwnerFailed, entry.error, root.Text().c_str());
        SetLastError(entry.error);
        return FALSE;
    }
    return SecurityWalk(root, acl, owner.get(), record).Entry(entry);
}

BOOL ApplySecurityTree(const char* path, PACL acl) {
    CWalkRoot root;
    const CWalkRoot::State state = root.Resolve(path);
    if (state != CWalkRoot::kOpen && state != CWalkRoot::kLink) {
        SetLastError(root.GetError() ? root.GetError() : ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return ApplySecurityTree(root, acl, nullptr);
}

size_t RestoreSecurityTree(const CWalkRoot& root, const CSecurityRecord& record, size_t* failed) {
    size_t restored = 0;
    CWalkEntry entry;
    if (record.Size() && root.GetState() == CWalkRoot::kOpen && root.Open(entry, WantedAccess(root.IsFolder()), 0) == 0)
        RestoreEntry(root, entry, record, restored);
    if (failed) *failed = record.Size() - restored;
    return restored;
}

void AddTrailingBackslash(char* path) { AddBackslash(path, MAX_PATH); }
