// One real crash of a program set up like the application (report, flush, mini-dump; a worker thread's crash is
// checked end to end, tests/e2e); the dump conditions and the line cut on made-up exceptions here.
#include <gtest/gtest.h>
#include "TarnLog/TarnLogExcptionCallStack.h"
#include "TestUtil.h"

static const std::string kRule = "========================================";
static const std::string kDumpRule = "=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-";
static const std::string::size_type npos = std::string::npos;

static std::string g_report;  // what the handler reported here, a line each
static void Collect(const char* line, BOOL) {
    EXPECT_LE(strlen(line), 255u) << line;
    g_report += std::string(line) + "\n";
}

TEST(Crash, AccessViolationWritesReportFlushesAndDumps) {
    testutil::ScopedEnv noInstDir("VELMOR_INSTDIR", nullptr);
    testutil::TempDir dir("crash");
    const std::string exe = dir / "crasher.exe", logs = dir / "prodlog";
    ASSERT_TRUE(testutil::Copy(testutil::OwnFolder() + "crasher.exe", exe));
    ASSERT_TRUE(CreateDirectoryA(logs.c_str(), nullptr));
    testutil::WriteBytes(dir / "KDMSys.ini", "[PATH]\r\nLOGDIR=" + logs + "\r\n");
    testutil::WriteBytes(logs + "\\KDMDMP.INI", "");
    DWORD code = testutil::Run(exe, {}).exitCode;
    // Under qemu-i386 user emulation Wine gets the fault without its trap number: an illegal instruction.
    EXPECT_TRUE(code == EXCEPTION_ACCESS_VIOLATION || code == EXCEPTION_ILLEGAL_INSTRUCTION) << code;
    std::string all;
    for (const testutil::LogLine& l : testutil::ParseAll(testutil::ReadBytes(dir / "Log\\crasher.exe.log"))) {
        if (l.source != "TarnLogExcptionCallStack.cpp") continue;
        EXPECT_EQ("!!", l.mark);
        all += l.message + "\n";
    }
    char codeLine[64];
    wsprintfA(codeLine, "\n例外コード 0x%08X, 例外発生アドレス 0x", code);
    // In this order; "\n" ties a piece to the start or end of a line.
    const std::string pieces[] = {kRule + "\n例外発生 ThreadID=", codeLine, "\nロードモジュール\n  [0x", "～0x",
        "] crasher.exe\n", "\n例外発生モジュール crasher(0x", "\nコールスタック\n  0x", "[crasher:0x",
        "] CrashHere() + 0x", "] CrashCallerWithANameLongerThanTheHundredAndTwentyBytesThatAnOldCutOfSymbolNames"
        "Kept_SoTheReportMustShowItWholeInItsLineAndMore() + 0x", "] main() + 0x",
        "\n" + kRule + "\n" + kDumpRule + "\nダンプファイル作成 = 0\n" + kDumpRule + "\n"};
    size_t at = 0;
    for (const std::string& piece : pieces) ASSERT_NE(npos, at = all.find(piece, at)) << piece << " not in\n" << all;
    EXPECT_EQ(all.size(), at + pieces[11].size()) << all;
    const std::string dump = testutil::ReadBytes(logs + "\\VELMOR.DMP");
    EXPECT_GT(dump.size(), 1024u * 1024u);  // full memory, not a bare header
    EXPECT_EQ("MDMP", dump.substr(0, 4));
    EXPECT_TRUE(testutil::Exists(dir / "Log\\crasher_dmp.exe.log"));  // the flush after the closing line made it
}

TEST(Crash, DumpConditionsAndTheWholeLineCut) {
    // A module line of 260 bytes: the 27 bytes before the name put the first
    // byte of the second 表 at byte 254, so the cut line ends with the first.
    testutil::TempDir dir("cut");
    const std::string dll = dir / (std::string(225, 'x') + "表表.dll");
    ASSERT_TRUE(testutil::Copy(testutil::OwnFolder() + "..\\kdxglobal\\rvu\\ZevRvuC.dll", dll));
    HMODULE module = LoadLibraryA(dll.c_str());
    ASSERT_NE(nullptr, module);
    // current: the handler is given "" as the folder, and the current folder is this one.
    const struct { const char* folder; bool marker, dumpIsFolder, current; std::string tail; } rows[] = {
                {"nomarker", false, false, false, kRule + "\n"},
                {"unwritable", true, true, false, kDumpRule + "\nダンプファイル作成 = 5\n" + kDumpRule + "\n"},
                {"emptylogdir", true, false, true, kRule + "\n"}};
    char saved[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, saved);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.folder);
        const std::string folder = dir / row.folder;
        CreateDirectoryA(folder.c_str(), nullptr);
        if (row.marker) testutil::WriteBytes(folder + "\\KDMDMP.INI", "");
        if (row.dumpIsFolder) CreateDirectoryA((folder + "\\VELMOR.DMP").c_str(), nullptr);
        if (row.current) SetCurrentDirectoryA(folder.c_str());
        CONTEXT context = {};
        RtlCaptureContext(&context);
        EXCEPTION_RECORD record = {EXCEPTION_BREAKPOINT, 0, nullptr, reinterpret_cast<PVOID>(context.Eip)};
        EXCEPTION_POINTERS pointers = {&record, &context};
        g_report.clear();
        InstallCrashHandler(Collect, row.current ? "" : folder.c_str(), FALSE);
        CrashExceptionFilter(&pointers);
        SetCurrentDirectoryA(saved);
        ASSERT_GT(g_report.size(), row.tail.size());
        EXPECT_EQ(row.tail, g_report.substr(g_report.size() - row.tail.size())) << g_report;
        EXPECT_EQ(row.dumpIsFolder, testutil::Exists(folder + "\\VELMOR.DMP"));  // no dump file in any row
        EXPECT_NE(npos, g_report.find("] " + std::string(225, 'x') + "表\n")) << g_report;
    }
    FreeLibrary(module);
}
