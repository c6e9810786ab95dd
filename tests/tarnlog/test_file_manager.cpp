// The log file manager on real files. Each test uses a table of its own, whose
// destruction closes the handles, so the temp folders can be removed.
#include <windows.h>
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "TarnLog/TarnLogFileManager.h"
#include "TestUtil.h"

using TarnLogFileManager::CLogFileMap;
using testutil::Exists;
using testutil::ReadBytes;
using testutil::WriteBytes;

TEST(TarnLogFileManager, SamePathInAnyLetterCaseIsOneEntry) {
    testutil::TempDir dir("tlfm");
    CLogFileMap files;
    // ソ and 表 end in 0x5C; the comparison must still see one name.
    const std::string path = dir / "\x83\x5C\x95\x5C" "App.log";
    const std::string upper = dir / "\x83\x5C\x95\x5C" "APP.LOG";
    EXPECT_EQ(0, files.Open(path.c_str()));
    EXPECT_EQ(0, files.Open(upper.c_str()));
    EXPECT_EQ(1u, files.GetEntryCount());
    EXPECT_EQ(0, files.Append(path.c_str(), "a"));
    EXPECT_EQ(0, files.Append(upper.c_str(), "b"));
    EXPECT_EQ("ab", ReadBytes(path));
    EXPECT_EQ(2, files.GetSize(upper.c_str()));
}

TEST(TarnLogFileManager, OperationsOnUnknownPathsReportCodes) {
    testutil::TempDir dir("tlfm");
    CLogFileMap files;
    const std::string path = dir / "never.log";
    WriteBytes(path, "keep");
    EXPECT_EQ(-3, files.Append(path.c_str(), "x"));
    EXPECT_EQ("keep", ReadBytes(path));
    EXPECT_EQ(-1, files.GetSize(path.c_str()));
    EXPECT_EQ(-3, files.Flush(path.c_str()));
    EXPECT_EQ(-3, files.Rotate(path.c_str(), 0));
    EXPECT_EQ(0, files.Open(path.c_str()));
    EXPECT_EQ(-2, files.Append(path.c_str(), nullptr));
    EXPECT_EQ(0, files.Flush(path.c_str()));
    EXPECT_EQ("keep", ReadBytes(path));  // opening keeps the content
}

TEST(TarnLogFileManager, AppendGoesToTheEndAfterAnotherWriter) {
    testutil::TempDir dir("tlfm");
    CLogFileMap files;
    const std::string path = dir / "shared.log";
    ASSERT_EQ(0, files.Open(path.c_str()));
    ASSERT_EQ(0, files.Append(path.c_str(), "a"));
    HANDLE other = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                               0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, other);
    DWORD written = 0;
    WriteFile(other, "bbb", 3, &written, NULL);
    CloseHandle(other);
    ASSERT_EQ(0, files.Append(path.c_str(), "c"));
    EXPECT_EQ("abbbc", ReadBytes(path));
}

TEST(TarnLogFileManager, RotateWithOneBackupReplacesBakAndEmptiesFile) {
    testutil::TempDir dir("tlfm");
    CLogFileMap files;
    const std::string path = dir / "r1.log";
    WriteBytes(path + ".BAK", "older");
    ASSERT_EQ(0, files.Open(path.c_str()));
    ASSERT_EQ(0, files.Append(path.c_str(), "current"));
    EXPECT_EQ(0, files.Rotate(path.c_str(), 1));
    EXPECT_EQ("current", ReadBytes(path + ".BAK"));
    EXPECT_FALSE(Exists(path + ".BAK.2"));
    EXPECT_EQ(0, files.GetSize(path.c_str()));
    ASSERT_EQ(0, files.Append(path.c_str(), "next"));
    EXPECT_EQ("next", ReadBytes(path));  // written at offset 0
}

TEST(TarnLogFileManager, RotateWithThreeBackupsShiftsThem) {
    testutil::TempDir dir("tlfm");
    CLogFileMap files;
    const std::string path = dir / "r3.log";
    WriteBytes(path + ".BAK", "newest");
    WriteBytes(path + ".BAK.2", "middle");
    WriteBytes(path + ".BAK.3", "oldest");
    ASSERT_EQ(0, files.Open(path.c_str()));
    ASSERT_EQ(0, files.Append(path.c_str(), "current"));
    EXPECT_EQ(0, files.Rotate(path.c_str(), 3));
    EXPECT_EQ("current", ReadBytes(path + ".BAK"));
    EXPECT_EQ("newest", ReadBytes(path + ".BAK.2"));
    EXPECT_EQ("middle", ReadBytes(path + ".BAK.3"));
    EXPECT_FALSE(Exists(path + ".BAK.4"));
    EXPECT_EQ("", ReadBytes(path));
}

TEST(TarnLogFileManager, RotateWithNoBackupDiscardsContent) {
    testutil::TempDir dir("tlfm");
    CLogFileMap files;
    const std::string path = dir / "r0.log";
    ASSERT_EQ(0, files.Open(path.c_str()));
    ASSERT_EQ(0, files.Append(path.c_str(), "gone"));
    EXPECT_EQ(0, files.Rotate(path.c_str(), 0));
    EXPECT_FALSE(Exists(path + ".BAK"));
    EXPECT_EQ("", ReadBytes(path));
}

TEST(TarnLogFileManager, RotateThatCannotCopyKeepsContent) {
    testutil::TempDir dir("tlfm");
    CLogFileMap files;
    const std::string path = dir / "locked.log";
    // A backup held open without sharing (as by an editor) cannot be replaced.
    HANDLE bak = CreateFileA((path + ".BAK").c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, bak);
    ASSERT_EQ(0, files.Open(path.c_str()));
    ASSERT_EQ(0, files.Append(path.c_str(), "kept"));
    EXPECT_EQ(-7, files.Rotate(path.c_str(), 1));
    EXPECT_EQ("kept", ReadBytes(path));
    CloseHandle(bak);
}

TEST(TarnLogFileManager, OpenInMissingFolderFailsUntilFolderExists) {
    testutil::TempDir dir("tlfm");
    CLogFileMap files;
    const std::string folder = dir / "later";
    const std::string path = folder + "\\x.log";
    EXPECT_EQ(-1, files.Open(path.c_str()));
    EXPECT_EQ(0u, files.GetEntryCount());
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), NULL));
    EXPECT_EQ(0, files.Open(path.c_str()));
    EXPECT_EQ(1u, files.GetEntryCount());
}

TEST(TarnLogFileManager, FirstUseFromManyThreadsMakesOneManager) {
    std::vector<CLogFileMap*> seen(8, nullptr);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&seen, i] { seen[i] = CLogFileMap::GetInstance(); });
    for (std::thread& t : threads) t.join();
    ASSERT_NE(nullptr, seen[0]);
    for (CLogFileMap* m : seen) EXPECT_EQ(seen[0], m);
}
