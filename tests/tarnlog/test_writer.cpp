// The log writer end to end. Log paths can be set once per process, so every
// scenario runs the probe program (probe log) in a fresh process and
// the test reads the files it leaves.
#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "TarnLog/TarnLog.h"
#include "TarnLog/TarnLogWriter.h"
#include "TestUtil.h"

using testutil::CountMessages;
using testutil::Exists;
using testutil::LogLine;
using testutil::ParseAll;
using testutil::ReadBytes;

namespace {

const char kStartBanner[] = "\x3D\x3D\x3D\x3D\x3D\x3D\x3D\x3D\x3D\x3D<\x8A\x4A\x8E\x6E>\x3D\x3D\x3D\x3D\x3D\x3D\x3D\x3D\x3D\x3D";
const char kEndBanner[] = "----------<\x8F\x49\x97\xB9>----------";
const char kSource[] = "probe_log.cpp";

// A log file name of its own per test, so no two tests share a lock name.
std::string UniqueName(const char* stem) { return testutil::UniqueName(stem) + ".exe.log"; }

std::string SysLog(const testutil::TempDir& dir) { return dir / "probe_sys.log"; }

std::string Hex(DWORD value) {
    char text[16];
    wsprintfA(text, "%x", value);
    return text;
}

unsigned long long Stamp(const SYSTEMTIME& t) {
    return ((((t.wYear * 100ull + t.wMonth) * 100 + t.wDay) * 100 + t.wHour) * 100 + t.wMinute) * 100000ull +
           t.wSecond * 1000ull + t.wMilliseconds;
}

unsigned long long Stamp(const std::string& time) {  // "YYYY/MM/DD hh:mm:ss:mmm"
    SYSTEMTIME t = {};
    t.wYear = static_cast<WORD>(atoi(time.c_str()));
    t.wMonth = static_cast<WORD>(atoi(time.c_str() + 5));
    t.wDay = static_cast<WORD>(atoi(time.c_str() + 8));
    t.wHour = static_cast<WORD>(atoi(time.c_str() + 11));
    t.wMinute = static_cast<WORD>(atoi(time.c_str() + 14));
    t.wSecond = static_cast<WORD>(atoi(time.c_str() + 17));
    t.wMilliseconds = static_cast<WORD>(atoi(time.c_str() + 20));
    return Stamp(t);
}

}  // namespace

// ---- helpers and path objects, in this process ----

TEST(TarnLogPaths, FileNamePartIsShiftJisAware) {
    // 表 and ソ end in the byte 0x5C, which is no folder separator there.
    EXPECT_STREQ("\x95\x5C\x83\x5C.exe.log", tarnlog::FileNamePart("C:\\\x94\x5C\\\x95\x5C\x83\x5C.exe.log", false));
    EXPECT_STREQ("x.log", tarnlog::FileNamePart("x.log", false));
    EXPECT_STREQ("a/b.cpp", tarnlog::FileNamePart("C:\\src\\a/b.cpp", false));
    EXPECT_STREQ("b.cpp", tarnlog::FileNamePart("C:\\src\\a/b.cpp", true));
    EXPECT_STREQ("Registry.cpp", tarnlog::FileNamePart("/work/main/src/Util/Registry.cpp", true));
    EXPECT_STREQ("", tarnlog::FileNamePart("C:\\dir\\", false));
}

TEST(TarnLogPaths, DotInsertionAndCuts) {
    char out[64];
    ASSERT_TRUE(tarnlog::InsertAtDot(out, sizeof(out), "D:\\Log\\X.exe.log", "_dmp", false));
    EXPECT_STREQ("D:\\Log\\X_dmp.exe.log", out);
    ASSERT_TRUE(tarnlog::InsertAtDot(out, sizeof(out), "D:\\Log\\X.exe.log", "_fatal", true));
    EXPECT_STREQ("D:\\Log\\X.exe_fatal.log", out);
    ASSERT_TRUE(tarnlog::InsertAtDot(out, sizeof(out), "D:\\Log\\X", "_dmp", false));
    EXPECT_STREQ("D:\\Log\\X_dmp", out);
    ASSERT_TRUE(tarnlog::InsertAtDot(out, sizeof(out), "D:\\v1.2\\X.exe.log", "_dmp", false));
    EXPECT_STREQ("D:\\v1.2\\X_dmp.exe.log", out);
    EXPECT_FALSE(tarnlog::InsertAtDot(out, 8, "D:\\Log\\X.log", "_dmp", false));

    char text[] = "ab\x83\x5C" "cd";
    EXPECT_EQ(2u, tarnlog::CutText(text, 3));  // never half of ソ
    EXPECT_STREQ("ab", text);
    char dangling[] = "ab\x83";  // a lead byte without its second byte
    EXPECT_EQ(2u, tarnlog::CutText(dangling, 10));
    char copy[4];
    tarnlog::CopyText(copy, sizeof(copy), "a\x83\x5C" "b");
    EXPECT_STREQ("a\x83\x5C", copy);
    tarnlog::CopyText(copy, sizeof(copy), "ab\x83\x5C");
    EXPECT_STREQ("ab", copy);
}

