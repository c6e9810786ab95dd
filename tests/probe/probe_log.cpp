// probe log <operation args>...: logs what its command line asks, in a process of its own (fresh log paths). Exit
// code 0, else 2 for an unknown operation, 3 when a line changed the last error, 4 when the flush failed.
#include <windows.h>
#include <stdlib.h>
#include <string>
#include <thread>
#include <vector>
#include "TarnLog/TarnLog.h"
#include "TarnLog/TarnLogWriter.h"
#include "Util/KDXGlobal.h"

namespace {

void WriteLines(int thread, int count, const std::string& tag) {
    for (int i = 0; i < count; ++i)
        TARNLOG(TARNLOG_INFO, "%s-%d %d %s", tag.c_str(), thread, i, std::string(80, 'x').c_str());
}

// A message that makes the file exactly target bytes long once its line, logged from sourceLine of this file, is
// appended. The header starts with a time of 23 characters; CR LF ends the line.
std::string FillMessage(int target, int sourceLine) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExA(g_LogPath.GetPath(), GetFileExInfoStandard, &data);
    char header[MAX_PATH];
    const int headerLength = 23 + wsprintfA(header, "\t..\t%s\t%d\t%x:%x\t", FileNamePart(__FILE__, true),
                                            sourceLine, GetCurrentProcessId(), GetCurrentThreadId());
    const int length = target - static_cast<int>(data.nFileSizeLow) - headerLength - 2;
    return std::string(length > 0 ? length : 0, 'f');
}

}  // namespace

int LogMain(int argc, char** argv) {
    tarnlog::SetProductLogFolderProvider(GetProductLogDir);  // as SetupLog does
    for (int i = 1; i < argc;) {
        const std::string op = argv[i++];
        if (op == "init") {  // init PATH KB
            const char* path = argv[i++];
            CTarnLogWrapper(__FILE__, __LINE__).Initialize(path, atoi(argv[i++]), nullptr, -1, 0);
        } else if (op == "line") {  // line KIND TEXT
            const int kind = atoi(argv[i++]);
            TARNLOG(static_cast<TarnLogKind>(kind), "%s", argv[i++]);
        } else if (op == "hdr") {
            TARNLOG(TARNLOG_INFO, "L=%d", __LINE__);
        } else if (op == "threads") {  // threads THREADS LINES TAG, each line "TAG-thread n xxx..."
            std::vector<std::thread> writers;
            for (int t = 0; t < atoi(argv[i]); ++t) writers.emplace_back(WriteLines, t, atoi(argv[i + 1]), argv[i + 2]);
            for (std::thread& writer : writers) writer.join();
            i += 3;
        } else if (op == "fill") {  // fill TARGET_SIZE, logged from the next line
            const std::string message = FillMessage(atoi(argv[i++]), __LINE__ + 1);
            TARNLOG(TARNLOG_INFO, "%s", message.c_str());
        } else if (op == "fatal") {  // fatal COUNT
            for (int n = 1, count = atoi(argv[i++]); n <= count; ++n) {
                TARNLOG(TARNLOG_FATAL, "fatal %d", n);
                if (n < count) Sleep(1100);  // fatal copies are named by the second
            }
        } else if (op == "lasterr") {  // a line changes no last error
            SetLastError(1234);
            TARNLOG(TARNLOG_INFO, "%s", "keeps the error");
            if (GetLastError() != 1234) return 3;
        } else if (op == "flush") {
            if (CTarnLogWrapper(__FILE__, __LINE__).FlushAll() != 1) return 4;
        } else if (op == "wait") {  // wait EVENT, which stays open to the end of the process
            WaitForSingleObject(OpenEventA(SYNCHRONIZE, FALSE, argv[i++]), 30000);
        } else if (op == "hold") {  // hold MUTEX: owns it until killed
            CreateMutexA(nullptr, TRUE, argv[i++]);
            Sleep(INFINITE);
        } else {
            return 2;
        }
    }
    return 0;
}
