// The writer in a fresh probe process per scenario (paths are set once a process); file manager and policy here.
#include <windows.h>
#include <gtest/gtest.h>
#include <map>
#include "TarnLog/TarnLog.h"
#include "TarnLog/TarnLogFileManager.h"
#include "TarnLog/TarnLogOutputPolicy.h"
#include "TestUtil.h"

using namespace testutil;

namespace {

using Strings = std::vector<std::string>;
const std::string kBanner = "==========<開始>==========";

std::string Name(const char* stem) { return UniqueName(stem) + ".exe.log"; }  // a lock of its own

std::string Now() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    char text[32];
    wsprintfA(text, "%04d/%02d/%02d %02d:%02d:%02d:%03d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond,
              t.wMilliseconds);
    return text;
}

// "mark message\n" per log line ("L=line" where the message names its own line); checks each line's header fields.
std::string Summary(const std::string& path, const RunResult& run, const std::string& from, const std::string& to) {
    char ids[32];
    wsprintfA(ids, "%x:%x", run.pid, run.tid);
    std::string text;
    for (const LogLine& l : ParseAll(ReadBytes(path))) {
        EXPECT_EQ("probe_log.cpp", l.source);
        EXPECT_EQ(ids, l.ids);
        EXPECT_TRUE(from <= l.time && l.time <= to) << l.time;
        text += l.mark + " " + (l.message == "L=" + l.line ? "L=line" : l.message) + "\n";
    }
    return text;
}

}  // namespace