TEST(TarnLogPaths, PathStringIsSetOnce) {
    CTarnlogPathString path;
    char buffer[MAX_PATH] = "junk";
    EXPECT_EQ(1, path.IsEmpty());
    EXPECT_EQ(0, path.Get(buffer, sizeof(buffer)));
    EXPECT_STREQ("", buffer);
    path.Set("C:\\first\\a.log");
    path.Set("C:\\second\\b.log");
    EXPECT_EQ(0, path.IsEmpty());
    EXPECT_EQ(1, path.Get(buffer, sizeof(buffer)));
    EXPECT_STREQ("C:\\first\\a.log", buffer);
    EXPECT_STREQ("C:\\first\\a.log", path.GetPath());
    char small[5];
    EXPECT_EQ(1, path.Get(small, sizeof(small)));
    EXPECT_STREQ("C:\\f", small);

    CTarnlogPathString longPath;
    longPath.Set(std::string(300, 'p').c_str());
    EXPECT_EQ(MAX_PATH - 1, static_cast<int>(strlen(longPath.GetPath())));
}

TEST(TarnLogPaths, NothingIsLoggedBeforeInitialize) {
    // This test program never initialises the log: calls return at once.
    SetLastError(77);
    EXPECT_EQ(0u, TARNLOG(TARNLOG_ERROR, "%s", "dropped"));
    EXPECT_EQ(77u, GetLastError());
    EXPECT_EQ(0, CTarnLogWrapper(__FILE__, __LINE__).FlushAll());
}

// ---- one process per scenario ----

TEST(TarnLogWriter, HeaderFieldsMarksAndKinds) {
    testutil::TempDir dir("tlw");
    const std::string log = dir / UniqueName("hdr");
    SYSTEMTIME before, after;
    GetLocalTime(&before);
    testutil::RunResult run = testutil::Probe("log", {"init", log, "4096", "hdr", "kinds", "line", "-1", "negative"});
    GetLocalTime(&after);
    ASSERT_EQ(0u, run.exitCode);

    bool allParsed = false;
    std::vector<LogLine> lines = ParseAll(ReadBytes(log), &allParsed);
    ASSERT_TRUE(allParsed);
    // banner, hdr line, kinds 0-9 but not 10 (system log) and 11 (research off), then the
    // reports of kinds 12 and -1
    ASSERT_EQ(14u, lines.size());
    EXPECT_EQ("==", lines[0].mark);
    EXPECT_EQ(kStartBanner, lines[0].message);

    const LogLine& hdr = lines[1];
    EXPECT_EQ("==", hdr.mark);
    EXPECT_EQ(kSource, hdr.source);
    EXPECT_EQ("L=" + hdr.line, hdr.message);
    EXPECT_EQ(Hex(run.pid) + ":" + Hex(run.tid), hdr.ids);
    EXPECT_LE(Stamp(before), Stamp(hdr.time));
    EXPECT_GE(Stamp(after), Stamp(hdr.time));

    const char* marks[] = {"..", "!!", "@@", "->", "<-", ";;", "", "==", "--", "##"};
    for (int kind = 0; kind <= 9; ++kind) {
        const LogLine& l = lines[2 + kind];
        EXPECT_EQ("kind " + std::to_string(kind), l.message);
        EXPECT_EQ(marks[kind], l.mark) << kind;
    }
    EXPECT_EQ("##", lines[12].mark);
    EXPECT_EQ("\x95\x73\x90\xB3\x82\xC8\x83\x8D\x83\x4F\x8E\xED\x95\xCA[12]\x82\xAA\x8E\x77\x92\xE8\x82\xB3\x82\xEA\x82\xDC\x82\xB5\x82\xBD",
              lines[12].message);  // 不正なログ種別[12]が指定されました
    // a negative kind is as invalid as 12 (and must not index the mark table)
    EXPECT_EQ("\x95\x73\x90\xB3\x82\xC8\x83\x8D\x83\x4F\x8E\xED\x95\xCA[-1]\x82\xAA\x8E\x77\x92\xE8\x82\xB3\x82\xEA\x82\xDC\x82\xB5\x82\xBD",
              lines[13].message);
    EXPECT_EQ(0, CountMessages(lines, "negative"));
    EXPECT_EQ(0, CountMessages(lines, "kind 11"));
    EXPECT_EQ(0, CountMessages(lines, "kind 12"));
    // kind 6 has no mark: two tabs in a row after the time
    EXPECT_NE(std::string::npos, ReadBytes(log).find("\t\t" + std::string(kSource)));
    // a TARNLOG_END line ends with an empty line
    EXPECT_NE(std::string::npos, ReadBytes(log).find("kind 8\r\n\r\n"));

    std::vector<LogLine> sys = ParseAll(ReadBytes(SysLog(dir)));
    ASSERT_EQ(1u, sys.size());
    EXPECT_EQ("##", sys[0].mark);
    EXPECT_EQ("kind 10", sys[0].message);
}

