// probe log <operations>: logs what its command line asks for, as a process of its own, so that each
// log test starts with fresh process-wide log paths. Operations run in order:
//   init PATH KB | initnull | line KIND TEXT | hdr | kinds | sjis | big BYTES |
//   bigdbcs | lines N TAG | threads T N TAG | fill TARGET_SIZE | fatal N |
//   lasterr | term | flush | wait EVENT | hold MUTEX (owns it until killed)
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

const std::string kPad(80, 'x');

struct ThreadJob {
    int thread;
    int count;
    std::string tag;
};

unsigned __stdcall WriteLines(void* arg) {
    const ThreadJob* job = static_cast<const ThreadJob*>(arg);
    for (int i = 0; i < job->count; ++i)
        TARNLOG(TARNLOG_INFO, "%s-%d %d %s", job->tag.c_str(), job->thread, i, kPad.c_str());
    return 0;
}

void RunThreads(int threads, int count, const std::string& tag) {
    std::vector<ThreadJob> jobs(threads);
    std::vector<HANDLE> handles;
    for (int t = 0; t < threads; ++t) {
        jobs[t] = ThreadJob{t, count, tag};
        handles.push_back(reinterpret_cast<HANDLE>(_beginthreadex(NULL, 0, WriteLines, &jobs[t], 0, NULL)));
    }
    WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), TRUE, INFINITE);
    for (HANDLE h : handles) CloseHandle(h);
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
            int kb = atoi(argv[i++]);
            CTarnLogWrapper(__FILE__, __LINE__).Initialize(path, kb, NULL, -1, 0);
        } else if (op == "initnull") {
            CTarnLogWrapper(__FILE__, __LINE__).Initialize(NULL, 4096, NULL, -1, 0);
        } else if (op == "line") {
            int kind = atoi(argv[i++]);
            TARNLOG(kind, "%s", argv[i++]);
        } else if (op == "hdr") {
            TARNLOG(TARNLOG_START, "L=%d", __LINE__);
        } else if (op == "kinds") {
            for (int kind = 0; kind <= 12; ++kind) TARNLOG(kind, "kind %d", kind);
        } else if (op == "sjis") {
            TARNLOG(TARNLOG_INFO, "%s", "表示ソフト能力テスト");
        } else if (op == "big") {
            TARNLOG(TARNLOG_INFO, "%s", std::string(atoi(argv[i++]), 'a').c_str());
        } else if (op == "bigdbcs") {
            // The 1023-byte cut would fall between the two bytes of ソ.
            TARNLOG(TARNLOG_INFO, "%s", (std::string(1022, 'a') + "ソzzz").c_str());
        } else if (op == "lines") {
            int count = atoi(argv[i++]);
            std::string tag = argv[i++];
            for (int n = 0; n < count; ++n) TARNLOG(TARNLOG_INFO, "%s %d %s", tag.c_str(), n, kPad.c_str());
        } else if (op == "threads") {
            int threads = atoi(argv[i++]);
            int count = atoi(argv[i++]);
            RunThreads(threads, count, argv[i++]);
        } else if (op == "fill") {
            int target = atoi(argv[i++]);
            int line = __LINE__; std::string m = FillMessage(target, line); TARNLOG(TARNLOG_INFO, "%s", m.c_str());
        } else if (op == "fatal") {
            int count = atoi(argv[i++]);
            for (int n = 1; n <= count; ++n) {
                TARNLOG(TARNLOG_FATAL, "fatal %d", n);
                // Fatal copies are named by the second.
                if (n < count) Sleep(1100);
            }
        } else if (op == "lasterr") {
            SetLastError(1234);
            TARNLOG(TARNLOG_INFO, "%s", "keeps the error");
            if (GetLastError() != 1234) return 3;
            SetLastError(ERROR_FILE_NOT_FOUND);
            TARNLOG(12, "%s", "bad kind");
            if (GetLastError() != ERROR_FILE_NOT_FOUND) return 3;
        } else if (op == "term") {
            CTarnLogWrapper(__FILE__, __LINE__).Terminate();
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
