// probe log <operations>: logs what its command line asks for, as a process of its own, so that each
// log test starts with fresh process-wide log paths. Operations run in order:
//   init PATH KB | initnull | line KIND TEXT | hdr | threads T N TAG | fill TARGET_SIZE | fatal N |
//   lasterr | flush | wait EVENT | hold MUTEX (owns it until killed)
// Exit code 0, or the number of the check that failed (3 last error, 4 flush).
#include <windows.h>
#include <process.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <vector>

#include "TarnLog/TarnLog.h"
#include "TarnLog/TarnLogWriter.h"
#include "Util/KDXGlobal.h"

namespace {

struct ThreadJob {
    int thread, count;
    std::string tag;
};

unsigned __stdcall WriteLines(void* arg) {
    const ThreadJob* job = static_cast<const ThreadJob*>(arg);
    for (int i = 0; i < job->count; ++i)
        TARNLOG(TARNLOG_INFO, "%s-%d %d %s", job->tag.c_str(), job->thread, i, std::string(80, 'x').c_str());
    return 0;
}

// A message that makes the file exactly target bytes long once its line,
// written from sourceLine of this file, is appended.
std::string FillMessage(int target, int sourceLine) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExA(g_LogPath.GetPath(), GetFileExInfoStandard, &data);
    char header[1024];
    int headerLength = wsprintfA(header, "%04d/%02d/%02d %02d:%02d:%02d:%03d\t%s\t%s\t%d\t%x:%x\t", 2000, 1, 1, 0, 0,
                                 0, 0, "..", tarnlog::FileNamePart(__FILE__, true), sourceLine,
                                 GetCurrentProcessId(), GetCurrentThreadId());
    int length = target - static_cast<int>(data.nFileSizeLow) - headerLength - 2;
    return std::string(length > 0 ? length : 0, 'f');
}

}  // namespace

int LogMain(int argc, char** argv) {
    tarnlog::SetProductLogFolderProvider(GetProductLogDir);  // as SetupLog does
    for (int i = 1; i < argc;) {
        std::string op = argv[i++];
        if (op == "init") {
            const char* path = argv[i++];
            CTarnLogWrapper(__FILE__, __LINE__).Initialize(path, atoi(argv[i++]), NULL, -1, 0);
        } else if (op == "initnull") {
            CTarnLogWrapper(__FILE__, __LINE__).Initialize(NULL, 4096, NULL, -1, 0);
        } else if (op == "line") {
            int kind = atoi(argv[i++]);
            TARNLOG(kind, "%s", argv[i++]);
        } else if (op == "hdr") {
            TARNLOG(TARNLOG_INFO, "L=%d", __LINE__);
        } else if (op == "threads") {
            std::vector<ThreadJob> jobs(atoi(argv[i]));
            std::vector<HANDLE> handles;
            for (size_t t = 0; t < jobs.size(); ++t) {
                jobs[t] = ThreadJob{static_cast<int>(t), atoi(argv[i + 1]), argv[i + 2]};
                handles.push_back(reinterpret_cast<HANDLE>(_beginthreadex(NULL, 0, WriteLines, &jobs[t], 0, NULL)));
            }
            WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), TRUE, INFINITE);
            for (HANDLE h : handles) CloseHandle(h);
            i += 3;
        } else if (op == "fill") {
            int target = atoi(argv[i++]);
            int line = __LINE__; std::string m = FillMessage(target, line); TARNLOG(TARNLOG_INFO, "%s", m.c_str());
        } else if (op == "fatal") {
            int count = atoi(argv[i++]);
            for (int n = 1; n <= count; ++n) {
                TARNLOG(TARNLOG_FATAL, "fatal %d", n);
                if (n < count) Sleep(1100);  // fatal copies are named by the second
            }
        } else if (op == "lasterr") {
            SetLastError(1234);
            TARNLOG(TARNLOG_INFO, "%s", "keeps the error");
            if (GetLastError() != 1234) return 3;
            SetLastError(ERROR_FILE_NOT_FOUND);
            TARNLOG(12, "%s", "bad kind");
            if (GetLastError() != ERROR_FILE_NOT_FOUND) return 3;
        } else if (op == "flush") {
            if (CTarnLogWrapper(__FILE__, __LINE__).FlushAll() != 1) return 4;
        } else if (op == "wait") {
            HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, argv[i++]);
            if (event) {
                WaitForSingleObject(event, 30000);
                CloseHandle(event);
            }
        } else if (op == "hold") {
            CreateMutexA(NULL, TRUE, argv[i++]);
            Sleep(INFINITE);
        } else {
            fprintf(stderr, "probe log: unknown operation %s\n", op.c_str());
            return 2;
        }
    }
    return 0;
}