TEST(TarnLogWriter, ResearchLinesNeedTheGlobalMarker) {
    testutil::TempDir dir("tlw");
    const std::string log = dir / UniqueName("res");
    testutil::WriteBytes(dir / "global.log.chk", "");
    ASSERT_EQ(0u, testutil::Probe("log", {"init", log, "4096", "line", "11", "researching"}).exitCode);
    std::vector<LogLine> lines = ParseAll(ReadBytes(log));
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("$$", lines[1].mark);
    EXPECT_EQ("researching", lines[1].message);
}

TEST(TarnLogWriter, EndBannerIsFollowedByAnEmptyLine) {
    testutil::TempDir dir("tlw");
    const std::string log = dir / UniqueName("end");
    ASSERT_EQ(0u, testutil::Probe("log", {"init", log, "4096", "term"}).exitCode);
    std::string bytes = ReadBytes(log);
    ASSERT_NE(std::string::npos, bytes.find(std::string("\t--\t") + kSource));
    EXPECT_EQ(std::string(kEndBanner) + "\r\n\r\n", bytes.substr(bytes.size() - strlen(kEndBanner) - 4));
}

TEST(TarnLogWriter, JapaneseTextIsShiftJisOnDisk) {
    testutil::TempDir dir("tlw");
    const std::string log = dir / UniqueName("sjis");
    ASSERT_EQ(0u, testutil::Probe("log", {"init", log, "4096", "sjis"}).exitCode);
    std::string bytes = ReadBytes(log);
    // 表示ソフト能力テスト in code page 932, three of its characters ending in 0x5C
    const std::string expected = "\t\x95\x5C\x8E\xA6\x83\x5C\x83\x74\x83\x67\x94\x5C\x97\xCD\x83\x65\x83\x58\x83\x67\r\n";
    EXPECT_NE(std::string::npos, bytes.find(expected));
    EXPECT_EQ(std::string::npos, bytes.find('\0'));
    EXPECT_NE(std::string::npos, bytes.find(std::string("\t") + kStartBanner + "\r\n"));
}

TEST(TarnLogWriter, LongMessageIsCutWithANotice) {
    testutil::TempDir dir("tlw");
    const std::string log = dir / UniqueName("cut");
    ASSERT_EQ(0u, testutil::Probe("log", {"init", log, "4096", "big", "2000", "bigdbcs", "big", "1023"}).exitCode);
    bool allParsed = false;
    std::vector<LogLine> lines = ParseAll(ReadBytes(log), &allParsed);
    ASSERT_TRUE(allParsed);
    ASSERT_EQ(6u, lines.size());
    // 出力サイズオーバーです。出力を切り詰めます
    const std::string notice =
        "\x8F\x6F\x97\xCD\x83\x54\x83\x43\x83\x59\x83\x49\x81\x5B\x83\x6F\x81\x5B\x82\xC5\x82\xB7\x81\x42\x8F\x6F"
        "\x97\xCD\x82\xF0\x90\xD8\x82\xE8\x8B\x6C\x82\xDF\x82\xDC\x82\xB7";
    EXPECT_EQ("##", lines[1].mark);
    EXPECT_EQ(notice, lines[1].message);
    EXPECT_EQ(std::string(1023, 'a'), lines[2].message);
    EXPECT_EQ(notice, lines[3].message);
    EXPECT_EQ(std::string(1022, 'a'), lines[4].message);  // the cut does not split ソ
    EXPECT_EQ(std::string(1023, 'a'), lines[5].message);  // exactly 1023 bytes fit: no notice
}

