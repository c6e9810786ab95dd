#include "TarnLog/TarnLogExcptionCallStack.h"

#include <mbctype.h>
#include <mbstring.h>
#include <shlwapi.h>
#include <tlhelp32.h>

#include "TarnLog/TarnLog.h"
#include "TarnLog/TarnLogWriter.h"
#include "Util/KDXGlobal.h"
#include "Util/SystemDll.h"

namespace {

const char kDumpMarkerName[] = "KDMDMP.INI";
const DWORD kSymbolBufferSize = 10000;
const char kReportRule[] = "========================================";
const char kDumpRule[] = "=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-";

// Written once at start-up, before other threads exist; read by the filter.
CrashReportCallback g_callback = NULL;
char g_dumpPath[MAX_PATH + 1] = {0};

// Formats one report line and hands it over cut to 255 bytes, whole
// characters only; the names in it are never cut on their own.
void Report(BOOL lastLine, const char* format, ...) {
    char line[1024] = {0};  // room for the whole line before it is cut
    va_list args;
    va_start(args, format);
    wvnsprintfA(line, sizeof(line), format, args);
    va_end(args);
    tarnlog::CutText(line, 255);
    g_callback(line, lastLine);
}

// Copies a name cut to what fits, whole characters only.
void CopyName(char* target, size_t size, const char* name) {
    target[0] = '\0';
    if (name) _mbsnbcpy(reinterpret_cast<unsigned char*>(target), reinterpret_cast<const unsigned char*>(name), size - 1);
    target[size - 1] = '\0';
    // _mbsnbcpy may leave half a double-byte character at the end.
    size_t length = lstrlenA(target);
    if (length && _mbsbtype(reinterpret_cast<const unsigned char*>(target), length - 1) == _MBC_LEAD)
        target[length - 1] = '\0';
}

class CSnapshot {
public:
    explicit CSnapshot(HANDLE handle) : m_handle(handle) {}
    ~CSnapshot() {
        if (m_handle != INVALID_HANDLE_VALUE) CloseHandle(m_handle);
    }
    CSnapshot(const CSnapshot&) = delete;
    CSnapshot& operator=(const CSnapshot&) = delete;
    HANDLE get() const { return m_handle; }

private:
    HANDLE m_handle;
};

class CVirtualBlock {
public:
    explicit CVirtualBlock(SIZE_T size) : m_block(VirtualAlloc(NULL, size, MEM_COMMIT, PAGE_READWRITE)) {}
    ~CVirtualBlock() {
        if (m_block) VirtualFree(m_block, 0, MEM_RELEASE);
    }
    CVirtualBlock(const CVirtualBlock&) = delete;
    CVirtualBlock& operator=(const CVirtualBlock&) = delete;
    void* get() const { return m_block; }

private:
    void* m_block;
};

// The stack-walk and symbol calls, taken at run time from the system's
// dbghelp.dll. Importing IMAGEHLP at link time would make the loader pull in
// dbghelp.dll at start-up by the ordinary search, which takes a planted
// "Dbghelp.DLL" from beside the program first.
class CSymbolApi {
public:
    typedef BOOL(WINAPI* SymInitializeProc)(HANDLE, PCSTR, BOOL);
    typedef BOOL(WINAPI* SymCleanupProc)(HANDLE);
    typedef BOOL(WINAPI* SymGetModuleInfoProc)(HANDLE, DWORD, PIMAGEHLP_MODULE);
    typedef BOOL(WINAPI* SymGetSymFromAddrProc)(HANDLE, DWORD, PDWORD, PIMAGEHLP_SYMBOL);
    typedef BOOL(WINAPI* StackWalkProc)(DWORD, HANDLE, HANDLE, LPSTACKFRAME, PVOID, PREAD_PROCESS_MEMORY_ROUTINE,
                                        PFUNCTION_TABLE_ACCESS_ROUTINE, PGET_MODULE_BASE_ROUTINE,
                                        PTRANSLATE_ADDRESS_ROUTINE);

