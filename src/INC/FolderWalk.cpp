#include "INC/FolderWalk.h"

#include <winternl.h>

#include <vector>

#include "INC/PathUtil.h"
#include "INC/FinalPath.h"
#include "INC/SystemDll.h"
#include "INC/WideText.h"

namespace {

const NTSTATUS kAccessDenied = static_cast<NTSTATUS>(0xC0000022);
const NTSTATUS kSharingViolation = static_cast<NTSTATUS>(0xC0000043);
const NTSTATUS kNameNotFound = static_cast<NTSTATUS>(0xC0000034);
const NTSTATUS kPathNotFound = static_cast<NTSTATUS>(0xC000003A);
const NTSTATUS kDeletePending = static_cast<NTSTATUS>(0xC0000056);
const NTSTATUS kNotADirectory = static_cast<NTSTATUS>(0xC0000103);
const NTSTATUS kIsADirectory = static_cast<NTSTATUS>(0xC00000BA);

// Only the native open takes a folder's handle as the start of a name; ntdll
// is in every process, so nothing is loaded.
struct NtCalls {
    typedef NTSTATUS(NTAPI* CreateFileFn)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, PLARGE_INTEGER,
                                           ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
    typedef ULONG(NTAPI* StatusToErrorFn)(NTSTATUS);
    CreateFileFn createFile = nullptr;
    StatusToErrorFn statusToError = nullptr;
    NtCalls() {
        CRuntimeDll ntdll;
        if (!ntdll.UseLoaded("ntdll.dll")) return;
        createFile = ntdll.Get<CreateFileFn>("NtCreateFile");
        statusToError = ntdll.Get<StatusToErrorFn>("RtlNtStatusToDosError");
    }
    static const NtCalls& Get() {
        static const NtCalls calls;
        return calls;
    }
};

DWORD ErrorOf(NTSTATUS status) {
    const NtCalls& nt = NtCalls::Get();
    return nt.statusToError ? nt.statusToError(status) : ERROR_GEN_FAILURE;
}

// Opens name relative to folder (an empty name: folder itself again) without
// following a reparse point at its end. kind: FILE_DIRECTORY_FILE,
// FILE_NON_DIRECTORY_FILE or 0.
NTSTATUS OpenRelative(HANDLE folder, const std::wstring& name, ACCESS_MASK access, ULONG kind, CHandle& out) {
    const NtCalls& nt = NtCalls::Get();
    if (!nt.createFile) return static_cast<NTSTATUS>(0xC0000002);  // STATUS_NOT_IMPLEMENTED
    UNICODE_STRING text;
    text.Buffer = const_cast<wchar_t*>(name.c_str());
    text.Length = text.MaximumLength = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, folder, nullptr);
    IO_STATUS_BLOCK io;
    HANDLE handle = nullptr;
    const NTSTATUS status = nt.createFile(
        &handle, access | SYNCHRONIZE, &attributes, &io, nullptr, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        FILE_OPEN, kind | FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
    if (status == 0) out.reset(handle);
    return status;
}

bool IsRefusal(NTSTATUS status) { return status == kAccessDenied || status == kSharingViolation; }

// Opens with access, else (refused, and a fallback given) with fallback,
// keeping the refusal in *refused.
NTSTATUS OpenWithFallback(HANDLE folder, const std::wstring& name, ACCESS_MASK access, ACCESS_MASK fallback, ULONG kind,
                          CHandle& out, DWORD* refused) {
    NTSTATUS status = OpenRelative(folder, name, access, kind, out);
    if (IsRefusal(status) && fallback) {
        *refused = ErrorOf(status);
        status = OpenRelative(folder, name, fallback, kind, out);
    }
    return status;
}

DWORD AttributesOf(HANDLE handle, DWORD* attributes) {
    FILE_ATTRIBUTE_TAG_INFO info;
    if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &info, sizeof(info))) return GetLastError();
    *attributes = info.FileAttributes;
    return 0;
}

ULONG KindOption(WalkKind kind) {
    return kind == WalkKind::Folder ? FILE_DIRECTORY_FILE : kind == WalkKind::File ? FILE_NON_DIRECTORY_FILE : 0;
}

const ULONG kGone = 0xFFFFFFFF;

