#include "Ins/InsCmn/Sequre.h"

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

const WalkOptions& SecurityOptions() {
    static const WalkOptions options = [] {
        WalkOptions o;
        o.file = kSecurityAccess;
        o.folder = kSecurityAccess | FILE_LIST_DIRECTORY;
        o.fileFallback = o.folderFallback = kOwnerOnly;
        o.skipDotFolders = true;
        return o;
    }();
    return options;
}

ACCESS_MASK WantedAccess(bool folder) { return folder ? SecurityOptions().folder : SecurityOptions().file; }
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
        : m_root(root), m_acl(acl), m_owner(owner), m_record(record) {
        AddAccessEntry(m_open.out(), kFullControl, "everyone");
    }

    // entry: opened with WantedAccess, or with the owner-only fallback.
    BOOL Entry(CWalkEntry& entry) {
        const bool folder = entry.kind == WalkKind::Folder;
        // A folder is open to everyone while its contents are walked.
        if (!Logged(entry, Secure(entry, folder ? m_open.get() : m_acl))) return FALSE;
        if (!folder) return TRUE;
        bool stopped = false;
        const DWORD listed = ForEachChild(m_root, entry, SecurityOptions(), [&](CWalkEntry& child) -> DWORD {
            stopped = !Child(child);
            return stopped ? 1 : 0;
        });
        if (stopped) return FALSE;
        if (listed) {
            TARNLOG(TARNLOG_ERROR, kListFailed, entry.Text().c_str(), listed);
            SetLastError(listed);
            return FALSE;
        }
        return Logged(entry, Secure(entry, m_acl));
    }

private:
    BOOL Child(CWalkEntry& child) {
        if (child.kind == WalkKind::Link) {
            TARNLOG(TARNLOG_INFO, kLinkSkipped, child.Text().c_str());
            return TRUE;
        }
        if (!child.handle.valid()) return Logged(child, child.error);
        if (child.kind == WalkKind::Folder) return Entry(child);
        if (HasOtherNames(child)) {
            TARNLOG(TARNLOG_INFO, "複数の名前を持つファイルなので処理しません。[%s]", child.Text().c_str());
            return TRUE;
        }
        const DWORD status = Secure(child, m_acl);
        if (status == ERROR_SUCCESS || lstrcmpiA(PathFindExtensionA(child.Text().c_str()), ".tmp") != 0)
            return Logged(child, status);
        TARNLOG(TARNLOG_ERROR, "TMPファイルなので処理を続行します。[%s]", child.Text().c_str());
        return TRUE;
    }

    static BOOL Logged(const CWalkEntry& entry, DWORD status) {
        if (status == ERROR_SUCCESS) return TRUE;
        TARNLOG(TARNLOG_ERROR, kOwnerFailed, status, entry.Text().c_str());
        SetLastError(status);
        return FALSE;
    }

    // Records the entry's security before its first change, then makes
    // Administrators its owner and writes acl, in one call where the handle
    // allows. An entry opened for its owner only is opened again for the
    // list once it is ours. The owner change's status: a list that cannot be
    // written does not stop the walk.
    DWORD Secure(CWalkEntry& entry, PACL acl) {
        if (m_record && !entry.error && !m_record->Find(entry.path)) {
            std::vector<BYTE> descriptor;
            if (m_calls.Read(entry, descriptor) == ERROR_SUCCESS) m_record->Add(entry.path, std::move(descriptor));
        }
        const SECURITY_INFORMATION both = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
        if (!entry.error && m_calls.Set(entry, both, m_owner, acl) == ERROR_SUCCESS) return ERROR_SUCCESS;
        const DWORD status = m_calls.Set(entry, OWNER_SECURITY_INFORMATION, m_owner, nullptr);
        if (status != ERROR_SUCCESS || !entry.error) return status;
        if (const DWORD reopened = Reopen(entry, WantedAccess(entry))) return reopened;
        entry.error = 0;
        m_calls.Set(entry, DACL_SECURITY_INFORMATION, nullptr, acl);
        return ERROR_SUCCESS;
    }

    const CWalkRoot& m_root;
    PACL m_acl;
    PSID m_owner;
    CSecurityRecord* m_record;
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

}  // namespace

void CSecurityRecord::Add(const std::wstring& path, std::vector<BYTE> descriptor) {
    m_entries[path] = std::move(descriptor);
}

const std::vector<BYTE>* CSecurityRecord::Find(const std::wstring& path) const {
    auto found = m_entries.find(path);
    return found == m_entries.end() ? nullptr : &found->second;
}

// SetSecurityInfo would also carry a folder's inheritable entries down into
// everything below it, each time: the descriptor is written as given, like
// SetFileSecurity does.
DWORD CSecurityCalls::Set(const CWalkEntry& entry, SECURITY_INFORMATION what, PSID owner, PACL acl) {
    SECURITY_DESCRIPTOR descriptor;
    if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        ((what & OWNER_SECURITY_INFORMATION) && !SetSecurityDescriptorOwner(&descriptor, owner, FALSE)) ||
        ((what & DACL_SECURITY_INFORMATION) && !SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE)) ||
        !SetKernelObjectSecurity(entry.handle.get(), what, &descriptor))
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

BOOL ApplySecurityTree(const CWalkRoot& root, PACL acl, CSecurityRecord* record) {
    if (root.GetState() == CWalkRoot::kLink) {
        TARNLOG(TARNLOG_INFO, kLinkSkipped, root.Text().c_str());
        return TRUE;
    }
    COwner<CHeapTraits> owner;
    if (DWORD error = AccountSid(kOwner, owner)) {
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