TEST(TarnLogWriter, CallerLastErrorIsKept) {
    testutil::TempDir dir("tlw");
    const std::string log = dir / UniqueName("err");
    EXPECT_EQ(0u, testutil::Probe("log", {"init", log, "4096", "lasterr"}).exitCode);
    // also when the write itself fails (missing folder)
    EXPECT_EQ(0u, testutil::Probe("log", {"init", dir / "missing\\x.exe.log", "4096", "lasterr"}).exitCode);
}

TEST(TarnLogWriter, InitializeFixesThePathAndChecksTheSize) {
    testutil::TempDir dir("tlw");
    const std::string first = dir / UniqueName("first");
    const std::string second = dir / UniqueName("second");
    ASSERT_EQ(0u, testutil::Probe("log", {"line", "0", "too early", "init", first, "0", "init", second, "5000", "initnull",
                             "line", "0", "after"})
                      .exitCode);
    EXPECT_FALSE(Exists(second));
    std::vector<LogLine> lines = ParseAll(ReadBytes(first));
    ASSERT_EQ(6u, lines.size());
    // サイズ指定0KBは不正です。4096KBとします
    EXPECT_EQ("##", lines[0].mark);
    EXPECT_EQ("\x83\x54\x83\x43\x83\x59\x8E\x77\x92\xE8" "0KB\x82\xCD\x95\x73\x90\xB3\x82\xC5\x82\xB7\x81\x42" "4096KB\x82\xC6\x82\xB5\x82\xDC\x82\xB7",
              lines[0].message);
    EXPECT_EQ(kStartBanner, lines[1].message);
    EXPECT_EQ("\x83\x54\x83\x43\x83\x59\x8E\x77\x92\xE8" "5000KB\x82\xCD\x95\x73\x90\xB3\x82\xC5\x82\xB7\x81\x42" "4096KB\x82\xC6\x82\xB5\x82\xDC\x82\xB7",
              lines[2].message);
    EXPECT_EQ(kStartBanner, lines[3].message);
    // initnull: its complaint goes to the system log; the path stays, so a banner follows
    EXPECT_EQ(kStartBanner, lines[4].message);
    EXPECT_EQ("after", lines[5].message);
    EXPECT_EQ(0, CountMessages(lines, "too early"));
    std::vector<LogLine> sys = ParseAll(ReadBytes(SysLog(dir)));
    ASSERT_EQ(1u, sys.size());
    // 出力先指定が不正です。デフォルト出力先を使用します
    EXPECT_EQ("\x8F\x6F\x97\xCD\x90\xE6\x8E\x77\x92\xE8\x82\xAA\x95\x73\x90\xB3\x82\xC5\x82\xB7\x81\x42\x83\x66\x83"
              "\x74\x83\x48\x83\x8B\x83\x67\x8F\x6F\x97\xCD\x90\xE6\x82\xF0\x8E\x67\x97\x70\x82\xB5\x82\xDC\x82\xB7",
              sys[0].message);
}

TEST(TarnLogWriter, FileNameOnlyGoesBesideTheProgramAndFlushMakesDumpLog) {
    testutil::TempDir dir("tlw");
    const std::string exe = dir / "solo.exe";
    ASSERT_TRUE(CopyFileA(testutil::ProbeExe().c_str(), exe.c_str(), FALSE));
    ASSERT_EQ(0u, testutil::Run(exe, {"log", "init", "plain.exe.log", "4096", "flush", "line", "10", "to sys"}).exitCode);
    EXPECT_EQ(1u, ParseAll(ReadBytes(dir / "plain.exe.log")).size());
    EXPECT_TRUE(Exists(dir / "plain_dmp.exe.log"));
    EXPECT_EQ("", ReadBytes(dir / "plain_dmp.exe.log"));
    EXPECT_EQ(1u, ParseAll(ReadBytes(dir / "solo_sys.log")).size());
}

