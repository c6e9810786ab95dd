// An access violation in a program set up like the application: the report
// in the normal log ("!!" lines of the crash handler), the flush, and the
// mini-dump with its marker file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TarnLog/TarnLogExcptionCallStack.h"
#include "TestUtil.h"

using testutil::Exists;
using testutil::ReadBytes;
using testutil::WriteBytes;
using testutil::TempDir;

namespace {

const char kRule[] = "========================================";
const char kDumpRule[] = "=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-";

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + 1)
        parts.push_back(text.substr(start, at - start));
    parts.push_back(text.substr(start));
    return parts;
}

// The code the crash arrives with. On a machine that runs 32-bit Wine
// through qemu-i386 user emulation the page fault reaches Wine without its
// trap number, and Wine reports EXCEPTION_ILLEGAL_INSTRUCTION for the same
// null store; everywhere else it is EXCEPTION_ACCESS_VIOLATION.
DWORD CrashCode() {
    std::string binfmt = ReadBytes("Z:\\proc\\sys\\fs\\binfmt_misc\\i386-elf");
    bool emulated = binfmt.find("enabled") == 0 && binfmt.find("qemu-i386") != std::string::npos;
    return emulated ? static_cast<DWORD>(EXCEPTION_ILLEGAL_INSTRUCTION) : static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION);
}

// The crasher in a folder of its own whose KDMSys.ini names the product log
// folder (LOGDIR) for the dump.
class Crash : public ::testing::Test {
protected:
    testutil::ScopedEnv noInstDir{"VELMOR_INSTDIR", nullptr};
    TempDir dir{"crash"};
    std::string exe = dir / "crasher.exe";
    std::string productLogs = dir / "prodlog";
    std::string dumpPath = productLogs + "\\VELMOR.DMP";

    void SetUp() override {
        ASSERT_TRUE(testutil::Copy(testutil::OwnFolder() + "crasher.exe", exe));
        ASSERT_TRUE(CreateDirectoryA(productLogs.c_str(), nullptr));
        WriteBytes(dir / "KDMSys.ini", "[PATH]\r\nLOGDIR=" + productLogs + "\r\n");
    }

    // Runs the crasher; returns the messages of the crash handler's lines.
    std::vector<std::string> CrashAndReport(const std::vector<std::string>& args = {}) {
        testutil::RunResult run = testutil::Run(exe, args);
        EXPECT_EQ(CrashCode(), run.exitCode);
        std::string log = ReadBytes(dir / "Log\\crasher.exe.log");
        EXPECT_NE(std::string::npos, log.find("crasher ready"));
        EXPECT_EQ(std::string::npos, log.find("not reached"));
        std::vector<std::string> report;
        for (const std::string& line : Split(log, '\n')) {
            std::vector<std::string> fields = Split(line, '\t');
            if (fields.size() < 6 || fields[2] != "TarnLogExcptionCallStack.cpp") continue;
            EXPECT_EQ("!!", fields[1]) << line;
            std::string message = fields.back();
            if (!message.empty() && message.back() == '\r') message.pop_back();
            report.push_back(message);
        }
        return report;
    }
};

bool StartsWith(const std::string& text, const std::string& start) { return text.compare(0, start.size(), start) == 0; }

// Index of the first line at or after from that starts with start, or -1.
int Find(const std::vector<std::string>& lines, const std::string& start, size_t from = 0) {
    for (size_t i = from; i < lines.size(); ++i)
        if (StartsWith(lines[i], start)) return static_cast<int>(i);
    return -1;
}

}  // namespace

TEST_F(Crash, AccessViolationWritesWholeReportAndFlushes) {
    std::vector<std::string> report = CrashAndReport();
    std::string all;
    for (const std::string& line : report) all += line + "\n";
    ASSERT_GE(report.size(), 10u) << all;
    EXPECT_EQ(kRule, report[0]);
    EXPECT_TRUE(StartsWith(report[1], "例外発生 ThreadID=")) << all;
    char codeLine[64];
    wsprintfA(codeLine, "例外コード 0x%08X, 例外発生アドレス 0x", CrashCode());
    EXPECT_TRUE(StartsWith(report[2], codeLine)) << all;
    EXPECT_EQ("ロードモジュール", report[3]);
    int crasherModule = Find(report, "  [0x");
    EXPECT_EQ(4, crasherModule);
    EXPECT_NE(std::string::npos, all.find("～0x")) << all;
    EXPECT_NE(std::string::npos, all.find("] crasher.exe\n")) << all;
    int module = Find(report, "例外発生モジュール crasher(0x");
    int stack = Find(report, "コールスタック");
    ASSERT_GT(module, crasherModule) << all;
    EXPECT_EQ(module + 1, stack);
    // Symbolised frames, innermost first.
    int here = Find(report, "  0x", stack);
    ASSERT_GT(here, stack);
    EXPECT_NE(std::string::npos, report[here].find("[crasher:0x")) << all;
    EXPECT_NE(std::string::npos, report[here].find("] CrashHere() + 0x")) << all;
    EXPECT_NE(std::string::npos, report[here + 1].find("] CrashCallerWithANameLongerThanTheHundredAndTwentyBytesThatAnOldCutOfSymbolNamesKept_SoTheReportMustShowItWholeInItsLineAndMore() + 0x")) << all;
    EXPECT_NE(std::string::npos, report[here + 2].find("] main() + 0x")) << all;
    EXPECT_EQ(kRule, report.back());
    // No marker: no dump and no dump lines.
    EXPECT_EQ(-1, Find(report, kDumpRule));
    EXPECT_FALSE(Exists(dumpPath));
    // The flush after the closing line opened (and so created) the dump log.
    EXPECT_TRUE(Exists(dir / "Log\\crasher_dmp.exe.log"));
}

