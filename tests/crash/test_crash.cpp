// The crash report of a made-up exception here (every frame shows), dump conditions, line cut; a real crash: tests/e2e.
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

__attribute__((noinline)) void ReportHere(const char* dumpFolder) {
    CONTEXT context = {};
    RtlCaptureContext(&context);
    EXCEPTION_RECORD record = {EXCEPTION_BREAKPOINT, 0, nullptr, reinterpret_cast<PVOID>(context.Eip)};
    EXCEPTION_POINTERS pointers = {&record, &context};
    g_report.clear();
    InstallCrashHandler(Collect, dumpFolder, FALSE);
    CrashExceptionFilter(&pointers);
}

// Its name is longer than the report ever cut a single name to.
__attribute__((noinline)) void ReportFromAFunctionWithANameLongerThanTheHundredAndTwentyBytesThatAnOldCutOfSymbolNamesKept_SoTheReportMustShowItWholeInItsLine(const char* dumpFolder) {
    ReportHere(dumpFolder);
}

TEST(Crash, ReportDumpConditionsAndTheWholeLineCut) {
    // A module line of 260 bytes: 27 bytes before the name put the second 表's first byte at 254: the cut ends at the first.
    testutil::TempDir dir("cut");
    const std::string dll = dir / (std::string(225, 'x') + "表表.dll");
    ASSERT_TRUE(testutil::Copy(testutil::OwnFolder() + "..\\kdxglobal\\rvu\\ZevRvuC.dll", dll));
    HMODULE module = LoadLibraryA(dll.c_str());
    ASSERT_NE(nullptr, module);
    // current: the handler is given "" as the folder, and the current folder is this one.
    const struct { const char* folder; bool marker, dumpIsFolder, current; std::string tail; } rows[] = {
        {"nomarker", false, false, false, kRule + "\n"},
        {"unwritable", true, true, false, kRule + "\n" + kDumpRule + "\nダンプファイル作成 = 5\n" + kDumpRule + "\n"},
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
        ReportFromAFunctionWithANameLongerThanTheHundredAndTwentyBytesThatAnOldCutOfSymbolNamesKept_SoTheReportMustShowItWholeInItsLine(
            row.current ? "" : folder.c_str());
        SetCurrentDirectoryA(saved);
        // In this order; "\n" ties a piece to the start or end of a line.
        const std::string pieces[] = {kRule + "\n例外発生 ThreadID=" + std::to_string(GetCurrentThreadId()) +
            "\n例外コード 0x80000003, 例外発生アドレス 0x", "\nロードモジュール\n  [0x", "～0x", "] crash_tests.exe\n",
            "\n例外発生モジュール crash_tests(0x", "\nコールスタック\n  0x", "[crash_tests:0x",
            "] ReportFromAFunctionWithANameLongerThanTheHundredAndTwentyBytesThatAnOldCutOfSymbolNamesKept_SoTheReport"
            "MustShowItWholeInItsLine() + 0x", "] Crash_ReportDumpConditionsAndTheWholeLineCut_Test::TestBody() + 0x", "\n" + row.tail};
        size_t at = 0;
        for (const std::string& piece : pieces) ASSERT_NE(npos, at = g_report.find(piece, at)) << piece << " in\n" << g_report;
        EXPECT_EQ(g_report.size(), at + pieces[9].size()) << g_report;
        EXPECT_EQ(row.dumpIsFolder, testutil::Exists(folder + "\\VELMOR.DMP"));  // no dump file in any row
        EXPECT_NE(npos, g_report.find("] " + std::string(225, 'x') + "表\n")) << g_report;
    }
    FreeLibrary(module);
}