// Opens one listed child; kGone when it has gone since.
DWORD OpenChild(const CWalkRoot& root, const CWalkEntry& folder, const std::wstring& name, DWORD listed,
                const WalkOptions& options, CWalkEntry& child) {
    bool isFolder = (listed & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool listedLink = (listed & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    child.path = folder.path + L"\\" + name;
    child.kind = listedLink ? WalkKind::Link : isFolder ? WalkKind::Folder : WalkKind::File;
    NTSTATUS status = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
        // Opened as the kind it was listed as; one that has changed kind since is opened as what it now is.
        child.error = 0;
        status = OpenWithFallback(folder.handle.get(), name, isFolder ? options.folder : options.file,
                                  isFolder ? options.folderFallback : options.fileFallback,
                                  isFolder ? FILE_DIRECTORY_FILE : FILE_NON_DIRECTORY_FILE, child.handle, &child.error);
        if (status != kNotADirectory && status != kIsADirectory) break;
        isFolder = !isFolder;
    }
    if (status == kNameNotFound || status == kPathNotFound || status == kDeletePending) return kGone;
    if (status != 0) {
        child.error = ErrorOf(status);
        return 0;
    }
    std::wstring native;
    if (DWORD error = NativePathOf(child.handle.get(), native)) {
        child.handle.reset();
        child.error = error;
        return 0;
    }
    if (!root.Holds(native)) {
        // A link the platform followed on open, or a folder moved out of the
        // tree meanwhile: nothing may be done through this handle.
        child.handle.reset();
        child.kind = WalkKind::Link;
        child.error = ERROR_CANT_RESOLVE_FILENAME;
        return 0;
    }
    child.path = root.FinalOf(native);
    if (!isFolder) {
        child.kind = listedLink ? WalkKind::Link : WalkKind::File;
        return 0;
    }
    DWORD attributes = 0;
    if (DWORD error = AttributesOf(child.handle.get(), &attributes)) {
        child.error = error;
        return 0;
    }
    child.kind = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? WalkKind::Link : WalkKind::Folder;
    return 0;
}

bool IsDots(const wchar_t* name, size_t length) {
    return (length == 1 && name[0] == L'.') || (length == 2 && name[0] == L'.' && name[1] == L'.');
}

}  // namespace

std::string CWalkEntry::Text() const {
    std::string text;
    Narrow(WithoutDevicePrefix(path).c_str(), text);
    return text;
}

CWalkRoot::State CWalkRoot::Set(State state, DWORD error) {
    m_state = state;
    m_error = error;
    return state;
}