TEST_F(Crash, MarkerFileGivesFullMemoryDump) {
    WriteBytes(productLogs + "\\KDMDMP.INI", "");
    std::vector<std::string> report = CrashAndReport();
    ASSERT_GE(report.size(), 3u);
    EXPECT_EQ(kDumpRule, report[report.size() - 3]);
    EXPECT_EQ("ダンプファイル作成 = 0", report[report.size() - 2]);
    EXPECT_EQ(kDumpRule, report.back());
    std::string dump = ReadBytes(dumpPath);
    ASSERT_GT(dump.size(), 1024u * 1024u);  // full memory, not a bare header
    EXPECT_EQ("MDMP", dump.substr(0, 4));
}

TEST_F(Crash, DumpSwitchOffWritesNoDump) {
    WriteBytes(productLogs + "\\KDMDMP.INI", "");
    std::vector<std::string> report = CrashAndReport({"nodump"});
    EXPECT_EQ(kRule, report.back());
    EXPECT_FALSE(Exists(dumpPath));
}

TEST_F(Crash, EmptyLogDirWritesNoDumpInTheCurrentFolder) {
    WriteBytes(dir / "KDMSys.ini", "[PATH]\r\nLOGDIR=\r\n");
    WriteBytes(dir / "KDMDMP.INI", "");
    char saved[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, saved);
    SetCurrentDirectoryA(dir.path().c_str());  // the crasher inherits it
    std::vector<std::string> report = CrashAndReport();
    SetCurrentDirectoryA(saved);
    EXPECT_EQ(kRule, report.back());
    EXPECT_FALSE(Exists(dir / "VELMOR.DMP"));
}

TEST_F(Crash, UnwritableDumpReportsCodeAndLeavesNoFile) {
    WriteBytes(productLogs + "\\KDMDMP.INI", "");
    ASSERT_TRUE(CreateDirectoryA(dumpPath.c_str(), nullptr));  // a folder where the dump should go
    std::vector<std::string> report = CrashAndReport();
    ASSERT_GE(report.size(), 3u);
    EXPECT_EQ("ダンプファイル作成 = 5", report[report.size() - 2]);
    EXPECT_TRUE(GetFileAttributesA(dumpPath.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
}

namespace {

std::vector<std::string> g_lines;
void Collect(const char* line, BOOL) { g_lines.push_back(line); }

// The report of a made-up exception raised here.
void ReportHere() {
    CONTEXT context = {};
    RtlCaptureContext(&context);
    EXCEPTION_RECORD record = {};
    record.ExceptionCode = EXCEPTION_BREAKPOINT;
    record.ExceptionAddress = reinterpret_cast<PVOID>(context.Eip);
    EXCEPTION_POINTERS pointers = {&record, &context};
    InstallCrashHandler(Collect, nullptr, FALSE);
    CrashExceptionFilter(&pointers);
}

}  // namespace

TEST(CrashReport, OnlyTheWholeLineIsCutAndNeverInsideACharacter) {
    // A module line of 260 bytes: the 27 bytes before the name put the first
    // byte of the second 表 at byte 254, so the cut line ends with the first.
    TempDir dir("cut");
    const std::string name = std::string(225, 'x') + "表表";
    std::string dll = dir / (name + ".dll");
    ASSERT_TRUE(testutil::Copy(testutil::OwnFolder() + "..\\installinfo\\info_verdll.dll", dll));
    HMODULE module = LoadLibraryA(dll.c_str());
    ASSERT_NE(nullptr, module);
    g_lines.clear();
    ReportHere();
    FreeLibrary(module);
    std::string all, moduleLine;
    for (const std::string& line : g_lines) {
        all += line + "\n";
        EXPECT_LE(line.size(), 255u) << line;
        if (line.find("] xxx") != std::string::npos) moduleLine = line;
    }
    ASSERT_FALSE(moduleLine.empty()) << all;
    EXPECT_EQ("] " + std::string(225, 'x') + "表", moduleLine.substr(moduleLine.find("] x"))) << all;
}

TEST(WriteMiniDump, WritesWithoutExceptionAndLeavesNothingOnFailure) {
    TempDir dir("dump");
    std::string path = dir / "self.dmp";
    EXPECT_EQ(0u, WriteMiniDump(path.c_str(), nullptr, MiniDumpNormal));
    EXPECT_EQ("MDMP", ReadBytes(path).substr(0, 4));
    std::string missing = dir / "no\\such.dmp";
    EXPECT_EQ(3u, WriteMiniDump(missing.c_str(), nullptr, MiniDumpNormal));
    EXPECT_FALSE(Exists(missing));
}
