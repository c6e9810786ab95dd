// Version texts and comparisons, and version resources of real modules.
#include <gtest/gtest.h>
#include <string>
#include "TestUtil.h"
#include "VersionInfo.h"

namespace {

std::string Fields(const char* text) {
    CVersionInfo v(text);
    return std::to_string(v.GetMajor()) + "." + std::to_string(v.GetMinor()) + "." + std::to_string(v.GetBuild()) +
           "." + std::to_string(v.GetRevision());
}

std::string Str(const char* s) { return s ? s : "<null>"; }

}  // namespace

TEST(VersionText, Parses) {
    EXPECT_EQ("2.0.8.0", Fields("2.000.08"));
    EXPECT_EQ("1.2.3.4", Fields("1, 2, 3, 4"));
    EXPECT_EQ("1.2.0.0", Fields("1,2"));
    EXPECT_EQ("1.2.0.0", Fields("1.2,3"));
    EXPECT_EQ("1.2.3.4", Fields("1.2.3.4.5"));
    EXPECT_EQ("1.0.3.0", Fields("1..3"));
    EXPECT_EQ("0.1.0.0", Fields("beta2.1"));
    EXPECT_EQ("2.3.0.0", Fields(" 2 .\t3\t"));
    EXPECT_EQ("7.0.0.0", Fields("7"));
    EXPECT_EQ("1.4294967295.0.0", Fields("1.-1"));
    EXPECT_EQ("0.0.0.0", Fields(""));
    EXPECT_EQ("0.0.0.0", Fields(nullptr));
}

TEST(VersionText, ComparesFieldsAsUnsignedNumbers) {
    EXPECT_TRUE(CVersionInfo("1.10") > CVersionInfo("1.9"));
    EXPECT_TRUE(CVersionInfo("1.2") == CVersionInfo("1.2.0.0"));
    EXPECT_TRUE(CVersionInfo("1.2.3.4.5") == CVersionInfo("1.2.3.4"));
    EXPECT_TRUE(CVersionInfo("1.2.3.5") > CVersionInfo("1.2.3.4"));
    EXPECT_TRUE(CVersionInfo("2.0") > CVersionInfo("1.9.9.9"));
    EXPECT_TRUE(CVersionInfo("1.-1") > CVersionInfo("1.99999"));
    EXPECT_TRUE(CVersionInfo("0.0.0.1") > CVersionInfo(""));
    EXPECT_FALSE(CVersionInfo("") > CVersionInfo(nullptr));
}

TEST(VersionText, AllSixOperators) {
    const CVersionInfo a("1.2.3.4"), same("1.2.3.4"), b("1.2.4.0");
    EXPECT_TRUE(a < b);
    EXPECT_FALSE(b < a);
    EXPECT_FALSE(a < same);
    EXPECT_TRUE(b > a);
    EXPECT_FALSE(a > same);
    EXPECT_TRUE(a <= same);
    EXPECT_TRUE(a <= b);
    EXPECT_FALSE(b <= a);
    EXPECT_TRUE(a >= same);
    EXPECT_TRUE(b >= a);
    EXPECT_FALSE(a >= b);
    EXPECT_TRUE(a == same);
    EXPECT_FALSE(a == b);
    EXPECT_TRUE(a != b);
    EXPECT_FALSE(a != same);
    const CVersionInfo& base = b;  // through the virtual operations
    EXPECT_TRUE(base > a);
}

TEST(FileVersion, NothingLoaded) {
    CFileVersionInfo v;
    EXPECT_EQ(nullptr, v.GetString(9, 0x411));
    EXPECT_EQ(21u, v.GetLastErrorCode());
    EXPECT_EQ(87u, v.LoadFile(nullptr));
    EXPECT_EQ(87u, v.LoadFile(""));
}

TEST(FileVersion, ModuleWithoutVersionResource) {
    CFileVersionInfo v;
    const DWORD rc = v.LoadFile(testutil::ProbeExe().c_str());
    EXPECT_NE(0u, rc);
    EXPECT_EQ(nullptr, v.GetString(9, 0x411));
    EXPECT_EQ(21u, v.GetLastErrorCode());
    EXPECT_NE(0u, v.Load(nullptr));  // this test program has none either
}

TEST(FileVersion, ReadsTheRequestedLanguageOrTheFirst) {
    CFileVersionInfo v;
    ASSERT_EQ(0u, v.LoadFile((testutil::OwnFolder() + "info_verdll.dll").c_str()));
    EXPECT_EQ("3.200.10", Str(v.GetString(9, 0x411)));
    EXPECT_EQ(0u, v.GetLastErrorCode());
    EXPECT_EQ("日本語の表ソ", Str(v.GetString(0, 0x411)));
    EXPECT_EQ("info_verdll", Str(v.GetString(11, 0x411)));
    EXPECT_EQ("1.0.0.9", Str(v.GetString(9, 0x409)));
    EXPECT_EQ("1.0.0.9", Str(v.GetString(9, 0x407)));  // absent: first pair
    EXPECT_EQ(nullptr, v.GetString(12, 0x411));
    EXPECT_EQ(87u, v.GetLastErrorCode());

    const char* missing = v.GetString(3, 0x411);  // no SpecialBuild
    if (v.GetLastErrorCode() == ERROR_RESOURCE_TYPE_NOT_FOUND)
        EXPECT_STREQ("", missing);
    else
        EXPECT_EQ(nullptr, missing);

    // A failing load keeps what was loaded before.
    EXPECT_NE(0u, v.LoadFile(testutil::ProbeExe().c_str()));
    EXPECT_EQ("3.200.10", Str(v.GetString(9, 0x411)));
}

TEST(FileVersion, LoadsALoadedModule) {
    HMODULE dll = LoadLibraryA((testutil::OwnFolder() + "info_verdll.dll").c_str());
    ASSERT_NE(nullptr, dll);
    CFileVersionInfo v;
    EXPECT_EQ(0u, v.Load(dll));
    EXPECT_EQ("3.200.10", Str(v.GetString(9, 0x411)));
    FreeLibrary(dll);
}

TEST(FileVersion, TheProgramsOwnResource) {
    char agent[MAX_PATH] = {0};
    GetEnvironmentVariableA("AGENT_EXE", agent, MAX_PATH);
    ASSERT_TRUE(agent[0]) << "AGENT_EXE not set";
    CFileVersionInfo v;
    const DWORD rc = v.LoadFile(agent);
    if (rc == ERROR_RESOURCE_DATA_NOT_FOUND || rc == ERROR_RESOURCE_TYPE_NOT_FOUND)
        GTEST_SKIP() << "the program has no version resource yet";
    ASSERT_EQ(0u, rc);
    EXPECT_EQ("2.000.08", Str(v.GetString(9, 0x411)));
    EXPECT_EQ("AgentUninstaller_Win.exe", Str(v.GetString(8, 0x411)));
    EXPECT_TRUE(CVersionInfo(v.GetString(9, 0x411)) == CVersionInfo("2.0.8.0"));
}
