// The security walk and the access-list operations. The walk's owner and
// list changes are recorded through the seam (Wine stores neither); the
// list operations and the real calls run against Wine itself.
#include <gtest/gtest.h>

#include "Ins/InsCmn/Sequre.h"
#include "SecurityTestUtil.h"
#include "TestUtil.h"

#include <string>
#include <vector>

using sectest::RecordingCalls;
using Entries = std::vector<std::string>;

namespace {

const Entries kEveryoneFull = {"S-1-1-0:1F01FF:3"};

// root: a.txt, ソ表\e.txt (second bytes 0x5C), sub\b.txt, sub\deep\c.txt,
// x.TMP, .dot\d.txt
class Tree {
public:
    Tree() : dir_("ops-walk") {
        root = dir_.path();
        for (const char* d : {"ソ表", "sub", "sub\\deep", ".dot"}) CreateDirectoryA((root + "\\" + d).c_str(), NULL);
        for (const char* f : {"a.txt", "ソ表\\e.txt", "sub\\b.txt", "sub\\deep\\c.txt", "x.TMP", ".dot\\d.txt"})
            testutil::WriteBytes(root + "\\" + f, "");
    }
    std::string root;

private:
    testutil::TempDir dir_;
};

class WalkTest : public ::testing::Test {
protected:
    WalkTest() { AddAccessEntry(acl.out(), 0x1F01FF, "SYSTEM"); }
    CAclHolder acl;
    Tree tree;
    const Entries kList = {"S-1-5-18:1F01FF:3"};
};

TEST_F(WalkTest, OwnerThenListForEveryObjectFoldersLast) {
    RecordingCalls rec;
    ASSERT_TRUE(ApplySecurityTree(tree.root.c_str(), acl.get()));
    const std::string& r = tree.root;
    ASSERT_GE(rec.calls.size(), 4u);
    // The folder itself: owner, opened to everyone, ... owner, its list.
    EXPECT_EQ("owner", rec.calls[0].kind);
    EXPECT_EQ(r, rec.calls[0].path);
    EXPECT_EQ(Entries{"Administrators"}, rec.calls[0].acl);
    EXPECT_EQ("dacl", rec.calls[1].kind);
    EXPECT_EQ(kEveryoneFull, rec.calls[1].acl);
    size_t n = rec.calls.size();
    EXPECT_EQ("owner", rec.calls[n - 2].kind);
    EXPECT_EQ(r, rec.calls[n - 2].path);
    EXPECT_EQ("dacl", rec.calls[n - 1].kind);
    EXPECT_EQ(r, rec.calls[n - 1].path);
    EXPECT_EQ(kList, rec.calls[n - 1].acl);

    // Each file: its owner, then straight away its list.
    for (const std::string& f : {r + "\\a.txt", r + "\\ソ表\\e.txt", r + "\\sub\\b.txt", r + "\\sub\\deep\\c.txt",
                                r + "\\x.TMP"}) {
        int i = rec.Find("owner", f);
        ASSERT_GE(i, 0) << f;
        ASSERT_LT(i + 1, static_cast<int>(n));
        EXPECT_EQ("dacl", rec.calls[i + 1].kind) << f;
        EXPECT_EQ(f, rec.calls[i + 1].path);
        EXPECT_EQ(kList, rec.calls[i + 1].acl);
    }
    // A subfolder gets its final list after its contents, before its parent.
    std::string sub = r + "\\sub\\", deep = r + "\\sub\\deep\\";
    int subOpen = rec.Find("dacl", sub);
    ASSERT_GE(subOpen, 0);
    EXPECT_EQ(kEveryoneFull, rec.calls[subOpen].acl);
    int subFinal = rec.Find("dacl", sub, subOpen + 1);
    ASSERT_GT(subFinal, rec.Find("owner", r + "\\sub\\deep\\c.txt"));
    EXPECT_GT(subFinal, rec.Find("dacl", deep, rec.Find("dacl", deep) + 1));
    EXPECT_EQ(kList, rec.calls[subFinal].acl);
    EXPECT_LT(subFinal, static_cast<int>(n) - 2);

    // Names beginning with a dot are not walked.
    EXPECT_FALSE(rec.Touches(".dot"));
    for (const auto& c : rec.calls) EXPECT_EQ(std::string::npos, c.path.find("\\.")) << c.path;
}

TEST_F(WalkTest, TmpFileOwnerFailureIsSkippedAndLogged) {
    RecordingCalls rec;
    rec.failSuffix = "x.TMP";
    testutil::LogCapture log;
    EXPECT_TRUE(ApplySecurityTree(tree.root.c_str(), acl.get()));
    EXPECT_EQ(-1, rec.Find("dacl", tree.root + "\\x.TMP"));
    EXPECT_GE(rec.Find("dacl", tree.root + "\\a.txt"), 0);
    EXPECT_TRUE(log.Has("TMPファイルなので処理を続行します。[" + tree.root + "\\x.TMP]"));
}

TEST_F(WalkTest, OtherFileOwnerFailureStopsTheWalk) {
    RecordingCalls rec;
    rec.failSuffix = "c.txt";
    testutil::LogCapture log;
    EXPECT_FALSE(ApplySecurityTree(tree.root.c_str(), acl.get()));
    EXPECT_EQ(-1, rec.Find("dacl", tree.root + "\\sub\\deep\\c.txt"));
    // The walk stops: neither folder above gets its final owner call again.
    EXPECT_EQ(1, [&] {
        int count = 0;
        for (const auto& c : rec.calls) count += (c.kind == "owner" && c.path == tree.root);
        return count;
    }());
    EXPECT_TRUE(log.Has("所有者情報変更失敗(5) " + tree.root + "\\sub\\deep\\c.txt"));
}

TEST_F(WalkTest, FolderOwnerFailureStopsAtOnce) {
    RecordingCalls rec;
    rec.failSuffix = tree.root.substr(tree.root.size() - 4);
    EXPECT_FALSE(ApplySecurityTree(tree.root.c_str(), acl.get()));
    EXPECT_EQ(1u, rec.calls.size());
}

TEST_F(WalkTest, SingleFileGetsOwnerAndList) {
    RecordingCalls rec;
    std::string file = tree.root + "\\a.txt";
    EXPECT_TRUE(ApplySecurityTree(file.c_str(), acl.get()));
    ASSERT_EQ(2u, rec.calls.size());
    EXPECT_EQ("dacl", rec.calls[1].kind);
    EXPECT_EQ(kList, rec.calls[1].acl);
}

TEST_F(WalkTest, MissingFolderFailsAtEnumeration) {
    RecordingCalls rec;
    testutil::LogCapture log;
    EXPECT_FALSE(ApplySecurityTree((tree.root + "\\none").c_str(), acl.get()));
    EXPECT_TRUE(log.Has("ファイルが見つからない"));
}

// Wine's FindNextFileA never answers 234, so for this case the program's own
// import of it is pointed at a stand-in that does, 50 times, then ends.
int g_moreData = 0;
BOOL WINAPI MoreDataThenEnd(HANDLE, LPWIN32_FIND_DATAA) {
    SetLastError(++g_moreData <= 50 ? ERROR_MORE_DATA : ERROR_NO_MORE_FILES);
    return FALSE;
}

void** ImportSlot(const char* function) {
    BYTE* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    auto* dll = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(
        base + nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress);
    for (; dll->Name; ++dll) {
        auto* name = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->OriginalFirstThunk);
        void** slot = reinterpret_cast<void**>(base + dll->FirstThunk);
        for (; name->u1.AddressOfData; ++name, ++slot)
            if (!IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal) &&
                !strcmp(reinterpret_cast<char*>(base + name->u1.AddressOfData + 2), function))
                return slot;
    }
    return nullptr;
}

