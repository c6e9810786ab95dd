// The exception types and the registry wrapper against the real registry.
#include <gtest/gtest.h>
#include <string>
#include "TestUtil.h"
#include "Util/BaseException.h"
#include "Util/Registry.h"

using testutil::ScopedRegKey;

namespace {

const char kKey[] = "SOFTWARE\\InfoRegistryTest";
const std::string kFull = std::string("HKEY_LOCAL_MACHINE\\") + kKey;

// Runs f, expects a CWin32Error and returns it.
template <class F>
CWin32Error Thrown(F f) {
    try {
        f();
    } catch (const CWin32Error& e) {
        return e;
    }
    ADD_FAILURE() << "no CWin32Error thrown";
    return CWin32Error("", 0, "", 0);
}

std::string WithoutPlace(const CWin32Error& e) {
    std::string w = e.what();
    return w.substr(0, w.rfind("(Registry.cpp:"));
}

}  // namespace

TEST(Exceptions, WhatTextAppendsFileAndLineWithoutSeparator) {
    CBaseException e("C:\\src\\Util\\Registry.cpp", 42, "メッセージ(1)");
    EXPECT_STREQ("メッセージ(1)(Registry.cpp:42)", e.what());
    EXPECT_EQ(std::string(e.what()), e.GetWhat());
    EXPECT_STREQ("m(plain.cpp:-3)", CBaseException("plain.cpp", -3, "m").what());
}

TEST(Exceptions, Win32ErrorCaughtAsBaseOrStdGivesSameText) {
    try {
        throw CWin32Error("a\\b\\表ソ.cpp", 7, "x", 13);
    } catch (const std::exception& e) {
        EXPECT_STREQ("x(表ソ.cpp:7)", e.what());
        EXPECT_EQ(13u, dynamic_cast<const CWin32Error&>(e).GetErrorCode());
        EXPECT_STREQ(e.what(), dynamic_cast<const CBaseException&>(e).what());
    }
}

TEST(Registry, RootNamesAreCaseInsensitiveAndComplete) {
    EXPECT_EQ(HKEY_LOCAL_MACHINE, RootKeyTable::Find("hklm"));
    EXPECT_EQ(HKEY_LOCAL_MACHINE, RootKeyTable::Find("Hkey_Local_Machine"));
    EXPECT_EQ(HKEY_CLASSES_ROOT, RootKeyTable::Find("HKCR"));
    EXPECT_EQ(HKEY_CURRENT_USER, RootKeyTable::Find("hkcu"));
    EXPECT_EQ(HKEY_CURRENT_CONFIG, RootKeyTable::Find("HKEY_CURRENT_CONFIG"));
    EXPECT_EQ(HKEY_USERS, RootKeyTable::Find("HKEY_USERS"));
    EXPECT_EQ(HKEY_PERFORMANCE_DATA, RootKeyTable::Find("HKEY_PERFORMANCE_DATA"));
    EXPECT_EQ(nullptr, RootKeyTable::Find("HKU"));
    EXPECT_EQ(nullptr, RootKeyTable::Find(nullptr));
}

TEST(Registry, TypeNames) {
    EXPECT_STREQ("REG_SZ", CRegistry::TypeName(1));
    EXPECT_STREQ("REG_EXPAND_SZ", CRegistry::TypeName(2));
    EXPECT_STREQ("REG_MULTI_SZ", CRegistry::TypeName(7));
    EXPECT_STREQ("REG_QWORD", CRegistry::TypeName(11));
    EXPECT_STREQ("REG_NONE", CRegistry::TypeName(0));
    EXPECT_STREQ("REG_NONE", CRegistry::TypeName(9));
    EXPECT_STREQ("REG_NONE", CRegistry::TypeName(10));
}

TEST(Registry, ReadsStringsInEveryRootSpelling) {
    ScopedRegKey key(kKey);
    key.SetString("Name", "表示ソフト");
    for (const char* root : {"HKEY_LOCAL_MACHINE\\", "hklm\\", "HKLM\\"}) {
        CRegistry reg;
        reg.Open((root + std::string(kKey)).c_str());
        char buf[64] = {0};
        EXPECT_EQ(sizeof("表示ソフト"), reg.GetStringValue("Name", buf, sizeof(buf))) << root;
        EXPECT_STREQ("表示ソフト", buf);
        EXPECT_EQ(sizeof("Name"), reg.GetValueNameBufferLength());
    }
}

TEST(Registry, MultiStringGivesItsFirstString) {
    ScopedRegKey key(kKey);
    const char multi[] = "first\0second\0";
    RegSetValueExA(key.get(), "Multi", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(multi), sizeof(multi));
    CRegistry reg;
    reg.Open(kFull.c_str());
    char buf[64] = {0};
    reg.GetStringValue("Multi", buf, sizeof(buf));
    EXPECT_STREQ("first", buf);
}

TEST(Registry, RootAloneOpensTheRoot) {
    CRegistry reg;
    reg.Open("HKEY_LOCAL_MACHINE");
    EXPECT_TRUE(reg.IsOpen());
    EXPECT_EQ("HKEY_LOCAL_MACHINE", reg.GetPath());
}

