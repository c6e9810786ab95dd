// The call-site side of the log writer: formatting, choosing the target file
// and turning the writer's failures into report lines.
#include "TarnLog/TarnLog.h"

#include <stdarg.h>
#include <stdio.h>

#include "TarnLog/TarnLogOutputPolicy.h"
#include "TarnLog/TarnLogWriter.h"

namespace {

const char kStartBanner[] = "==========<開始>==========";
const char kEndBanner[] = "----------<終了>----------";

bool IsInternalKind(TarnLogKind kind) { return kind == TARNLOG_INTERNAL || kind == TARNLOG_SYSTEM; }

void ReportSystemError(CTarnLogWrapper& log, TarnLogResult code, TarnLogKind kind) {
    DWORD error = GetLastError();
    const char* text = "想定外のエラーが発生しました";
    if (code == TARNLOG_LOCK_CREATE_FAILED)
        text = "排他オブジェクト作成に失敗しました";
    else if (code == TARNLOG_LOCK_TIMEOUT)
        text = "排他で待てませんでした";
    else if (code == TARNLOG_OPEN_FAILED)
        text = kind == TARNLOG_DUMP ? "ダンプファイルエラーが発生しました。GetLastError[%d]"
                                    : "ファイルエラーが発生しました。GetLastError[%d]";
    log.Output(TARNLOG_SYSTEM, text, static_cast<int>(error));
}

// Reports of the writer's own failures are written with the internal kinds,
// whose failures are never reported again, so the chain ends after one report.
// 1: write the line to the system log instead.
unsigned HandleResult(CTarnLogWrapper& log, TarnLogResult code, TarnLogKind kind) {
    switch (code) {
    case TARNLOG_WRITTEN:
        return 0;
    case TARNLOG_NO_PATH:
        if (IsInternalKind(kind)) return 2;
        log.Output(TARNLOG_SYSTEM, "%s", "出力先が設定されていません。デフォルト出力先を使用します");
        return 1;
    case TARNLOG_BAD_KIND:
        log.Output(TARNLOG_INTERNAL, "不正なログ種別[%d]が指定されました", static_cast<int>(kind));
        return 0;
    case TARNLOG_COPY_FAILED:
        log.Output(TARNLOG_INTERNAL, "%s", "退避ファイルの作成に失敗しました");
        return 0;
    case TARNLOG_DELETE_OLD_COPY_FAILED:
        log.Output(TARNLOG_INTERNAL, "%s", "古い退避ファイル削除失敗のため、退避ファイルを作成できません");
        return 0;
    case TARNLOG_LOCK_CREATE_FAILED:
    case TARNLOG_LOCK_TIMEOUT:
    case TARNLOG_OPEN_FAILED:
        if (IsInternalKind(kind)) return 2;
        ReportSystemError(log, code, kind);
        return 0;
    case TARNLOG_PATTERN_NO_FOLDER:
        break;
    }
    log.Output(TARNLOG_INTERNAL, "%s", "想定外のエラーが発生しました");
    return 0;
}

}  // namespace

CTarnLogWrapper::CTarnLogWrapper(const char* sourcePath, const int& line)
    : m_sourcePath(sourcePath), m_line(line), m_lastError(GetLastError()) {}

CTarnLogWrapper::~CTarnLogWrapper() { SetLastError(m_lastError); }

unsigned CTarnLogWrapper::Output(TarnLogKind kind, const char* format, ...) {
    logging::COutputPolicy* policy = logging::GetOutputPolicy(g_LogPath.GetPath());
    if (!policy || !policy->IsOutput(kind)) return 0;

    char message[kMaxMessageBytes + 1] = {0};
    if (format) {
        va_list args;
        va_start(args, format);
        int length = _vsnprintf(message, kMaxMessageBytes, format, args);
        va_end(args);
        if (length < 0 || static_cast<size_t>(length) > kMaxMessageBytes) {
            // Cut where no double-byte character is split.
            if (CutText(message, kMaxMessageBytes) > 0)
                Output(TARNLOG_INTERNAL, "%s", "出力サイズオーバーです。出力を切り詰めます");
        }
    }

    const CTarnlogPathString* target = &g_LogPath;
    if (kind == TARNLOG_SYSTEM) {
        tarnlog::PrepareSystemLogPaths();
        target = &g_SysLogPath;
    }
    int backups = policy->GetMaxBackupIndex();
    if (backups < 1) backups = 1;
    const TarnLogResult result = CTarnLog(m_sourcePath, m_line, *target).Write(kind, message, backups);
    if (result == TARNLOG_WRITTEN) return 0;

    unsigned handled = HandleResult(*this, result, kind);
    if (handled != 1) return handled;
    tarnlog::PrepareSystemLogPaths();
    return static_cast<unsigned>(CTarnLog(m_sourcePath, m_line, g_SysLogPath).Write(kind, message, backups));
}

void CTarnLogWrapper::Initialize(const char* logPath, int sizeKB, HMODULE module, int dumpLimit, int policyMode) {
    if (!logPath || !*logPath) {
        Output(TARNLOG_SYSTEM, "%s", "出力先指定が不正です。デフォルト出力先を使用します");
    } else {
        tarnlog::SetOutputPath(logPath);
        if (sizeKB >= 1 && sizeKB <= kDefaultLogSizeKB) {
            g_LogSizeLimit = sizeKB * 1024;
        } else {
            g_LogSizeLimit = kDefaultLogSizeKB * 1024;
            Output(TARNLOG_INTERNAL, "サイズ指定%dKBは不正です。%dKBとします", sizeKB, kDefaultLogSizeKB);
        }
    }
    g_LogDumpLimit = dumpLimit == -1 ? 1024 : dumpLimit;

    logging::COutputPolicy* policy = logging::GetOutputPolicy(g_LogPath.GetPath());
    if (!policy) return;
    policy->Initialize(g_LogPath.GetPath(), module, policyMode);
    Output(TARNLOG_START, "%s", kStartBanner);
}

void CTarnLogWrapper::Terminate() { Output(TARNLOG_END, "%s", kEndBanner); }

int CTarnLogWrapper::FlushAll() {
    CTarnLog(m_sourcePath, m_line, g_LogPath).Flush();
    return CTarnLog(m_sourcePath, m_line, g_DumpLogPath).Flush();
}

void LogStoppedException(const char* where, const char* what) {
    TARNLOG(TARNLOG_ERROR, "例外を捕捉しました。[%s] %s", where, what);
}
