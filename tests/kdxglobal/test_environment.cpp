// The product environment as a program finds it from its own folder: a copy of the probe runs each lookup there.
#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include <vector>
#include "TestUtil.h"

using testutil::Copy;

// The install folder and the log folder's setting, as the log is placed; the product keys are read with no view flag:
// on 64-bit Windows this 32-bit program sees the 32-bit view only.
TEST(ProductEnvironment, LookupOrder) {
    const char kIni[] = "[PATH]\r\n", kProduct[] = "SOFTWARE\\Zev Product";
    // No row starts the program from \\server\share: Wine gives it its own path as "UNC\server\share\...".
    const struct { std::vector<std::string> args; const char *expected, *env, *ini, *setting; bool view64; } rows[] = {
        {{"kdx", "installdir"}, "0|C:\\Env|C:\\Env", "C:\\Env", kIni, "KDMDIR=C:\\Reg"},
        {{"kdx", "installdir"}, "0|<dir>\\|<dir>\\", nullptr, kIni, "KDMDIR=C:\\Reg"},  // also set for the process
        {{"kdx", "installdir"}, "0|C:\\Velmor\\ソ表|", nullptr, nullptr, "KDMDIR=C:\\Velmor\\ソ表"},
        {{"kdx", "installdir"}, "13||", nullptr, nullptr, "KDMDIR="},
        {{"kdx", "installdir"}, "2||", nullptr, nullptr, "KDMDIR=C:\\Reg", true},
        {{"kdx", "regstr", "KdmInst", "LOGDIR"}, "0|C:\\Ini", nullptr, "[PATH]\r\nLOGDIR=C:\\Ini\r\n", "LOGDIR=C:\\Reg"},
        {{"kdx", "regstr", "KdmInst", "LOGDIR"}, "0|C:\\Reg", nullptr, "[PATH]\r\nLOGDIR=\r\n", "LOGDIR=C:\\Reg"},
    };
    for (const auto& r : rows) {
        if (r.view64 && !testutil::IsWow64Process()) continue;  // one view on 32-bit Windows
        for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) testutil::ScopedRegKey::Delete(kProduct, view);
        testutil::TempDir temp("kdx");
        const std::string& dir = temp.path_;
        testutil::ScopedEnv env("VELMOR_INSTDIR", r.env);
        ASSERT_TRUE(Copy(testutil::ProbeExe(), dir + "\\kdx_probe.exe")) << dir;
        if (r.ini) testutil::WriteBytes(dir + "\\KDMSys.ini", r.ini);
        testutil::ScopedRegKey settings(std::string(kProduct) + "\\VELMORClientView\\KdmInst",
                                        r.view64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY);
        const char* value = strchr(r.setting, '=');
        settings.SetString(std::string(r.setting, value).c_str(), value + 1);
        std::string expected = r.expected;
        for (size_t at; (at = expected.find("<dir>")) != std::string::npos;) expected.replace(at, 5, dir);
        EXPECT_EQ(expected, testutil::Run(dir + "\\kdx_probe.exe", r.args).output) << r.args.back();
    }
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) testutil::ScopedRegKey::Delete(kProduct, view);
}

// A system DLL comes from the system folder only, never from beside the program, even under the system DLL's own name.
TEST(ProductEnvironment, SystemDllLoaderRefusesAPlant) {
    testutil::TempDir dir("kdxdll");
    const std::string exe = dir / "kdx_probe.exe", kRvuDll = testutil::OwnFolder() + "rvu\\ZevRvuC.dll";
    ASSERT_TRUE(Copy(testutil::ProbeExe(), exe) && Copy(kRvuDll, dir / "kdxplant.dll") &&
                Copy(kRvuDll, dir / "Dbghelp.DLL"));
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    const std::string own = "0|" + std::string(system) + "\\dbghelp.dll";
    const struct { const char *how, *name; std::string expected; } rows[] = {
        {"loadplain", "kdxplant.dll", "0|" + (dir / "kdxplant.dll") + "|planted"},  // the plant is real
        {"loadsys", "kdxplant.dll", "126|"}, {"loadsyspath", "kdxplant.dll", "126|"},
        {"loadsys", "Dbghelp.DLL", own},     {"loadsyspath", "Dbghelp.DLL", own},
        {"loadsys", "..\\Dbghelp.DLL", "87|"}, {"loadsyspath", "C:x.dll", "87|"},
    };
    for (const auto& r : rows) {
        const std::string out = testutil::Run(exe, {"kdx", r.how, r.name}).output;
        EXPECT_EQ(0, _stricmp(r.expected.c_str(), out.c_str())) << r.how << " " << r.name << ": " << out;
    }
}