TEST(Registry, OpenFailuresNameTheSubkeyAndLeaveItClosed) {
    ScopedRegKey key(kKey);
    CRegistry reg;
    reg.Open(kFull.c_str());
    CWin32Error missing = Thrown([&] { reg.Open("HKLM\\SOFTWARE\\InfoNoSuchKey\\表"); });
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, missing.GetErrorCode());
    EXPECT_EQ("レジストリを開くことができませんでした。(path: SOFTWARE\\InfoNoSuchKey\\表)", WithoutPlace(missing));
    EXPECT_FALSE(reg.IsOpen());
    EXPECT_EQ(1024u, reg.GetValueNameBufferLength());

    CWin32Error unknownRoot = Thrown([&] { reg.Open("HKEY_NOWHERE\\SOFTWARE"); });
    EXPECT_NE(0u, unknownRoot.GetErrorCode());
    EXPECT_EQ("レジストリを開くことができませんでした。(path: SOFTWARE)", WithoutPlace(unknownRoot));

    CWin32Error user = Thrown([&] { reg.Open("HKEY_CURRENT_USER\\Software\\InfoNoSuchKey"); });
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, user.GetErrorCode());
    EXPECT_EQ("レジストリを開くことができませんでした。(path: Software\\InfoNoSuchKey)", WithoutPlace(user));
}

TEST(Registry, CurrentUserBranchOpensTheUsersHive) {
    CRegistry reg;
    reg.Open("HKEY_CURRENT_USER\\Software");
    EXPECT_TRUE(reg.IsOpen());
    reg.Open("HKCU\\Software");
    EXPECT_TRUE(reg.IsOpen());
}

TEST(Registry, WrongTypesAreRefusedWithCode13) {
    ScopedRegKey key(kKey);
    key.SetDword("Dword", 5);
    RegSetValueExA(key.get(), "Expand", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>("%TEMP%"), 7);
    CRegistry reg;
    reg.Open(kFull.c_str());
    char buf[64];
    CWin32Error dw = Thrown([&] { reg.GetStringValue("Dword", buf, sizeof(buf)); });
    EXPECT_EQ(13u, dw.GetErrorCode());
    EXPECT_EQ("データ型が異なっています。(expected: REG_MULTI_SZ or REG_SZ, actual: REG_DWORD)", WithoutPlace(dw));
    CWin32Error ex = Thrown([&] { reg.GetStringValue("Expand", buf, sizeof(buf)); });
    EXPECT_EQ(13u, ex.GetErrorCode());
    EXPECT_EQ("データ型が異なっています。(expected: REG_MULTI_SZ or REG_SZ, actual: REG_EXPAND_SZ)", WithoutPlace(ex));
    EXPECT_STREQ("", buf);  // a refused value leaves no text behind
}

TEST(Registry, MissingValuesAndShortBuffersThrowTheValueMessage) {
    ScopedRegKey key(kKey);
    key.SetString("Long", "0123456789");
    CRegistry reg;
    reg.Open(kFull.c_str());
    char buf[4];
    CWin32Error shortBuf = Thrown([&] { reg.GetStringValue("Long", buf, sizeof(buf)); });
    EXPECT_EQ(ERROR_MORE_DATA, shortBuf.GetErrorCode());
    EXPECT_EQ("値を取得することができませんでした。(entry: Long, type: REG_SZ)", WithoutPlace(shortBuf));
    CWin32Error missing = Thrown([&] { reg.GetStringValue("Nothing", buf, sizeof(buf)); });
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, missing.GetErrorCode());
    EXPECT_EQ("値を取得することができませんでした。(entry: Nothing, type: REG_NONE)", WithoutPlace(missing));
}

TEST(Registry, ValueWithoutTerminatorStillEndsAsString) {
    ScopedRegKey key(kKey);
    RegSetValueExA(key.get(), "Raw", 0, REG_SZ, reinterpret_cast<const BYTE*>("abcd"), 4);
    CRegistry reg;
    reg.Open(kFull.c_str());
    char buf[8];
    memset(buf, 'Z', sizeof(buf));
    reg.GetStringValue("Raw", buf, sizeof(buf));
    EXPECT_STREQ("abcd", buf);
    char exact[4];
    EXPECT_THROW(reg.GetStringValue("Raw", exact, sizeof(exact)), CWin32Error);
}

TEST(Registry, ReadingWithoutOpenKeyThrowsCode6) {
    CRegistry reg;
    char buf[8];
    CWin32Error e = Thrown([&] { reg.GetStringValue("x", buf, sizeof(buf)); });
    EXPECT_EQ(6u, e.GetErrorCode());
    EXPECT_EQ("キーが開かれていません。", WithoutPlace(e));
    EXPECT_NE(std::string::npos, std::string(e.what()).find("(Registry.cpp:"));
    reg.Close();  // harmless twice
    reg.Close();
}
