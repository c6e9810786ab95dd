// Path joins and the directory search, with double-byte names whose second
// byte is 0x5C (ソ 83 5C, 表 95 5C, 能 94 5C).
#include <gtest/gtest.h>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>
#include "TestUtil.h"
#include "LIB/Util/PellionUtil.h"

namespace {

std::string Appended(const char* path, const char* name, size_t size = MAX_PATH) {
    char buf[MAX_PATH] = {0};
    strcpy(buf, path);
    return PathAppendInPlace(buf, name, size) ? buf : std::string("<failed>") + buf;
}

std::string Joined(const char* folder, const char* name) {
    std::string out = "junk";
    JoinPath(out, folder, name);
    return out;
}

}  // namespace

TEST(PathAppend, JoinsWithOneBackslash) {
    EXPECT_EQ("C:\\file.txt", Appended("C:\\", "file.txt"));
    EXPECT_EQ("C:\\x", Appended("C:", "x"));
    EXPECT_EQ("C:\\a\\b", Appended("C:\\a", "\\b"));
    EXPECT_EQ("C:\\a\\b", Appended("C:\\a\\", "b"));
    EXPECT_EQ("C:\\a\\b", Appended("C:\\a\\", "\\b"));
}

TEST(PathAppend, NormalisesDotsButNeverTheDrive) {
    EXPECT_EQ("C:\\a\\c", Appended("C:\\a\\b", "..\\c"));
    EXPECT_EQ("C:\\a\\b\\c", Appended("C:\\a", ".\\b\\.\\c"));
    EXPECT_EQ("C:\\x", Appended("C:\\a", "..\\..\\..\\x"));
    EXPECT_EQ("C:\\", Appended("C:\\a", ".."));
}

TEST(PathAppend, NetworkNameReplacesThePath) {
    EXPECT_EQ("\\\\server\\share\\x", Appended("C:\\a", "\\\\server\\share\\x"));
    EXPECT_EQ("\\\\server\\share", Appended("C:\\a", "\\\\server\\share\\x\\.."));
}

TEST(PathAppend, DoubleByteTrailBackslashIsNoSeparator) {
    EXPECT_EQ("C:\\ソ\\表", Appended("C:\\ソ", "表"));
    EXPECT_EQ("C:\\表", Appended("C:\\ソ", "..\\表"));
    EXPECT_EQ("C:\\能", Appended("C:\\能", "."));
    EXPECT_EQ("C:\\ソ表\\能\\x", Appended("C:\\ソ表\\能\\y", "..\\x"));
}

TEST(PathAppend, ArgumentsAndRoom) {
    char buf[MAX_PATH] = "C:\\a";
    EXPECT_TRUE(PathAppendInPlace(buf, ""));
    EXPECT_STREQ("C:\\a", buf);
    EXPECT_FALSE(PathAppendInPlace(buf, nullptr));
    EXPECT_FALSE(PathAppendInPlace(nullptr, "x"));
    EXPECT_EQ("<failed>C:\\abc", Appended("C:\\abc", "defghijk", 12));
    EXPECT_EQ("C:\\abc\\def", Appended("C:\\abc", "def", 11));
}

TEST(MakePath, JoinsOrGivesEmpty) {
    EXPECT_EQ("C:\\d\\*", MakePath("C:\\d", "*"));
    EXPECT_EQ("C:\\ソ\\表.txt", MakePath("C:\\ソ", "表.txt"));
    EXPECT_EQ("", MakePath(nullptr, "x"));
    EXPECT_EQ("", MakePath("C:\\d", nullptr));
    const std::string longName(300, 'n');
    EXPECT_EQ("C:\\d\\" + longName, MakePath("C:\\d", longName.c_str()));
}

TEST(JoinPath, ExactlyOneBackslashNoNormalisation) {
    EXPECT_EQ("C:\\a\\b", Joined("C:\\a\\", "\\b"));
    EXPECT_EQ("C:\\a\\b", Joined("C:\\a", "b"));
    EXPECT_EQ("C:\\a\\b", Joined("C:\\a", "\\b"));
    EXPECT_EQ("C:\\a\\b", Joined("C:\\a\\", "b"));
    EXPECT_EQ("C:\\ソ\\x.lnk", Joined("C:\\ソ", "x.lnk"));
    EXPECT_EQ("C:\\表\\能", Joined("C:\\表\\", "能"));
    EXPECT_EQ("C:\\a\\..\\b", Joined("C:\\a", "..\\b"));
    EXPECT_EQ("x", Joined("", "x"));
    EXPECT_EQ("C:\\a", Joined("C:\\a", ""));
    EXPECT_EQ("", Joined(nullptr, nullptr));
}

TEST(FindFile, WalksDoubleByteNames) {
    testutil::TempDir dir("find");
    const std::string root = dir / "ソ表";
    ASSERT_TRUE(CreateDirectoryA(root.c_str(), nullptr));
    testutil::WriteBytes(root + "\\表.txt", "x");
    ASSERT_TRUE(CreateDirectoryA((root + "\\能").c_str(), nullptr));

    CFindFile find(root.c_str(), "*");
    CFindFile::FindEntry e;
    DWORD error = 1;
    std::vector<std::string> seen;
    while (find.FindNext(e, &error)) {
        EXPECT_EQ(0u, error);
        EXPECT_EQ(root, e.directory);
        if (e.IsDots()) continue;
        seen.push_back(e.GetFullPath() + (e.IsFolder() ? "<dir>" : ""));
    }
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), error);
    std::sort(seen.begin(), seen.end());
    ASSERT_EQ(2u, seen.size());
    EXPECT_EQ(root + "\\能<dir>", seen[0]);
    EXPECT_EQ(root + "\\表.txt", seen[1]);
}

TEST(FindFile, MissingFolderReportsTheError) {
    CFindFile find("C:\\bench-tmp\\no-such-folder-here", "*");
    CFindFile::FindEntry e;
    DWORD error = 0;
    EXPECT_FALSE(find.FindNext(e, &error));
    EXPECT_TRUE(error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND) << error;
}