    CSymbolApi() : m_library(LoadSystemDll("dbghelp.dll")), m_process(GetCurrentProcess()), m_initialized(FALSE) {
        HMODULE module = m_library.get();
        if (!module) return;
        Initialize = reinterpret_cast<SymInitializeProc>(GetProcAddress(module, "SymInitialize"));
        Cleanup = reinterpret_cast<SymCleanupProc>(GetProcAddress(module, "SymCleanup"));
        GetModuleInfo = reinterpret_cast<SymGetModuleInfoProc>(GetProcAddress(module, "SymGetModuleInfo"));
        GetSymFromAddr = reinterpret_cast<SymGetSymFromAddrProc>(GetProcAddress(module, "SymGetSymFromAddr"));
        Walk = reinterpret_cast<StackWalkProc>(GetProcAddress(module, "StackWalk"));
        FunctionTableAccess =
            reinterpret_cast<PFUNCTION_TABLE_ACCESS_ROUTINE>(GetProcAddress(module, "SymFunctionTableAccess"));
        GetModuleBase = reinterpret_cast<PGET_MODULE_BASE_ROUTINE>(GetProcAddress(module, "SymGetModuleBase"));
        if (Ready()) m_initialized = Initialize(m_process, NULL, TRUE);
    }
    ~CSymbolApi() {
        if (m_initialized) Cleanup(m_process);
    }
    CSymbolApi(const CSymbolApi&) = delete;
    CSymbolApi& operator=(const CSymbolApi&) = delete;

    bool Ready() const {
        return Initialize && Cleanup && GetModuleInfo && GetSymFromAddr && Walk && FunctionTableAccess && GetModuleBase;
    }

    SymInitializeProc Initialize = NULL;
    SymCleanupProc Cleanup = NULL;
    SymGetModuleInfoProc GetModuleInfo = NULL;
    SymGetSymFromAddrProc GetSymFromAddr = NULL;
    StackWalkProc Walk = NULL;
    PFUNCTION_TABLE_ACCESS_ROUTINE FunctionTableAccess = NULL;
    PGET_MODULE_BASE_ROUTINE GetModuleBase = NULL;

private:
    CLibrary m_library;
    HANDLE m_process;
    BOOL m_initialized;
};

void ReportModules() {
    CSnapshot snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, GetCurrentProcessId()));
    if (snapshot.get() == INVALID_HANDLE_VALUE) return;
    MODULEENTRY32 entry;
    entry.dwSize = sizeof(entry);
    if (!Module32First(snapshot.get(), &entry)) return;
    Report(FALSE, "ロードモジュール");
    do {
        DWORD base = reinterpret_cast<DWORD>(entry.modBaseAddr);
        Report(FALSE, "  [0x%08X～0x%08X] %s", base, base + entry.modBaseSize, entry.szModule);
        entry.dwSize = sizeof(entry);
    } while (Module32Next(snapshot.get(), &entry));
}

void ReportStack(const CONTEXT& crashContext, DWORD exceptionAddress) {
    CVirtualBlock buffer(kSymbolBufferSize);
    if (!buffer.get()) return;
    ZeroMemory(buffer.get(), kSymbolBufferSize);
    IMAGEHLP_SYMBOL* symbol = static_cast<IMAGEHLP_SYMBOL*>(buffer.get());
    symbol->SizeOfStruct = kSymbolBufferSize;
    symbol->MaxNameLength = kSymbolBufferSize - sizeof(IMAGEHLP_SYMBOL);

    CONTEXT context = crashContext;  // StackWalk changes what it is given
    STACKFRAME frame;
    ZeroMemory(&frame, sizeof(frame));
    frame.AddrPC.Offset = context.Eip;
    frame.AddrPC.Mode = AddrModeFlat;
    frame.AddrFrame.Offset = context.Ebp;
    frame.AddrFrame.Mode = AddrModeFlat;
    frame.AddrStack.Offset = context.Esp;
    frame.AddrStack.Mode = AddrModeFlat;

    HANDLE process = GetCurrentProcess();
    CSymbolApi sym;
    IMAGEHLP_MODULE module;
    ZeroMemory(&module, sizeof(module));
    module.SizeOfStruct = sizeof(module);
    if (sym.Ready() && sym.GetModuleInfo(process, exceptionAddress, &module)) {
        Report(FALSE, "例外発生モジュール %s(0x%08X) + 0x%08X", module.ModuleName, module.BaseOfImage,
               exceptionAddress - module.BaseOfImage);
    }

    Report(FALSE, "コールスタック");
    while (sym.Ready() && sym.Walk(IMAGE_FILE_MACHINE_I386, process, GetCurrentThread(), &frame, &context, NULL,
                                   sym.FunctionTableAccess, sym.GetModuleBase, NULL)) {
        if (frame.AddrFrame.Offset == 0) break;
        ZeroMemory(&module, sizeof(module));
        module.SizeOfStruct = sizeof(module);
        sym.GetModuleInfo(process, frame.AddrPC.Offset, &module);
        DWORD displacement = 0;
        if (sym.GetSymFromAddr(process, frame.AddrPC.Offset, &displacement, symbol)) {
            Report(FALSE, "  0x%08X[%s:0x%08X] %s() + 0x%X", frame.AddrPC.Offset, module.ModuleName,
                   module.BaseOfImage, symbol->Name, displacement);
        } else {
            Report(FALSE, "  0x%08X[%s:0x%08X] ---", frame.AddrPC.Offset, module.ModuleName, module.BaseOfImage);
        }
    }
    Report(TRUE, kReportRule);
}

}  // namespace