TEST(TarnLogWriter, FileNameOnlyGoesToTheProductLogFolderWhenItHasOne) {
    testutil::TempDir dir("tlw");
    const std::string exe = dir / "solo.exe";
    ASSERT_TRUE(CopyFileA(testutil::ProbeExe().c_str(), exe.c_str(), FALSE));
    const std::string product = dir / "prod";
    const std::string logs = dir / "logs";
    ASSERT_TRUE(CreateDirectoryA(product.c_str(), NULL));
    ASSERT_TRUE(CreateDirectoryA(logs.c_str(), NULL));
    ASSERT_TRUE(WritePrivateProfileStringA("PATH", "LOGDIR", logs.c_str(), (product + "\\KDMSys.ini").c_str()));

    // The product environment names its install folder; the child inherits it.
    ASSERT_TRUE(SetEnvironmentVariableA("VELMOR_INSTDIR", product.c_str()));
    testutil::RunResult run = testutil::Run(exe, {"log", "init", "plain.exe.log", "4096", "line", "10", "to sys"});
    SetEnvironmentVariableA("VELMOR_INSTDIR", NULL);
    ASSERT_EQ(0u, run.exitCode);

    EXPECT_EQ(1u, ParseAll(ReadBytes(logs + "\\plain.exe.log")).size());
    EXPECT_EQ(1u, ParseAll(ReadBytes(logs + "\\solo_sys.log")).size());
    EXPECT_FALSE(Exists(dir / "plain.exe.log"));
}

TEST(TarnLogWriter, ShiftJisNamesWithBackslashBytes) {
    testutil::TempDir dir("tlw");
    const std::string exe = dir / "\x95\x5C\x83\x5C.exe";  // 表ソ.exe
    const std::string folder = dir / "\x94\x5C\x83\x5C";   // 能ソ
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), NULL));
    ASSERT_TRUE(CopyFileA(testutil::ProbeExe().c_str(), exe.c_str(), FALSE));
    const std::string log = folder + "\\\x83\x5C\x95\x5C.exe.log";  // ソ表.exe.log
    ASSERT_EQ(0u, testutil::Run(exe, {"log", "init", log, "4096", "line", "10", "sys", "flush", "fatal", "1"}).exitCode);
    EXPECT_EQ(2u, ParseAll(ReadBytes(log)).size());  // banner and fatal line
    EXPECT_EQ(1u, ParseAll(ReadBytes(folder + "\\\x95\x5C\x83\x5C_sys.log")).size());
    EXPECT_TRUE(Exists(folder + "\\\x83\x5C\x95\x5C_dmp.exe.log"));
    EXPECT_EQ(1u, testutil::FindFiles(folder + "\\\x83\x5C\x95\x5C.exe_fatal2*.log").size());
}

// ---- rotation ----

TEST(TarnLogRotation, ExactLimitIsKeptOneByteMoreRotates) {
    testutil::TempDir dir("tlr");
    const std::string log = dir / UniqueName("edge");
    ASSERT_EQ(0u, testutil::Probe("log", {"init", log, "1", "fill", "1024"}).exitCode);
    EXPECT_EQ(1024u, ReadBytes(log).size());
    EXPECT_FALSE(Exists(log + ".BAK"));

    // The next banner does not fit: rotated. Then a line ending one byte past the limit.
    ASSERT_EQ(0u, testutil::Probe("log", {"init", log, "1", "fill", "1025"}).exitCode);
    std::string bak = ReadBytes(log + ".BAK");
    std::string current = ReadBytes(log);
    ASSERT_EQ(1u, ParseAll(bak).size());
    EXPECT_EQ(kStartBanner, ParseAll(bak)[0].message);
    ASSERT_EQ(1u, ParseAll(current).size());
    EXPECT_EQ(1025u, bak.size() + current.size());
    EXPECT_FALSE(Exists(log + ".BAK.2"));
}

namespace {

// Indexes of "R <n> ..." lines in a log file.
std::vector<int> Indexes(const std::string& path) {
    std::vector<int> found;
    for (const LogLine& l : ParseAll(ReadBytes(path)))
        if (l.message.compare(0, 2, "R ") == 0) found.push_back(atoi(l.message.c_str() + 2));
    return found;
}

}  // namespace

TEST(TarnLogRotation, SettingsGiveThreeBackups) {
    testutil::TempDir dir("tlr");
    const std::string log = dir / UniqueName("three");
    testutil::WriteBytes(log + ".chk", "[Config]\r\nMaxBackupIndex=3\r\n");
    ASSERT_EQ(0u, testutil::Probe("log", {"init", log, "1", "lines", "60", "R"}).exitCode);
    ASSERT_TRUE(Exists(log + ".BAK.3"));
    EXPECT_FALSE(Exists(log + ".BAK.4"));
    // newest to oldest: the file, .BAK, .BAK.2, .BAK.3, each continuing the next
    std::vector<int> all;
    for (const char* suffix : {".BAK.3", ".BAK.2", ".BAK", ""}) {
        std::vector<int> part = Indexes(log + suffix);
        ASSERT_FALSE(part.empty()) << suffix;
        if (!all.empty()) {
            EXPECT_EQ(all.back() + 1, part.front()) << suffix;
        }
        all.insert(all.end(), part.begin(), part.end());
    }
    EXPECT_EQ(59, all.back());
}