CWalkRoot::State CWalkRoot::Resolve(const char* path) {
    m_text = path ? path : "";
    m_handle.reset();
    m_final.clear();
    m_native.clear();
    m_folder = m_holdsLink = false;
    if (!path) return Set(kProtected, ERROR_INVALID_PARAMETER);
    if (path[0] == '\\' && path[1] == '\\' && (path[2] == '?' || path[2] == '.')) return Set(kDevicePath, 0);
    // Relative and drive-relative paths depend on the current folder.
    const bool drive = IsDriveLetter(path[0]) && path[1] == ':' && path[2] == '\\';
    const bool unc = path[0] == '\\' && path[1] == '\\' && path[2];
    if (!drive && !unc) return Set(kProtected, 0);
    std::wstring wide;
    if (!Widen(path, wide)) return Set(kFailed, ERROR_NO_UNICODE_TRANSLATION);
    // Judged by text first, so that a folder not there yet is judged the same.
    const std::wstring full = FullLongForm(wide);
    if (full.empty()) return Set(kFailed, ERROR_INVALID_NAME);
    if (IsProtectedPath(full)) return Set(kProtected, 0);

    // The handle is what the walks stand on: whatever the name comes to mean
    // later, they act on the folder opened here.
    const std::wstring device = full.compare(0, 2, L"\\\\") == 0 ? L"\\\\?\\UNC" + full.substr(1) : L"\\\\?\\" + full;
    m_handle.reset(CreateFileW(device.c_str(), FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!m_handle.valid()) {
        const DWORD error = GetLastError();
        return Set(error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? kMissing : kFailed, error);
    }
    DWORD attributes = 0;
    DWORD error = FinalPathOf(m_handle.get(), m_final);
    if (!error) error = NativePathOf(m_handle.get(), m_native);
    if (!error) error = AttributesOf(m_handle.get(), &attributes);
    if (error) {
        m_handle.reset();
        return Set(kFailed, error);
    }
    if (IsProtectedPath(WithoutDevicePrefix(m_final))) {
        m_handle.reset();
        return Set(kProtected, 0);
    }
    m_folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    m_holdsLink = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    // A platform that follows a link on open shows it only by name.
    const DWORD named = GetFileAttributesW(device.c_str());
    if (m_holdsLink || (named != INVALID_FILE_ATTRIBUTES && (named & FILE_ATTRIBUTE_REPARSE_POINT))) return Set(kLink, 0);
    return Set(kOpen, 0);
}

DWORD CWalkRoot::Open(CWalkEntry& entry, ACCESS_MASK access, ACCESS_MASK fallback) const {
    entry.path = m_final;
    entry.kind = m_state == kLink ? WalkKind::Link : m_folder ? WalkKind::Folder : WalkKind::File;
    entry.error = 0;
    if (!m_handle.valid() || (m_state == kLink && !m_holdsLink)) return entry.error = ERROR_INVALID_HANDLE;
    const NTSTATUS status = OpenWithFallback(m_handle.get(), L"", access, fallback, KindOption(entry.kind), entry.handle,
                                             &entry.error);
    if (status != 0) entry.error = ErrorOf(status);
    return entry.error;
}

bool CWalkRoot::Holds(const std::wstring& nativePath) const {
    return nativePath.size() > m_native.size() && IsWithinPath(nativePath, m_native);
}

DWORD ForEachChild(const CWalkRoot& root, const CWalkEntry& folder, const WalkOptions& options,
                   const std::function<DWORD(CWalkEntry&)>& visit) {
    std::vector<LONGLONG> buffer(2048);  // 16 KB, aligned for the records' 64-bit fields
    CWalkCalls& calls = CWalkCalls::Current();
    for (bool restart = true;; restart = false) {
        if (!calls.List(folder.handle.get(), restart, buffer.data(), buffer.size() * sizeof(LONGLONG))) {
            const DWORD error = GetLastError();
            // An empty folder of a volume without "." and ".." has nothing to list at all.
            return error == ERROR_NO_MORE_FILES || (restart && error == ERROR_FILE_NOT_FOUND) ? 0 : error;
        }
        const BYTE* at = reinterpret_cast<const BYTE*>(buffer.data());
        for (;;) {
            const FILE_ID_BOTH_DIR_INFO* record = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
            const size_t length = record->FileNameLength / sizeof(wchar_t);
            const DWORD listed = record->FileAttributes;
            const bool dotFolder = (listed & FILE_ATTRIBUTE_DIRECTORY) && !(listed & FILE_ATTRIBUTE_REPARSE_POINT) &&
                                   length && record->FileName[0] == L'.';
            if (!IsDots(record->FileName, length) && !(options.skipDotFolders && dotFolder)) {
                const std::wstring name(record->FileName, length);
                calls.Listed(folder.path, name);
                CWalkEntry child;
                if (OpenChild(root, folder, name, listed, options, child) != kGone) {
                    if (DWORD stop = visit(child)) return stop;
                }
            }
            if (!record->NextEntryOffset) break;
            at += record->NextEntryOffset;
        }
    }
}

DWORD Reopen(CWalkEntry& entry, ACCESS_MASK access) {
    CHandle reopened;
    const NTSTATUS status = OpenRelative(entry.handle.get(), L"", access, KindOption(entry.kind), reopened);
    if (status != 0) return ErrorOf(status);
    entry.handle = std::move(reopened);
    return 0;
}

DWORD DeleteEntry(CWalkEntry& entry) {
    FILE_DISPOSITION_INFO disposition = {TRUE};
    if (SetFileInformationByHandle(entry.handle.get(), FileDispositionInfo, &disposition, sizeof(disposition))) return 0;
    const DWORD error = GetLastError();
    FILE_BASIC_INFO basic;
    if (error != ERROR_ACCESS_DENIED ||
        !GetFileInformationByHandleEx(entry.handle.get(), FileBasicInfo, &basic, sizeof(basic)) ||
        !(basic.FileAttributes & FILE_ATTRIBUTE_READONLY))
        return error;
    // Zero times are left as they are.
    basic.CreationTime.QuadPart = basic.LastAccessTime.QuadPart = 0;
    basic.LastWriteTime.QuadPart = basic.ChangeTime.QuadPart = 0;
    basic.FileAttributes &= ~FILE_ATTRIBUTE_READONLY;
    if (!basic.FileAttributes) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    if (!SetFileInformationByHandle(entry.handle.get(), FileBasicInfo, &basic, sizeof(basic)) ||
        !SetFileInformationByHandle(entry.handle.get(), FileDispositionInfo, &disposition, sizeof(disposition)))
        return GetLastError();
    return 0;
}

DWORD ScheduleEntry(const CWalkEntry& entry) {
    if (!entry.handle.valid()) return ERROR_INVALID_HANDLE;
    return MoveFileExW(entry.path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) ? 0 : GetLastError();
}

BOOL CWalkCalls::List(HANDLE folder, bool restart, void* buffer, DWORD size) {
    return GetFileInformationByHandleEx(folder, restart ? FileIdBothDirectoryRestartInfo : FileIdBothDirectoryInfo,
                                        buffer, size);
}
