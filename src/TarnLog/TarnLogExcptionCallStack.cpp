#include "TarnLog/TarnLogExcptionCallStack.h"

#include <shlwapi.h>
#include <tlhelp32.h>

#include "INC/MbText.h"
#include "INC/Owner.h"
#include "INC/SystemDll.h"
#include "TarnLog/TarnLog.h"

namespace {

const char kDumpMarkerName[] = "KDMDMP.INI";
const char kDumpName[] = "VELMOR.DMP";
const DWORD kSymbolBufferSize = 10000;
const char kReportRule[] = "========================================";
const char kDumpRule[] = "=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-";

// Written once at start-up, before other threads exist; read by the filter.
CrashReportCallback g_callback = nullptr;
char g_dumpPath[MAX_PATH + 1] = {0};
char g_markerPath[MAX_PATH + 1] = {0};

// Formats one report line and hands it over cut to 255 bytes, whole
// characters only; the names in it are never cut on their own.
void Report(BOOL lastLine, const char* format, ...) {
    char line[1024] = {0};  // room for the whole line before it is cut
    va_list args;
    va_start(args, format);
    wvnsprintfA(line, sizeof(line), format, args);
    va_end(args);
    CutText(line, 255);
    g_callback(line, lastLine);
}

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

    CSymbolApi() : m_library("dbghelp.dll"), m_process(GetCurrentProcess()), m_initialized(FALSE) {
        Initialize = m_library.Get<SymInitializeProc>("SymInitialize");
        Cleanup = m_library.Get<SymCleanupProc>("SymCleanup");
        GetModuleInfo = m_library.Get<SymGetModuleInfoProc>("SymGetModuleInfo");
        GetSymFromAddr = m_library.Get<SymGetSymFromAddrProc>("SymGetSymFromAddr");
        Walk = m_library.Get<StackWalkProc>("StackWalk");
        FunctionTableAccess = m_library.Get<PFUNCTION_TABLE_ACCESS_ROUTINE>("SymFunctionTableAccess");
        GetModuleBase = m_library.Get<PGET_MODULE_BASE_ROUTINE>("SymGetModuleBase");
        if (Ready()) m_initialized = Initialize(m_process, nullptr, TRUE);
    }
    ~CSymbolApi() {
        if (m_initialized) Cleanup(m_process);
    }
    CSymbolApi(const CSymbolApi&) = delete;
    CSymbolApi& operator=(const CSymbolApi&) = delete;

    bool Ready() const {
        return Initialize && Cleanup && GetModuleInfo && GetSymFromAddr && Walk && FunctionTableAccess && GetModuleBase;
    }

    SymInitializeProc Initialize = nullptr;
    SymCleanupProc Cleanup = nullptr;
    SymGetModuleInfoProc GetModuleInfo = nullptr;
    SymGetSymFromAddrProc GetSymFromAddr = nullptr;
    StackWalkProc Walk = nullptr;
    PFUNCTION_TABLE_ACCESS_ROUTINE FunctionTableAccess = nullptr;
    PGET_MODULE_BASE_ROUTINE GetModuleBase = nullptr;

private:
    CRuntimeDll m_library;
    HANDLE m_process;
    BOOL m_initialized;
};

void ReportModules() {
    CFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, GetCurrentProcessId()));
    if (!snapshot.valid()) return;
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
    while (sym.Ready() && sym.Walk(IMAGE_FILE_MACHINE_I386, process, GetCurrentThread(), &frame, &context, nullptr,
                                   sym.FunctionTableAccess, sym.GetModuleBase, nullptr)) {
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

void InstallCrashHandler(CrashReportCallback callback, const char* dumpFolder, BOOL install) {
    g_callback = callback;
    g_dumpPath[0] = g_markerPath[0] = '\0';
    // PathCombineA fails for a folder that leaves no room, and an empty folder
    // would put the dump in the current folder of an elevated process: no dump.
    if (dumpFolder && *dumpFolder && PathCombineA(g_dumpPath, dumpFolder, kDumpName) &&
        !PathCombineA(g_markerPath, dumpFolder, kDumpMarkerName))
        g_dumpPath[0] = '\0';
    if (install) SetUnhandledExceptionFilter(CrashExceptionFilter);
}

// The report itself; the filter below keeps its exceptions from the system.
static LONG ReportCrash(EXCEPTION_POINTERS* exception) {
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

LONG WINAPI CrashExceptionFilter(EXCEPTION_POINTERS* exception) {
    try {
        return ReportCrash(exception);
    } catch (...) {
        return EXCEPTION_CONTINUE_SEARCH;  // the report is lost, the system's handling goes on
    }
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
    CFileHandle file(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return GetLastError();

    MINIDUMP_EXCEPTION_INFORMATION info;
    info.ThreadId = GetCurrentThreadId();
    info.ExceptionPointers = exception;
    info.ClientPointers = FALSE;

    BOOL written = FALSE;
    DWORD error = 0;
    {
        // Only the system's copy: an elevated program must not run a
        // Dbghelp.DLL planted beside it.
        CRuntimeDll library("Dbghelp.DLL");
        MiniDumpWriteDumpProc write = library.Get<MiniDumpWriteDumpProc>("MiniDumpWriteDump");
        if (write) {
            written = write(GetCurrentProcess(), GetCurrentProcessId(), file.get(), type, exception ? &info : nullptr,
                            nullptr, nullptr);
        }
        error = GetLastError();
    }
    DWORD result = 0;
    if (!written) result = error ? error : ERROR_GEN_FAILURE;
    file.reset();  // closed before a failed dump is deleted
    if (!written) DeleteFileA(path);
    return result;
}

BOOL IsDumpEnabled() { return g_markerPath[0] && PathFileExistsA(g_markerPath); }