TEST(TarnLogRotation, BackupIndexZeroKeepsOneBackup) {
    testutil::TempDir dir("tlr");
    const std::string log = dir / UniqueName("zero");
    testutil::WriteBytes(log + ".chk", "[Config]\r\nMaxBackupIndex=0\r\n");
    ASSERT_EQ(0u, testutil::Probe("log", {"init", log, "1", "lines", "30", "R"}).exitCode);
    EXPECT_TRUE(Exists(log + ".BAK"));
    EXPECT_FALSE(Exists(log + ".BAK.2"));
}

TEST(TarnLogRotation, BackupThatCannotBeMadeStillWritesTheLines) {
    testutil::TempDir dir("tlr");
    const std::string log = dir / UniqueName("nocopy");
    HANDLE bak = CreateFileA((log + ".BAK").c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, bak);
    testutil::RunResult run = testutil::Probe("log", {"init", log, "1", "lines", "30", "R"});
    CloseHandle(bak);
    ASSERT_EQ(0u, run.exitCode);
    std::vector<int> written = Indexes(log);
    ASSERT_EQ(30u, written.size());
    EXPECT_EQ(29, written.back());
    EXPECT_GT(ReadBytes(log).size(), 1024u);
}

// ---- fatal copies ----

TEST(TarnLogFatal, FiveFatalLinesLeaveFourCopies) {
    testutil::TempDir dir("tlf");
    const std::string name = UniqueName("fatal");
    const std::string log = dir / name;
    ASSERT_EQ(0u, testutil::Probe("log", {"init", log, "4096", "fatal", "5"}).exitCode);
    std::string stem = name.substr(0, name.rfind('.'));
    std::vector<std::string> copies = testutil::FindFiles(dir / (stem + "_fatal*.log"));
    ASSERT_EQ(4u, copies.size());
    std::sort(copies.begin(), copies.end());
    // The oldest copy (one fatal line) went; the others hold 2 to 5.
    for (size_t i = 0; i < copies.size(); ++i) {
        EXPECT_EQ(stem.size() + strlen("_fatal") + 14 + 4, copies[i].size()) << copies[i];
        std::vector<LogLine> lines = ParseAll(ReadBytes(dir / copies[i]));
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(";;", lines.back().mark);
        EXPECT_EQ("fatal " + std::to_string(i + 2), lines.back().message);
    }
    EXPECT_FALSE(Exists(SysLog(dir)));
}

// ---- failures: bounded, reported once, never recursing ----

TEST(TarnLogFailure, LockHeldByAnotherProcessGivesUpAfterTenSeconds) {
    testutil::TempDir dir("tlx");
    const std::string name = UniqueName("held");
    HANDLE lock = CreateMutexA(NULL, TRUE, name.c_str());
    ASSERT_NE(nullptr, lock);
    testutil::RunResult run = testutil::Probe("log", {"init", dir / name, "4096"});
    ReleaseMutex(lock);
    CloseHandle(lock);
    ASSERT_EQ(0u, run.exitCode);
    EXPECT_GE(run.elapsedMs, 9900u);
    EXPECT_LT(run.elapsedMs, 18000u);
    EXPECT_FALSE(Exists(dir / name));
    std::vector<LogLine> sys = ParseAll(ReadBytes(SysLog(dir)));
    ASSERT_EQ(1u, sys.size());
    EXPECT_EQ("##", sys[0].mark);
    EXPECT_EQ("\x94\x72\x91\xBC\x82\xC5\x91\xD2\x82\xC4\x82\xDC\x82\xB9\x82\xF1\x82\xC5\x82\xB5\x82\xBD",
              sys[0].message);  // 排他で待てませんでした
}

TEST(TarnLogFailure, LockLeftByAKilledProcessIsTakenAndWritten) {
    testutil::TempDir dir("tlx");
    const std::string name = UniqueName("orphan");
    HANDLE keep = nullptr;  // keeps the mutex in being after its owner dies
    {
        testutil::Child holder(testutil::ProbeExe(), {"log", "hold", name});
        for (int i = 0; i < 400 && !(keep = OpenMutexA(SYNCHRONIZE, FALSE, name.c_str())); ++i) Sleep(50);
        ASSERT_NE(nullptr, keep);
    }  // killed while it owns the lock
    testutil::RunResult run = testutil::Probe("log", {"init", dir / name, "4096", "line", "0", "after"});
    CloseHandle(keep);
    ASSERT_EQ(0u, run.exitCode);
    EXPECT_LT(run.elapsedMs, 8000u);
    std::vector<LogLine> lines = ParseAll(ReadBytes(dir / name));
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ(kStartBanner, lines[0].message);
    EXPECT_EQ("after", lines[1].message);
    EXPECT_FALSE(Exists(SysLog(dir)));
}