void InstallCrashHandler(CrashReportCallback callback, const char* dumpPath, BOOL install) {
    g_callback = callback;
    g_dumpPath[0] = '\0';
    // A path cut short would name another file: one that does not fit means
    // no dump.
    if (dumpPath && lstrlenA(dumpPath) <= MAX_PATH) CopyName(g_dumpPath, MAX_PATH + 1, dumpPath);
    if (install) SetUnhandledExceptionFilter(CrashExceptionFilter);
}

LONG WINAPI CrashExceptionFilter(EXCEPTION_POINTERS* exception) {
    if (g_callback && exception && exception->ExceptionRecord && exception->ContextRecord) {
        const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
        DWORD address = reinterpret_cast<DWORD>(record.ExceptionAddress);
        Report(FALSE, kReportRule);
        Report(FALSE, "例外発生 ThreadID=%ld", GetCurrentThreadId());
        Report(FALSE, "例外コード 0x%08X, 例外発生アドレス 0x%08X", record.ExceptionCode, address);
        ReportModules();
        ReportStack(*exception->ContextRecord, address);
    }
    if (!g_dumpPath[0] || !IsDumpEnabled()) return EXCEPTION_CONTINUE_SEARCH;
    DWORD result = WriteMiniDump(g_dumpPath, exception, MiniDumpWithFullMemory);
    if (g_callback) {
        Report(FALSE, kDumpRule);
        Report(FALSE, "ダンプファイル作成 = %ld", result);
        Report(TRUE, kDumpRule);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

void OnCrashReportLine(const char* line, BOOL lastLine) {
    TARNLOG(TARNLOG_ERROR, "%s", line);
    if (lastLine) CTarnLogWrapper(__FILE__, __LINE__).FlushAll();
}

DWORD WriteMiniDump(const char* path, EXCEPTION_POINTERS* exception, MINIDUMP_TYPE type) {
    typedef BOOL(WINAPI * MiniDumpWriteDumpProc)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE,
                                                 PMINIDUMP_EXCEPTION_INFORMATION,
                                                 PMINIDUMP_USER_STREAM_INFORMATION,
                                                 PMINIDUMP_CALLBACK_INFORMATION);
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return GetLastError();

    MINIDUMP_EXCEPTION_INFORMATION info;
    info.ThreadId = GetCurrentThreadId();
    info.ExceptionPointers = exception;
    info.ClientPointers = FALSE;

    BOOL written = FALSE;
    DWORD error = 0;
    {
        // Only the system's copy: an elevated program must not run a
        // Dbghelp.DLL planted beside it.
        CLibrary library(LoadSystemDll("Dbghelp.DLL"));
        MiniDumpWriteDumpProc write =
            library.get() ? reinterpret_cast<MiniDumpWriteDumpProc>(GetProcAddress(library.get(), "MiniDumpWriteDump"))
                          : NULL;
        if (write) {
            written = write(GetCurrentProcess(), GetCurrentProcessId(), file, type, exception ? &info : NULL,
                            NULL, NULL);
        }
        error = GetLastError();
    }
    DWORD result = 0;
    if (!written) result = error ? error : ERROR_GEN_FAILURE;
    CloseHandle(file);
    if (!written) DeleteFileA(path);
    return result;
}

BOOL IsDumpEnabled() {
    char folder[1024] = {0};
    GetProductLogDir(folder, sizeof(folder));
    char marker[MAX_PATH] = {0};
    if (!folder[0] || !PathCombineA(marker, folder, kDumpMarkerName)) return FALSE;  // never the current folder
    return PathFileExistsA(marker);
}
