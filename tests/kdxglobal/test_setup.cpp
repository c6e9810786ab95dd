// Log set-up beside the program, and the system-DLL loader refusing DLLs
// that exist only beside the program.
#include <gtest/gtest.h>

#include <string>

#include "TestUtil.h"
#include "Util/SystemDll.h"

using testutil::Exists;
using testutil::TempDir;

namespace {

std::string Built(const char* name) { return testutil::OwnFolder() + name; }

}  // namespace

TEST(SetupLog, CreatesLogFolderBesideProgramAndLogsThere) {
    TempDir dir("kdxlog");
    std::string folder = dir / "ソ表";  // trail bytes 0x5C in the program's folder
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    std::string exe = folder + "\\kdx_probe.exe";
    ASSERT_TRUE(testutil::Copy(testutil::ProbeExe(), exe));
    EXPECT_EQ(0u, testutil::Run(exe, {"kdx", "setuplog"}).exitCode);
    std::string log = testutil::ReadBytes(folder + "\\Log\\kdx_probe.exe.log");
    EXPECT_NE(std::string::npos, log.find("probe line")) << log;
    // The folder already there is no error: the second run appends.
    EXPECT_EQ(0u, testutil::Run(exe, {"kdx", "setuplog"}).exitCode);
    log = testutil::ReadBytes(folder + "\\Log\\kdx_probe.exe.log");
    EXPECT_NE(log.find("probe line"), log.rfind("probe line"));
    EXPECT_EQ("0|" + folder + "\\", testutil::Run(exe, {"kdx", "modulefolder"}).output);
}

class SystemDll : public ::testing::Test {
protected:
    TempDir dir{"kdxdll"};
    std::string exe = dir / "kdx_probe.exe";
    void SetUp() override {
        ASSERT_TRUE(testutil::Copy(testutil::ProbeExe(), exe));
        ASSERT_TRUE(testutil::Copy(Built("plant\\planted.dll"), dir / "kdxplant.dll"));
        ASSERT_TRUE(testutil::Copy(Built("plant\\planted.dll"), dir / "Dbghelp.DLL"));
    }
};

TEST_F(SystemDll, RefusesDllThatExistsOnlyBesideProgram) {
    // The plain search finds it: the plant is real.
    EXPECT_EQ("0|" + (dir / "kdxplant.dll") + "|planted", testutil::Run(exe, {"kdx", "loadplain", "kdxplant.dll"}).output);
    EXPECT_EQ("126|", testutil::Run(exe, {"kdx", "loadsys", "kdxplant.dll"}).output);
    // The Windows 7 way (full path in the system folder) refuses it too.
    EXPECT_EQ("126|", testutil::Run(exe, {"kdx", "loadsyspath", "kdxplant.dll"}).output);
}

TEST_F(SystemDll, LoadsTheSystemsOwnDbghelp) {
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    std::string output = testutil::Run(exe, {"kdx", "loadsys", "Dbghelp.DLL"}).output;
    EXPECT_EQ(0, _stricmp(output.c_str(), ("0|" + std::string(system) + "\\dbghelp.dll").c_str())) << output;
    EXPECT_EQ(std::string::npos, output.find("planted"));
    output = testutil::Run(exe, {"kdx", "loadsyspath", "Dbghelp.DLL"}).output;
    EXPECT_EQ(0, _stricmp(output.c_str(), ("0|" + std::string(system) + "\\dbghelp.dll").c_str())) << output;
}

TEST_F(SystemDll, RefusesPaths) {
    EXPECT_EQ(nullptr, LoadSystemDll("..\\Dbghelp.DLL"));
    EXPECT_EQ(87u, GetLastError());
    EXPECT_EQ(nullptr, LoadSystemDll(nullptr));
    EXPECT_EQ(nullptr, LoadSystemDll("C:/x.dll"));
    EXPECT_EQ(nullptr, LoadSystemDll("C:x.dll"));
    EXPECT_EQ(nullptr, LoadSystemDllByPath("..\\x.dll"));
    HMODULE kernel = LoadSystemDll("kernel32.dll");
    EXPECT_NE(nullptr, kernel);
    if (kernel) FreeLibrary(kernel);
}