TEST(TarnLogFailure, UnopenableLogIsReportedOncePerLine) {
    testutil::TempDir dir("tlx");
    const std::string log = dir / UniqueName("busy");
    HANDLE busy = CreateFileA(log.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, busy);
    testutil::RunResult run = testutil::Probe("log", {"init", log, "4096", "line", "0", "hello", "line", "6", "dump", "lasterr"});
    CloseHandle(busy);
    ASSERT_EQ(0u, run.exitCode);
    EXPECT_LT(run.elapsedMs, 8000u);
    EXPECT_EQ("", ReadBytes(log));
    std::vector<LogLine> sys = ParseAll(ReadBytes(SysLog(dir)));
    // banner, hello, dump and the first line of lasterr: one report each. Its
    // second line, of a bad kind, becomes an internal report, whose own
    // failure is never reported again.
    ASSERT_EQ(4u, sys.size());
    // ファイルエラーが発生しました。GetLastError[32]
    const std::string fileError =
        "\x83\x74\x83\x40\x83\x43\x83\x8B\x83\x47\x83\x89\x81\x5B\x82\xAA\x94\xAD\x90\xB6\x82\xB5\x82\xDC\x82\xB5\x82"
        "\xBD\x81\x42GetLastError[32]";
    EXPECT_EQ(fileError, sys[0].message);
    EXPECT_EQ(fileError, sys[1].message);
    // ダンプファイルエラーが発生しました。GetLastError[32]
    EXPECT_EQ("\x83\x5F\x83\x93\x83\x76" + fileError, sys[2].message);
    for (const LogLine& l : sys) EXPECT_EQ("##", l.mark);
}

TEST(TarnLogFailure, MissingFolderReturnsAtOnce) {
    testutil::TempDir dir("tlx");
    const std::string folder = dir / "absent";
    testutil::RunResult run = testutil::Probe("log", {"init", folder + "\\" + UniqueName("gone"), "4096", "line", "0", "x", "line", "10",
                                  "sys", "fatal", "1", "term", "flush"});
    // flush fails (exit 4) because there is nothing to open; nothing blocks or crashes
    EXPECT_EQ(4u, run.exitCode);
    EXPECT_LT(run.elapsedMs, 8000u);
    EXPECT_FALSE(Exists(folder));
}

TEST(TarnLogFailure, LockNameTakenByAnotherObjectIsReported) {
    testutil::TempDir dir("tlx");
    const std::string name = UniqueName("squat");
    HANDLE event = CreateEventA(NULL, TRUE, FALSE, name.c_str());
    ASSERT_NE(nullptr, event);
    testutil::RunResult run = testutil::Probe("log", {"init", dir / name, "4096"});
    CloseHandle(event);
    ASSERT_EQ(0u, run.exitCode);
    std::vector<LogLine> sys = ParseAll(ReadBytes(SysLog(dir)));
    ASSERT_EQ(1u, sys.size());
    // 排他オブジェクト作成に失敗しました
    EXPECT_EQ("\x94\x72\x91\xBC\x83\x49\x83\x75\x83\x57\x83\x46\x83\x4E\x83\x67\x8D\xEC\x90\xAC\x82\xC9\x8E\xB8\x94"
              "\x73\x82\xB5\x82\xDC\x82\xB5\x82\xBD",
              sys[0].message);
}

// ---- concurrency ----

