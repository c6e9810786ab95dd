// The recording stand-in for the walk's owner and list calls, and access
// lists spelled out as text ("S-1-1-0:1F01FF:3" per entry) for comparison.
//
// Wine accepts owner and list changes but stores neither, so what the walk
// changes is seen here, through the seam, instead of read back from files.
#pragma once
#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Ins/InsCmn/CtrlPrivilege.h"
#include "Ins/InsCmn/Sequre.h"

namespace sectest {

inline std::string SidText(PSID sid) {
    char* text = nullptr;
    std::string result;
    if (ConvertSidToStringSidA(sid, &text)) {
        result = text;
        LocalFree(text);
    }
    return result;
}

// "SID:MASK:FLAGS" per allowed entry, "DENY SID:..." for denials, in order.
inline std::vector<std::string> AclText(PACL acl) {
    std::vector<std::string> out;
    if (!acl) return out;
    for (DWORD i = 0; i < acl->AceCount; ++i) {
        ACE_HEADER* header = nullptr;
        if (!GetAce(acl, i, reinterpret_cast<void**>(&header))) break;
        auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);  // same layout for denials
        char buf[64];
        wsprintfA(buf, ":%lX:%u", ace->Mask, header->AceFlags);
        out.push_back((header->AceType == ACCESS_DENIED_ACE_TYPE ? "DENY " : "") +
                      SidText(reinterpret_cast<PSID>(&ace->SidStart)) + buf);
    }
    return out;
}

inline std::vector<std::string> Sorted(std::vector<std::string> entries) {
    std::sort(entries.begin(), entries.end());
    return entries;
}

struct Call {
    std::string kind;  // "owner" or "dacl"
    std::string path;
    std::vector<std::string> acl;
    BOOL privilegeEnabled;
};

// Records every call; ChangeOwner fails with failStatus for paths that end
// with failSuffix. Installed for its lifetime.
class RecordingCalls : public CSecurityCalls {
public:
    RecordingCalls() : old_(CSecurityCalls::Replace(this)) {}
    ~RecordingCalls() override { CSecurityCalls::Replace(old_); }
    RecordingCalls(const RecordingCalls&) = delete;
    RecordingCalls& operator=(const RecordingCalls&) = delete;

    DWORD ChangeOwner(const char* account, const char* path) override {
        calls.push_back({"owner", path, {account}, Privilege()});
        std::string p(path);
        if (!failSuffix.empty() && p.size() >= failSuffix.size() &&
            p.compare(p.size() - failSuffix.size(), failSuffix.size(), failSuffix) == 0)
            return failStatus;
        return ERROR_SUCCESS;
    }
    BOOL ApplyDacl(const char* path, PACL acl) override {
        calls.push_back({"dacl", path, AclText(acl), Privilege()});
        return TRUE;
    }

    // Index of the first call of kind on path, or -1.
    int Find(const std::string& kind, const std::string& path, int from = 0) const {
        for (size_t i = from; i < calls.size(); ++i)
            if (calls[i].kind == kind && calls[i].path == path) return static_cast<int>(i);
        return -1;
    }
    bool Touches(const std::string& fragment) const {
        for (const Call& c : calls)
            if (c.path.find(fragment) != std::string::npos) return true;
        return false;
    }

    std::vector<Call> calls;
    std::string failSuffix;
    DWORD failStatus = ERROR_ACCESS_DENIED;

private:
    static BOOL Privilege() {
        BOOL enabled = FALSE;
        IsTakeOwnershipEnabled(&enabled);
        return enabled;
    }
    CSecurityCalls* old_;
};

}  // namespace sectest