TEST_F(WalkTest, RepeatedMoreDataStopsTheWalkAfterTenRetries) {
    void** slot = ImportSlot("FindNextFileA");
    ASSERT_NE(nullptr, slot);
    DWORD protect = 0;
    VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &protect);
    void* real = *slot;
    *slot = reinterpret_cast<void*>(MoreDataThenEnd);
    RecordingCalls rec;
    BOOL result = ApplySecurityTree(tree.root.c_str(), acl.get());
    *slot = real;
    EXPECT_FALSE(result);
    EXPECT_EQ(234u, GetLastError());
    EXPECT_EQ(11, g_moreData);
}

TEST_F(WalkTest, RealCallsSucceedUnderWine) {
    // Wine answers success without storing; on Windows the same walk writes.
    EXPECT_TRUE(ApplySecurityTree(tree.root.c_str(), acl.get()));
}

// tree\link leads to a folder outside the tree, tree\filelink to a file
// there, tree\sub\deeplink to the outside folder again; removed at the end.
struct LinkBench {
    testutil::TempDir dir{"linkbench"};
    std::string tree = dir / "tree", outside = dir / "outside";
    LinkBench() {
        CreateDirectoryA(tree.c_str(), nullptr);
        CreateDirectoryA((tree + "\\sub").c_str(), nullptr);
        CreateDirectoryA(outside.c_str(), nullptr);
        testutil::WriteBytes(outside + "\\secret.txt", "");
        testutil::WriteBytes(tree + "\\a.txt", "");
        testutil::WriteBytes(tree + "\\sub\\b.txt", "");
        testutil::MakeLink(tree + "\\link", outside);
        testutil::MakeLink(tree + "\\filelink", outside + "\\secret.txt");
        testutil::MakeLink(tree + "\\sub\\deeplink", outside);
    }
    ~LinkBench() {
        for (const char* l : {"\\link", "\\filelink", "\\sub\\deeplink"}) testutil::RemoveLink(tree + l);
    }
};

