#include "Util/KDXGlobal.h"

#include <mbstring.h>
#include <string.h>

#include "TarnLog/TarnLog.h"

// TODO(SetupLog): stand-in until the product environment lands. Logs to
// Log\<program file name>.log beside the program, 4096 KB.
void SetupLog(HMODULE module) {
    char path[MAX_PATH] = {0};
    if (!GetModuleFileNameA(module, path, MAX_PATH - 1)) return;
    unsigned char* slash = _mbsrchr(reinterpret_cast<unsigned char*>(path), '\\');
    if (!slash) return;
    char name[MAX_PATH] = {0};
    lstrcpynA(name, reinterpret_cast<char*>(slash + 1), MAX_PATH);
    slash[1] = '\0';
    char logPath[MAX_PATH * 2] = {0};
    wsprintfA(logPath, "%sLog", path);
    CreateDirectoryA(logPath, NULL);  // a failure only means the writer drops its lines
    lstrcatA(logPath, "\\");
    lstrcatA(logPath, name);
    lstrcatA(logPath, ".log");
    CTarnLogWrapper(__FILE__, __LINE__).Initialize(logPath, 4096, NULL, -1, 0);
}

// TODO(SetupCrashHandler): stand-in until the crash handler lands.
void SetupCrashHandler(BOOL, BOOL) {}
