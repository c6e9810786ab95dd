// Path helpers: module folder, file name removal, backslash, folder trees,
// with Shift-JIS names whose second byte is a backslash.
#include <gtest/gtest.h>

#include <string>

#include "TestUtil.h"
#include "Util/KDXGlobal.h"

using testutil::Exists;
using testutil::TempDir;

TEST(PathHelpers, ModuleFolderIsOwnFolderWithBackslash) {
    char buffer[MAX_PATH];
    GetModuleFolder(buffer, sizeof(buffer));
    EXPECT_EQ(testutil::OwnFolder(), buffer);
}

TEST(PathHelpers, AddBackslashSeesDoubleByteTrailBytes) {
    char path[MAX_PATH] = "C:\\ソ";  // ends in 83 5C: not a backslash
    ASSERT_TRUE(AddBackslash(path, sizeof(path)));
    EXPECT_STREQ("C:\\ソ\\", path);
    ASSERT_TRUE(AddBackslash(path, sizeof(path)));  // a real one stays single
    EXPECT_STREQ("C:\\ソ\\", path);
    char tight[4] = "C:x";
    EXPECT_FALSE(AddBackslash(tight, sizeof(tight)));
    EXPECT_STREQ("C:x", tight);
}

TEST(PathHelpers, RemoveFileSpecKeepsDoubleByteFolders) {
    char path[MAX_PATH] = "C:\\表\\能.exe";
    EXPECT_TRUE(RemoveFileSpec(path));
    EXPECT_STREQ("C:\\表", path);
    char table[MAX_PATH] = "C:\\表";
    EXPECT_TRUE(RemoveFileSpec(table));
    EXPECT_STREQ("C:\\", table);
    EXPECT_FALSE(RemoveFileSpec(nullptr));
}

TEST(CreateDirectoryTree, CreatesEveryMissingParent) {
    TempDir dir("kdxtree");
    std::string deep = dir / "ソ\\表\\能";
    EXPECT_EQ(1, CreateDirectoryTree(deep.c_str(), nullptr, 7, FALSE));
    EXPECT_TRUE(Exists(deep));
    EXPECT_TRUE(Exists(dir / "ソ"));
    // Already there: the caller's value; with a trailing backslash too.
    EXPECT_EQ(7, CreateDirectoryTree(deep.c_str(), nullptr, 7, FALSE));
    EXPECT_EQ(1, CreateDirectoryTree((dir / "a\\b\\").c_str(), nullptr, 0, FALSE));
    EXPECT_TRUE(Exists(dir / "a\\b"));
}

TEST(CreateDirectoryTree, RefusesBadPaths) {
    EXPECT_EQ(0, CreateDirectoryTree(nullptr, nullptr, 1, FALSE));
    EXPECT_EQ(0, CreateDirectoryTree("", nullptr, 1, FALSE));
    std::string tooLong = "C:\\bench-tmp\\" + std::string(260, 'x');
    EXPECT_EQ(0, CreateDirectoryTree(tooLong.c_str(), nullptr, 1, FALSE));
    EXPECT_FALSE(Exists("C:\\bench-tmp\\" + std::string(200, 'x')));
    // A file in the way of a parent.
    TempDir dir("kdxtree");
    testutil::WriteBytes(dir / "file", "x");
    EXPECT_EQ(0, CreateDirectoryTree((dir / "file\\sub\\deeper").c_str(), nullptr, 1, FALSE));
}
