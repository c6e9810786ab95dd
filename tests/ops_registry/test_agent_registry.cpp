// RemoveAgentRegistryKey against the real registry of the bench. The key
// SOFTWARE\Corvane is shared with other suites (ctest runs serially), so
// every test leaves it absent in both views.
#include <gtest/gtest.h>

#include "LIB/Util/AgentRegistry.h"
#include "TestUtil.h"

using testutil::ScopedRegKey;

namespace {

const char kKey[] = "SOFTWARE\\Corvane";

bool KeyExists(REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

REGSAM NativeView() { return testutil::BenchKind() == "win64" ? KEY_WOW64_64KEY : 0; }

class AgentRegistryKey : public ::testing::Test {
protected:
    void SetUp() override { Clean(); }
    void TearDown() override { Clean(); }
    static void Clean() {
        ScopedRegKey::Delete(kKey, KEY_WOW64_64KEY);
        ScopedRegKey::Delete(kKey, KEY_WOW64_32KEY);
    }
};

TEST_F(AgentRegistryKey, DeletesKeyWithValuesInNativeView) {
    {
        ScopedRegKey key(kKey, NativeView());
        key.SetString("InstallPath", "C:\\Agent");
        key.SetString("Version", "1.2.3.4");
        ASSERT_TRUE(KeyExists(NativeView()));
        // The holder closes its handle before deleting; the delete below
        // must work with the key still open elsewhere too.
        EXPECT_EQ(1, RemoveAgentRegistryKey());
        EXPECT_FALSE(KeyExists(NativeView()));
    }
}

TEST_F(AgentRegistryKey, On64BitLeaves32BitViewKeyAlone) {
    if (testutil::BenchKind() != "win64") GTEST_SKIP() << "only 64-bit Windows has two views";
    ScopedRegKey native(kKey, KEY_WOW64_64KEY);
    ScopedRegKey redirected(kKey, KEY_WOW64_32KEY);
    redirected.SetString("Marker", "32");
    EXPECT_EQ(1, RemoveAgentRegistryKey());
    EXPECT_FALSE(KeyExists(KEY_WOW64_64KEY));
    EXPECT_TRUE(KeyExists(KEY_WOW64_32KEY));
}

TEST_F(AgentRegistryKey, On64BitDoesNotTouchOnly32BitViewKey) {
    if (testutil::BenchKind() != "win64") GTEST_SKIP() << "only 64-bit Windows has two views";
    ScopedRegKey redirected(kKey, KEY_WOW64_32KEY);
    EXPECT_EQ(0, RemoveAgentRegistryKey());
    EXPECT_TRUE(KeyExists(KEY_WOW64_32KEY));
}

TEST_F(AgentRegistryKey, KeyWithSubkeyIsRefusedAndStays) {
    ScopedRegKey sub(std::string(kKey) + "\\Sub", NativeView());
    EXPECT_EQ(0, RemoveAgentRegistryKey());
    EXPECT_TRUE(KeyExists(NativeView()));
}

TEST_F(AgentRegistryKey, MissingKeyGivesZero) {
    ASSERT_FALSE(KeyExists(NativeView()));
    EXPECT_EQ(0, RemoveAgentRegistryKey());
}

}  // namespace