TEST(TarnLogWriter, Scenarios) {
    TempDir dir("tlw");
    enum { kNone, kFile, kEvent, kMutex, kKilledOwner };  // what another process holds of the log
    const std::string a(1022, 'a'), aa(1023, 'a'), over = "## 出力サイズオーバーです。出力を切り詰めます\n",
                      start = "== " + kBanner + "\n", fileError = "ファイルエラーが発生しました。GetLastError[32]\n";
    struct { std::string log; int hold; std::vector<std::string> ops; DWORD exit; std::string text, sys; } rows[] = {
        {dir / Name("kinds"), kNone,
         {"hdr", "line", "0", "ソ表能", "line", "6", "six", "line", "8", "eight", "line", "10", "ten", "lasterr"}, 0,
         start + ".. L=line\n.. ソ表能\n six\n-- eight\n.. keeps the error\n", "## ten\n"},
        // cut at 1023 bytes, never inside ソ, 表 or 能, with a notice
        {dir / Name("cut"), kNone,
         {"line", "0", std::string(2000, 'a'), "line", "0", a + "ソz", "line", "0", a + "表z", "line", "0", a + "能z",
          "line", "0", aa}, 0,
         start + over + ".. " + aa + "\n" + over + ".. " + a + "\n" + over + ".. " + a + "\n" + over + ".. " + a +
             "\n.. " + aa + "\n", ""},
        // an open failure is reported once per line, never for a report
        {dir / Name("busy"), kFile, {"line", "0", "hello", "line", "6", "dump", "lasterr"}, 0, "",
         "## " + fileError + "## " + fileError + "## ダンプ" + fileError + "## " + fileError},
        {dir / ("absent\\" + Name("gone")), kNone, {"line", "10", "s", "fatal", "1", "flush"}, 4, "", ""},
        {dir / Name("squat"), kEvent, {}, 0, "", "## 排他オブジェクト作成に失敗しました\n"},
        {dir / Name("held"), kMutex, {}, 0, "", "## 排他で待てませんでした\n"},
        {dir / Name("orphan"), kKilledOwner, {"line", "0", "after"}, 0, start + ".. after\n", ""},
    };
    for (auto& row : rows) {
        SCOPED_TRACE(row.log);
        const std::string name = row.log.substr(row.log.rfind('\\') + 1), sys = dir / "probe_sys.log";
        HANDLE h = nullptr;
        if (row.hold == kFile) h = CreateFileA(row.log.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (row.hold == kEvent) h = CreateEventA(nullptr, TRUE, FALSE, name.c_str());
        if (row.hold == kMutex) h = CreateMutexA(nullptr, TRUE, name.c_str());
        if (row.hold == kKilledOwner) {
            Child owner(ProbeExe(), {"log", "hold", name});
            for (int i = 0; i < 400 && !(h = OpenMutexA(SYNCHRONIZE, FALSE, name.c_str())); ++i) Sleep(50);
        }  // killed while it owns the lock; h keeps the mutex in being
        ASSERT_TRUE(row.hold == kNone || (h && h != INVALID_HANDLE_VALUE));
        row.ops.insert(row.ops.begin(), {"log", "init", row.log, "4096"});
        const std::string from = Now();
        RunResult run = testutil::Run(ProbeExe(), row.ops);
        const std::string to = Now();
        if (h) CloseHandle(h);
        EXPECT_EQ(row.exit, run.exitCode);
        EXPECT_EQ(row.text, Summary(row.log, run, from, to));
        EXPECT_EQ(row.sys, Summary(sys, run, from, to));
        DeleteFileA(sys.c_str());
        EXPECT_EQ(row.hold == kMutex, run.elapsedMs >= 9900) << run.elapsedMs;  // only a held lock is waited for
        EXPECT_LT(run.elapsedMs, 18000u);
    }
    EXPECT_NE(std::string::npos, ReadBytes(rows[0].log).find("\teight\r\n\r\n"));  // an end line ends a run
}

TEST(TarnLogWriter, FileNames) {
    TempDir dir("tln");
    const std::string product = dir / "prod", logs = dir / "logs";  // the product and its log folder
    ASSERT_TRUE(CreateDirectoryA(product.c_str(), nullptr) && CreateDirectoryA(logs.c_str(), nullptr));
    ASSERT_TRUE(WritePrivateProfileStringA("PATH", "LOGDIR", logs.c_str(), (product + "\\KDMSys.ini").c_str()));
    // A bare name goes to the product's log folder (beside the program: tests/e2e); "_dmp" goes before the first '.'
    // of the file name, never of a folder; "_sys.log" replaces the program's extension. ソ, 表, 能 end in 0x5C.
    const struct { const char *exe, *folder, *log; bool inProduct; std::vector<const char*> made; } rows[] = {
        {"solo.exe", "", "plain.exe.log", true,
         {"logs\\plain.exe.log", "logs\\plain_dmp.exe.log", "logs\\solo_sys.log"}},
        {"表ソ.exe", "能ソ", "ソ表.exe.log", false,
         {"能ソ\\ソ表_dmp.exe.log", "能ソ\\表ソ_sys.log", "能ソ\\ソ表.exe_fatal2*.log"}},
        {"x.y.exe", "v1.2", "X.exe.log", false, {"v1.2\\X_dmp.exe.log", "v1.2\\x.y_sys.log"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.exe);
        const std::string log = *row.folder ? dir / row.folder + "\\" + row.log : row.log;
        CreateDirectoryA((dir / row.folder).c_str(), nullptr);
        ScopedEnv env("VELMOR_INSTDIR", row.inProduct ? product.c_str() : nullptr);
        ASSERT_TRUE(Copy(ProbeExe(), dir / row.exe));
        const std::vector<std::string> ops = {"log", "init", log, "4096", "line", "10", "s", "flush", "fatal", "1"};
        EXPECT_EQ(0u, testutil::Run(dir / row.exe, ops).exitCode);
        for (const char* made : row.made) EXPECT_EQ(1u, FindFiles(dir / made).size()) << made;
    }
}

TEST(TarnLogRotation, ExactLimitIsKeptOneByteMoreRotates) {
    TempDir dir("tlr");
    const std::string log = dir / Name("edge");
    ASSERT_EQ(0u, testutil::Run(ProbeExe(), {"log", "init", log, "1", "fill", "1024"}).exitCode);
    EXPECT_EQ(1024u, ReadBytes(log).size());
    EXPECT_FALSE(Exists(log + ".BAK"));
    // The next banner does not fit: rotated. Then a line ending one byte past the limit.
    ASSERT_EQ(0u, testutil::Run(ProbeExe(), {"log", "init", log, "1", "fill", "1025"}).exitCode);
    const std::string bak = ReadBytes(log + ".BAK"), current = ReadBytes(log);
    ASSERT_EQ(1u, ParseAll(bak).size());
    EXPECT_EQ(kBanner, ParseAll(bak)[0].message);
    EXPECT_EQ(1u, ParseAll(current).size());
    EXPECT_EQ(1025u, bak.size() + current.size());
    // As many backups as the log's settings say: two rotations (the banner, then the line) move it to the second.
    WriteBytes(log + ".chk", "[Config]\r\nMaxBackupIndex=2\r\n");
    ASSERT_EQ(0u, testutil::Run(ProbeExe(), {"log", "init", log, "1", "fill", "1025"}).exitCode);
    EXPECT_EQ(current, ReadBytes(log + ".BAK.2"));
}

// A rotation that cannot save the log changes nothing, so the log keeps its lines and every backup stays; the next
// try waits for more lines. held: the name another program holds (the copy's own name, or the newest backup).
TEST(TarnLogRotation, AFailedRotationLosesNothingAndWaits) {
    TempDir dir("tlrf");
    const std::string log = dir / "r.exe.log", bak = log + ".BAK";
    const struct { const char* held; DWORD share; bool rotated; } rows[] = {
        {nullptr, 0, true}, {".BAK.new", FILE_SHARE_READ | FILE_SHARE_DELETE, false}, {".BAK", FILE_SHARE_READ, false}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.held ? r.held : "nothing held");
        const std::vector<std::string> names = {log, bak, bak + ".2", bak + ".3"};
        for (size_t i = 0; i < names.size(); ++i) WriteBytes(names[i], "v" + std::to_string(i));
        TarnLogFileManager::CLogFileMap files;
        ASSERT_EQ(TarnLogFileManager::FILEMAN_OK, files.Open(log.c_str()));
        CFileHandle held(CreateFileA(r.held ? (log + r.held).c_str() : "", GENERIC_READ, r.share, nullptr, OPEN_ALWAYS,
                                     0, nullptr));
        files.AppendWithin(log.c_str(), "+a", 3, 3);  // past 3 bytes: rotated
        std::vector<std::string> now;
        for (const std::string& name : names) now.push_back(ReadBytes(name));
        EXPECT_EQ((r.rotated ? Strings{"+a", "v0", "v1", "v2"} : Strings{"v0+a", "v1", "v2", "v3"}), now);
        held.reset();
        files.AppendWithin(log.c_str(), "+b", 3, 3);
        EXPECT_EQ(r.rotated ? "+b" : "v0+a+b", ReadBytes(log));  // rotated again, or not tried again at once
        for (int i = 0; !r.rotated && i < 1000 && ReadBytes(bak).compare(0, 6, "v0+a+b"); ++i)
            files.AppendWithin(log.c_str(), "+", 3, 3);
        EXPECT_EQ(r.rotated ? "+a" : "v0+a+b", ReadBytes(bak).substr(0, 6));  // tried again after some lines
    }
}

TEST(TarnLogConcurrency, ThreadsOfTwoProcessesNeitherInterleaveNorLose) {
    TempDir dir("tlc");
    const std::string log = dir / Name("many");
    Event go("tarnlog-go");
    {
        std::vector<std::string> ops = {"log", "init", log, "4096", "wait", go.name(), "threads", "4", "300", "A"};
        Child a(ProbeExe(), ops);
        ops.back() = "B";
        Child b(ProbeExe(), ops);
        // Both must be ready, or one could finish before the other starts.
        for (int i = 0; i < 600 && CountMessages(ParseAll(ReadBytes(log)), kBanner) < 2; ++i) Sleep(50);
        SetEvent(go.get());
        EXPECT_TRUE(a.Wait() == 0 && b.Wait() == 0);
    }
    std::vector<LogLine> lines = ParseAll(ReadBytes(log));  // a broken line does not parse
    ASSERT_EQ(2u + 2 * 4 * 300, lines.size());
    std::map<std::string, int> next;  // per writer thread, its lines whole and in order
    for (const LogLine& l : lines)
        if (l.message != kBanner) {
            const std::string writer = l.message.substr(0, l.message.find(' '));
            EXPECT_EQ(writer + " " + std::to_string(next[writer]++) + " " + std::string(80, 'x'), l.message);
        }
    EXPECT_EQ(8u, next.size());  // with the count above, 300 each
}

// The program always logs (no family program, no research lines, no mode); the settings beside the log: backups.
TEST(TarnLogOutputPolicy, FirstDecision) {
    TempDir dir("tlpol");
    const std::string log = dir / "policy.exe.log";
    EXPECT_FALSE(logging::IsFamilyModuleName(L"AgentUninstaller_Win.exe"));
    // mode -1: not initialised; settings nullptr: no settings file
    const struct { int mode; const char* settings; int backups; } rows[] = {
        {-1, nullptr, 1}, {0, nullptr, 1}, {0, "MaxBackupIndex=3", 3}, {0, "MaxBackupIndex=0", 1}, {0, "", 1}};
    for (const auto& row : rows) {
        SCOPED_TRACE(&row - rows);
        DeleteFileA((log + ".chk").c_str());
        if (row.settings) WriteBytes(log + ".chk", *row.settings ? std::string("[Config]\r\n") + row.settings : "");
        logging::COutputPolicy policy;
        if (row.mode >= 0) policy.Initialize(log.c_str(), nullptr, row.mode);
        EXPECT_TRUE(policy.IsOutput(TARNLOG_INFO) && policy.IsOutput(TARNLOG_ERROR));
        EXPECT_EQ(row.backups, policy.GetMaxBackupIndex());
    }
}