TEST(WalkLinks, NeverEntersOrChangesReparsePoints) {
    LinkBench bench;
    std::string tree = bench.tree;
    DWORD attributes = GetFileAttributesA((tree + "\\link").c_str());
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes) << "MakeLink makes the links";
    ASSERT_TRUE(attributes & FILE_ATTRIBUTE_REPARSE_POINT) << "the bench must show links as reparse points";

    CAclHolder acl;
    ASSERT_EQ(0u, AddAccessEntry(acl.out(), 0x1F01FF, "everyone"));
    RecordingCalls rec;
    testutil::LogCapture log;
    EXPECT_TRUE(ApplySecurityTree(tree.c_str(), acl.get()));
    EXPECT_GE(rec.Find("dacl", tree + "\\a.txt"), 0);
    EXPECT_GE(rec.Find("dacl", tree + "\\sub\\b.txt"), 0);
    EXPECT_FALSE(rec.Touches(tree + "\\link"));
    // Wine shows a link to a file as a plain file (attributes 0x20), so
    // there the walk cannot tell it apart; Windows marks it as a reparse
    // point, which the walk skips like the folder link.
    if (GetFileAttributesA((tree + "\\filelink").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT) {
        EXPECT_FALSE(rec.Touches(tree + "\\filelink"));
    }
    EXPECT_FALSE(rec.Touches("deeplink"));
    EXPECT_FALSE(rec.Touches("secret"));
    EXPECT_FALSE(rec.Touches("outside"));
    EXPECT_TRUE(log.Has("リパースポイントなので処理しません。[" + tree + "\\link]"));

    // A link given as the start is not followed either.
    rec.calls.clear();
    EXPECT_TRUE(ApplySecurityTree((tree + "\\link").c_str(), acl.get()));
    EXPECT_TRUE(rec.calls.empty());
}

TEST(AccessList, AddAccessEntryBuildsInOrderAndKeepsListOnFailure) {
    EXPECT_EQ(87u, AddAccessEntry(nullptr, 0x1F01FF, "everyone"));
    CAclHolder acl;
    ASSERT_EQ(0u, AddAccessEntry(acl.out(), 0x1F01FF, "SYSTEM"));
    ASSERT_EQ(0u, AddAccessEntry(acl.out(), 0x1200A9, "everyone"));
    ASSERT_EQ(0u, AddAccessEntry(acl.out(), 0x12019F, "Administrators"));
    // Where a new entry goes among grants is the platform's choice (Wine puts
    // it first); a list of grants means the same in any order.
    Entries expected = sectest::Sorted({"S-1-5-18:1F01FF:3", "S-1-1-0:1200A9:3", "S-1-5-32-544:12019F:3"});
    EXPECT_EQ(expected, sectest::Sorted(sectest::AclText(acl.get())));
    PACL before = acl.get();
    EXPECT_NE(0u, AddAccessEntry(acl.out(), 0x1F01FF, "ops-no-such-account"));
    EXPECT_EQ(before, acl.get());
    EXPECT_EQ(expected, sectest::Sorted(sectest::AclText(acl.get())));
    // A mask without SYNCHRONIZE is a denial.
    CAclHolder deny;
    ASSERT_EQ(0u, AddAccessEntry(deny.out(), GENERIC_WRITE, "everyone"));
    ASSERT_EQ(1u, sectest::AclText(deny.get()).size());
    EXPECT_EQ(0u, sectest::AclText(deny.get())[0].find("DENY S-1-1-0"));
}

TEST(AccessList, EveryoneFullControlAndApplyDacl) {
    CAclHolder acl(BuildEveryoneFullControlAcl());
    ASSERT_NE(nullptr, acl.get());
    EXPECT_EQ(Entries{"S-1-1-0:1FFFFF:3"}, sectest::AclText(acl.get()));

    testutil::TempDir dir("ops-dacl");
    std::string file = dir / "f.txt";
    testutil::WriteBytes(file, "");
    EXPECT_TRUE(ApplyDacl(file.c_str(), acl.get()));
    SetLastError(0);
    EXPECT_FALSE(ApplyDacl(nullptr, acl.get()));
    EXPECT_EQ(87u, GetLastError());
}

TEST(AccessList, AddTrailingBackslashIsMultibyteAware) {
    char path[MAX_PATH] = "C:\\ソ";  // ends with the byte 0x5C of ソ
    AddTrailingBackslash(path);
    EXPECT_STREQ("C:\\ソ\\", path);
    AddTrailingBackslash(path);
    EXPECT_STREQ("C:\\ソ\\", path);
    char empty[MAX_PATH] = "";
    AddTrailingBackslash(empty);
    EXPECT_STREQ("\\", empty);
}

}  // namespace
