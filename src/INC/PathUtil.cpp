#include "INC/PathUtil.h"

#include <mbstring.h>
#include <string.h>

#include <climits>

#include "INC/MbText.h"

namespace {

// Drops "." components, lets ".." remove the component before it (never the
// root: drive, "\\server\share" or a leading backslash), collapses empty
// components and gives a bare drive its backslash.
std::string NormalizePath(const std::string& path) {
    std::vector<std::string> parts = SplitPath(path);
    std::string root;
    size_t first = 0;
    if (path.compare(0, 2, "\\\\") == 0) {  // parts: "", "", server, share, ...
        root = "\\\\" + (parts.size() > 2 ? parts[2] : "") + (parts.size() > 3 ? "\\" + parts[3] : "");
        first = parts.size() > 3 ? 4 : parts.size();
    } else if (path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == ':') {
        root = path.substr(0, 2);
        parts[0].erase(0, 2);
        if (parts.size() > 1 && parts[0].empty()) {
            root += "\\";  // "C:\..." is rooted; "C:foo" is not
            first = 1;
        }
    } else if (!path.empty() && path[0] == '\\') {
        root = "\\";
        first = 1;
    }
    const bool trailing = parts.size() > first + 1 && parts.back().empty();
    std::vector<std::string> kept;
    for (size_t i = first; i < parts.size(); ++i) {
        if (parts[i].empty() || parts[i] == ".") continue;
        if (parts[i] == "..") {
            if (!kept.empty()) kept.pop_back();
            continue;
        }
        kept.push_back(parts[i]);
    }
    std::string out = root;
    if (root.size() == 2 && root[1] == ':' && kept.empty()) out += "\\";
    for (size_t i = 0; i < kept.size(); ++i) {
        if (i > 0 || (!out.empty() && !EndsWithBackslash(out.c_str()))) out += "\\";
        out += kept[i];
    }
    if (trailing && !kept.empty()) out += "\\";
    return out;
}

}  // namespace

bool EndsWithBackslash(const char* path) {
    const unsigned char* last = _mbsrchr(Bytes(path), '\\');
    return last && last[1] == '\0';
}

bool AddBackslash(char* path, size_t size) {
    if (*path && EndsWithBackslash(path)) return true;
    return AppendText(path, size, "\\");
}

bool AppendText(char* buffer, size_t size, const char* text) {
    size_t length = strlen(buffer);
    size_t add = strlen(text);
    if (length + add + 1 > size) return false;
    memcpy(buffer + length, text, add + 1);
    return true;
}

const char* FileNamePart(const char* path, bool slashToo) {
    if (!path) return "";
    // One walk, stepping over the second bytes of double-byte characters;
    // '/' only counts when asked for.
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

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

std::vector<std::string> SplitPath(const std::string& path) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const unsigned char* sep = _mbschr(Bytes(path.c_str() + start), '\\');
        if (!sep) break;
        const size_t pos = sep - Bytes(path.c_str());
        parts.push_back(path.substr(start, pos - start));
        start = pos + 1;
    }
    parts.push_back(path.substr(start));
    return parts;
}

BOOL PathAppendInPlace(char* buffer, const char* name, size_t bufferSize) {
    if (!name || IsBadStringPtrA(name, UINT_MAX)) return FALSE;
    if (!buffer || IsBadStringPtrA(buffer, UINT_MAX)) return FALSE;
    const size_t length = strlen(buffer);
    if (IsBadWritePtr(buffer, length + 1)) return FALSE;
    if (!*name) return TRUE;

    if (*name == '\\') ++name;
    std::string joined;
    if (*name == '\\') {
        joined = name - 1;  // "\\server\share": replaces the whole path
    } else {
        joined = buffer;
        if (!EndsWithBackslash(buffer)) joined += "\\";
        joined += name;
    }
    const std::string result = NormalizePath(joined);
    if (result.size() + 1 > bufferSize) return FALSE;
    memcpy(buffer, result.c_str(), result.size() + 1);
    return TRUE;
}

std::string MakePath(const char* directory, const char* name) {
    if (!directory || !name || IsBadStringPtrA(directory, UINT_MAX) || IsBadStringPtrA(name, UINT_MAX)) return "";
    const size_t size = strlen(directory) + strlen(name) + MAX_PATH;
    std::vector<char> buffer(size, '\0');
    memcpy(buffer.data(), directory, strlen(directory));
    if (!PathAppendInPlace(buffer.data(), name, size)) return "";
    return buffer.data();
}

void JoinPath(std::string& out, const char* folder, const char* name) {
    out = folder ? folder : "";
    if (!name) return;
    if (!out.empty() && *name) {
        if (EndsWithBackslash(out.c_str())) {
            if (*name == '\\') ++name;
        } else if (*name != '\\') {
            out += "\\";
        }
    }
    out += name;
}