TEST(TarnLogConcurrency, ThreadsAndProcessesNeitherInterleaveNorLose) {
    testutil::TempDir dir("tlc");
    const std::string log = dir / UniqueName("many");
    testutil::Event go("tarnlog-go");
    const std::string eventName = go.name();
    const int kThreads = 4, kLines = 300;
    {
        testutil::Child a(testutil::ProbeExe(),
                         {"log", "init", log, "4096", "wait", eventName, "threads", std::to_string(kThreads),
                          std::to_string(kLines), "A"});
        testutil::Child b(testutil::ProbeExe(),
                         {"log", "init", log, "4096", "wait", eventName, "threads", std::to_string(kThreads),
                          std::to_string(kLines), "B"});
        // Both must be ready, or one could finish before the other starts.
        for (int wait = 0; wait < 600 && CountMessages(ParseAll(ReadBytes(log)), kStartBanner) < 2; ++wait) Sleep(50);
        SetEvent(go.get());
        EXPECT_EQ(0u, a.Wait());
        EXPECT_EQ(0u, b.Wait());
    }

    std::string bytes = ReadBytes(log);
    bool allParsed = false;
    std::vector<LogLine> lines = ParseAll(bytes, &allParsed);
    EXPECT_TRUE(allParsed);
    ASSERT_EQ(2u + 2 * kThreads * kLines, lines.size());
    EXPECT_EQ(2, CountMessages(lines, kStartBanner));
    const std::string pad(80, 'x');
    std::set<std::string> seen;
    std::map<std::string, int> next;  // per writer thread, lines arrive in order
    for (const LogLine& l : lines) {
        if (l.message == kStartBanner) continue;
        size_t space = l.message.find(' ');
        ASSERT_NE(std::string::npos, space) << l.message;
        std::string writer = l.message.substr(0, space);
        int index = atoi(l.message.c_str() + space + 1);
        EXPECT_EQ(writer + " " + std::to_string(index) + " " + pad, l.message);
        EXPECT_EQ(next[writer]++, index) << writer;
        EXPECT_TRUE(seen.insert(l.message).second);
    }
    EXPECT_EQ(static_cast<size_t>(2 * kThreads), next.size());
    for (auto& n : next) EXPECT_EQ(kLines, n.second) << n.first;
}

// ---- gating by program name ----

TEST(TarnLogGating, FamilyProgramLogsOnlyWhenSwitchedOn) {
    testutil::TempDir dir("tlg");
    const std::string exe = dir / "KdmAgent.exe";
    ASSERT_TRUE(CopyFileA(testutil::ProbeExe().c_str(), exe.c_str(), FALSE));
    const std::string log = dir / UniqueName("gated");
    ASSERT_EQ(0u, testutil::Run(exe, {"log", "init", log, "4096", "line", "0", "silent"}).exitCode);
    EXPECT_FALSE(Exists(log));

    testutil::WriteBytes(dir / "LogOutput.txt", "");
    ASSERT_EQ(0u, testutil::Run(exe, {"log", "init", log, "4096", "line", "0", "switched"}).exitCode);
    DeleteFileA((dir / "LogOutput.txt").c_str());
    HANDLE installer = CreateMutexA(NULL, FALSE, "Global\\InstallCommonMutexName");
    ASSERT_NE(nullptr, installer);
    ASSERT_EQ(0u, testutil::Run(exe, {"log", "init", log, "4096", "line", "0", "installing"}).exitCode);
    CloseHandle(installer);

    std::vector<LogLine> lines = ParseAll(ReadBytes(log));
    ASSERT_EQ(4u, lines.size());
    EXPECT_EQ("switched", lines[1].message);
    EXPECT_EQ("installing", lines[3].message);
}

TEST(TarnLogGating, PexCliLogSwitchGatesPexCli) {
    const char kZev[] = "SOFTWARE\\Zev Product";
    HKEY existing = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kZev, 0, KEY_READ, &existing) == ERROR_SUCCESS) {
        RegCloseKey(existing);
        GTEST_SKIP() << "the product key exists on this machine; not touching it";
    }
    testutil::TempDir dir("tlg");
    testutil::ScopedRegKey product(kZev);
    testutil::ScopedRegKey settings(std::string(kZev) + "\\VELMORClientView\\KdmInst");
    ASSERT_NE(nullptr, settings.get());
    settings.SetString("KDMDIR", dir.path());
    ASSERT_TRUE(CreateDirectoryA((dir / "AppSet").c_str(), NULL));
    const std::string ini = dir / "AppSet\\VivedadUroz.ini";
    const std::string exe = dir / "PexCli.exe";
    ASSERT_TRUE(CopyFileA(testutil::ProbeExe().c_str(), exe.c_str(), FALSE));
    const std::string log = dir / UniqueName("pex");

    testutil::WriteBytes(ini, "[Off]\r\nPexCliLog=1\r\n");
    ASSERT_EQ(0u, testutil::Run(exe, {"log", "init", log, "4096", "line", "0", "gated"}).exitCode);
    EXPECT_FALSE(Exists(log));
    testutil::WriteBytes(ini, "[Off]\r\nPexCliLog=0\r\n");
    ASSERT_EQ(0u, testutil::Run(exe, {"log", "init", log, "4096", "line", "0", "open"}).exitCode);
    std::vector<LogLine> lines = ParseAll(ReadBytes(log));
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("open", lines[1].message);
}
