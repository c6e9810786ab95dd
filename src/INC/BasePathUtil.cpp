#include "INC/BasePathUtil.h"

#include <io.h>
#include <mbstring.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "INC/MbText.h"
#include "INC/VersionInfo.h"

CBasePathUtil::CBasePathUtil(const char* baseFolder, HMODULE module) {
    m_result[0] = m_baseFolder[0] = m_moduleName[0] = '\0';
    if (baseFolder) {
        CopyText(m_baseFolder, sizeof(m_baseFolder), baseFolder);
        const size_t length = strlen(m_baseFolder);
        const unsigned char* last = _mbsrchr(Bytes(m_baseFolder), '\\');
        const bool endsWithSeparator = last && last == Bytes(m_baseFolder) + length - 1;
        if (!endsWithSeparator && length + 1 < sizeof(m_baseFolder)) strcat(m_baseFolder, "\\");
        return;
    }
    if (!GetModuleFileNameA(module, m_baseFolder, sizeof(m_baseFolder))) {
        QV_TRACE("Error! GetModuleFileName failed: %d", static_cast<int>(GetLastError()));
        m_baseFolder[0] = '\0';
        return;
    }
    if (unsigned char* separator = _mbsrchr(Bytes(m_baseFolder), '\\')) {
        CopyText(m_moduleName, sizeof(m_moduleName), reinterpret_cast<char*>(separator + 1));
        separator[1] = '\0';
    }
}

const char* CBasePathUtil::GetPath(const char* relativePath, BOOL mustExist) {
    if (!relativePath) relativePath = "";
    if (strlen(m_baseFolder) + strlen(relativePath) >= MAX_PATH) {
        QV_TRACE("Error! パス階層オーバー - %s", relativePath);
        return nullptr;
    }
    strcpy(m_result, m_baseFolder);
    strcat(m_result, relativePath);
    if (mustExist && GetFileAttributesA(m_result) == INVALID_FILE_ATTRIBUTES) {
        QV_TRACE("Error! ファイルエラー(%d) - %s", static_cast<int>(GetLastError()), relativePath);
        return nullptr;
    }
    return m_result;
}

// Never destroyed: traces may come from anywhere until the process ends.
CQvTrace& CQvTrace::GetInstance() {
    static CQvTrace* instance = new CQvTrace;
    return *instance;
}

void CQvTrace::SetLocation(const char* file, int line) {
    char number[10];
    _itoa_s(line, number, sizeof(number), 10);
    OutputDebugStringA(file ? file : "");
    OutputDebugStringA("(");
    OutputDebugStringA(number);
    OutputDebugStringA("):\t");
}

void CQvTrace::Trace(const char* format, ...) {
    char message[1024] = {0};
    va_list args;
    va_start(args, format);
    vsnprintf(message, sizeof(message), format, args);
    va_end(args);
    // The message after its location: a trace that said only where would say nothing.
    OutputDebugStringA(message);
    OutputDebugStringA("\n");
}

namespace {

// The second edition names itself in its version resource, or is marked by a
// file beside the program; a program without a version resource is never it.
int DecideProductKind() {
    CFileVersionInfo version;
    if (version.Load(nullptr) != 0) return 1;
    const char* name = version.GetString(CFileVersionInfo::PRODUCT_NAME, 0x411);
    if (!name || !*name) return 1;
    bool second = _mbsicmp(Bytes(name), Bytes("TARLEC IT Manager")) == 0;
    CBasePathUtil path(nullptr, nullptr);
    const char* marker = path.GetPath("DebugTARLEC.key", FALSE);
    if (marker && _access(marker, 0) == 0) second = true;
    return second ? 2 : 1;
}

}  // namespace

int GetProductKind() {
    static const int kind = DecideProductKind();
    return kind;
}

BOOL IsSecondProductKind() { return GetProductKind() == 2; }
