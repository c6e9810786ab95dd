// Product lookups against real environment, files and registry: the order
// VELMOR_INSTDIR, KDMSys.ini beside the program (not on a share), registry.
#include <gtest/gtest.h>

#include <string>

#include "TestUtil.h"
#include "Util/KDXGlobal.h"

using testutil::Exists;
using testutil::ScopedEnv;
using testutil::WriteBytes;
using testutil::ScopedRegKey;
using testutil::TempDir;

namespace {

const REGSAM kView32 = KEY_WOW64_32KEY;
// The product's keys as this 32-bit program sees them: on 64-bit Windows
// the 32-bit view (the flag is ignored on 32-bit Windows).
const char kSettingsKey[] = "SOFTWARE\\Zev Product\\VELMORClientView\\KdmInst";
const char kProductRoot[] = "SOFTWARE\\Zev Product";
const char kRvuKey[] = "SOFTWARE\\Zev Product\\RVU\\ClientService";

std::string Probe() { return testutil::ProbeExe(); }
std::string RvuDll() { return testutil::OwnFolder() + "rvu\\ZevRvuC.dll"; }

// The product's registry tree, removed at the end of each test.
struct ProductKeys {
    ProductKeys() { ScopedRegKey::Delete(kProductRoot, kView32); }
    ~ProductKeys() { ScopedRegKey::Delete(kProductRoot, kView32); }
};

// A copy of the probe program in a folder of its own.
struct ProbeCopy {
    TempDir dir{"kdxprobe"};
    std::string exe = dir / "kdx_probe.exe";
    ProbeCopy() { EXPECT_TRUE(testutil::Copy(Probe(), exe)); }
    std::string Run(std::vector<std::string> args) {
        args.insert(args.begin(), "kdx");
        return testutil::Run(exe, args).output;
    }
};

}  // namespace

class SysInfo : public ::testing::Test {
protected:
    ProductKeys keys;
    ScopedEnv noInstDir{"VELMOR_INSTDIR", nullptr};
};

TEST_F(SysInfo, InstallDirRejectsNoBuffer) {
    char buffer[8];
    EXPECT_EQ(87u, CKdmSysInfo::GetInstallDir(nullptr, 8));
    EXPECT_EQ(87u, CKdmSysInfo::GetInstallDir(buffer, 0));
}

TEST_F(SysInfo, InstallDirEnvironmentWinsOverFileBeside) {
    ProbeCopy probe;
    WriteBytes(probe.dir / "KDMSys.ini", "[PATH]\r\n");
    ScopedEnv env("VELMOR_INSTDIR", "C:\\FromEnv");
    EXPECT_EQ("0|C:\\FromEnv|C:\\FromEnv", probe.Run({"installdir"}));
    char small[4];
    EXPECT_EQ(234u, CKdmSysInfo::GetInstallDir(small, sizeof(small)));
}

TEST_F(SysInfo, InstallDirSettingsFileBesideProgramWinsOverRegistry) {
    ScopedRegKey key(kSettingsKey, kView32);
    key.SetString("KDMDIR", "C:\\FromRegistry");
    ProbeCopy probe;
    WriteBytes(probe.dir / "KDMSys.ini", "[PATH]\r\n");
    std::string folder = probe.dir.path() + "\\";
    // The folder is also set as VELMOR_INSTDIR for the process.
    EXPECT_EQ("0|" + folder + "|" + folder, probe.Run({"installdir"}));
    DeleteFileA((probe.dir / "KDMSys.ini").c_str());
    EXPECT_EQ("0|C:\\FromRegistry|", probe.Run({"installdir"}));
}

TEST_F(SysInfo, InstallDirFromRegistry) {
    char buffer[MAX_PATH];
    EXPECT_EQ(2u, CKdmSysInfo::GetInstallDir(buffer, sizeof(buffer)));
    ScopedRegKey key(kSettingsKey, kView32);
    key.SetString("KDMDIR", "");
    EXPECT_EQ(13u, CKdmSysInfo::GetInstallDir(buffer, sizeof(buffer)));
    key.SetString("KDMDIR", "C:\\Velmor\\ソ表");
    EXPECT_EQ(0u, CKdmSysInfo::GetInstallDir(buffer, sizeof(buffer)));
    EXPECT_STREQ("C:\\Velmor\\ソ表", buffer);
    EXPECT_EQ(234u, CKdmSysInfo::GetInstallDir(buffer, 5));
}

// The product keys are read without a view flag: a 32-bit program reads the
// 32-bit view, so a value only in the 64-bit view is not seen.
TEST_F(SysInfo, RegistryIsReadInThe32BitView) {
    if (!testutil::IsWow64Process()) GTEST_SKIP() << "one registry view on 32-bit Windows";
    ScopedRegKey key64(kSettingsKey, KEY_WOW64_64KEY);
    key64.SetString("KDMDIR", "C:\\Only64");
    char buffer[MAX_PATH];
    EXPECT_EQ(2u, CKdmSysInfo::GetInstallDir(buffer, sizeof(buffer)));
    ScopedRegKey::Delete(kProductRoot, KEY_WOW64_64KEY);
}

// Wine maps \\server\share to the prefix's dosdevices\unc folder; the probe
// is run from there so its own folder is a real network path.
TEST_F(SysInfo, InstallDirIgnoresSettingsFileOnAShare) {
    char prefix[MAX_PATH] = {0};
    if (!GetEnvironmentVariableA("WINEPREFIX", prefix, sizeof(prefix))) GTEST_SKIP() << "needs Wine's unc folder";
    std::string unixShare = std::string("\\\\?\\unix") + prefix + "/dosdevices/unc/kdxsrv/share";
    for (char& c : unixShare)
        if (c == '/') c = '\\';
    ASSERT_EQ(1, CreateDirectoryTree(unixShare.c_str(), nullptr, 1, FALSE)) << unixShare;
    std::string share = "\\\\kdxsrv\\share";
    ASSERT_TRUE(testutil::Copy(Probe(), share + "\\kdx_probe.exe")) << GetLastError();
    WriteBytes(share + "\\KDMSys.ini", "[PATH]\r\n");
    ScopedRegKey key(kSettingsKey, kView32);
    key.SetString("KDMDIR", "C:\\FromRegistry");
    EXPECT_EQ("0|C:\\FromRegistry|", testutil::Run(share + "\\kdx_probe.exe", {"kdx", "installdir"}).output);
    testutil::RemoveTree(share);
    RemoveDirectoryA(unixShare.c_str());
}

TEST_F(SysInfo, SysIniPath) {
    char buffer[MAX_PATH];
    {
        ScopedEnv env("VELMOR_INSTDIR", "C:\\ソ");
        EXPECT_EQ(0u, CKdmSysInfo::GetSysIniPath(buffer, sizeof(buffer)));
        EXPECT_STREQ("C:\\ソ\\KDMSys.ini", buffer);
        EXPECT_EQ(234u, CKdmSysInfo::GetSysIniPath(buffer, 11));
        EXPECT_EQ(87u, CKdmSysInfo::GetSysIniPath(nullptr, 100));
    }
    {
        ScopedEnv env("VELMOR_INSTDIR", "C:\\Velmor\\");
        EXPECT_EQ(0u, CKdmSysInfo::GetSysIniPath(buffer, sizeof(buffer)));
        EXPECT_STREQ("C:\\Velmor\\KDMSys.ini", buffer);
    }
    ScopedEnv env("VELMOR_INSTDIR", "NoBackslash");
    EXPECT_EQ(13u, CKdmSysInfo::GetSysIniPath(buffer, sizeof(buffer)));
    EXPECT_STREQ("", buffer);
}

TEST_F(SysInfo, DBRootReadsTheIdsValue) {
    char buffer[MAX_PATH];
    EXPECT_EQ(87u, CKdmSysInfo::GetDBRoot(1, buffer, sizeof(buffer)));
    EXPECT_EQ(87u, CKdmSysInfo::GetDBRoot(0, nullptr, 10));
    ScopedRegKey key(kSettingsKey, kView32);
    key.SetString("KdmDBRootLog", "D:\\Log");
    key.SetString("KdmDBRootAsData", "");
    EXPECT_EQ(0u, CKdmSysInfo::GetDBRoot(10, buffer, sizeof(buffer)));
    EXPECT_STREQ("D:\\Log", buffer);
    EXPECT_EQ(13u, CKdmSysInfo::GetDBRoot(16, buffer, sizeof(buffer)));
    EXPECT_EQ(2u, CKdmSysInfo::GetDBRoot(0, buffer, sizeof(buffer)));
}

TEST_F(SysInfo, FolderTableAndFallbacks) {
    char buffer[MAX_PATH];
    EXPECT_EQ(3u, CKdmSysInfo::GetFolder(7, buffer, sizeof(buffer), 0));  // no install folder anywhere
    TempDir dir("kdxinst");
    ScopedEnv env("VELMOR_INSTDIR", dir.path().c_str());
    EXPECT_EQ(87u, CKdmSysInfo::GetFolder(26, buffer, sizeof(buffer), 0));
    EXPECT_EQ(87u, CKdmSysInfo::GetFolder(37, buffer, sizeof(buffer), 0));
    EXPECT_EQ(87u, CKdmSysInfo::GetFolder(7, nullptr, 10, 0));
    EXPECT_FALSE(Exists(dir / "KDMSys.ini"));
    WriteBytes(dir / "KDMSys.ini",
              "[PATH]\r\nLOGDIR=C:\\Logs\\ソ\r\nHSSSvrDB-2=E:\\hss2\r\nDiskMntData=F:\\mnt\r\nDBRoot=\r\n");
    EXPECT_EQ(0u, CKdmSysInfo::GetFolder(7, buffer, sizeof(buffer), 0));
    EXPECT_STREQ("C:\\Logs\\ソ", buffer);
    EXPECT_EQ(0u, CKdmSysInfo::GetFolder(5, buffer, sizeof(buffer), 2));
    EXPECT_STREQ("E:\\hss2", buffer);
    EXPECT_EQ(0u, CKdmSysInfo::GetFolder(36, buffer, sizeof(buffer), 0));
    EXPECT_STREQ("F:\\mnt", buffer);
    EXPECT_NE(0u, CKdmSysInfo::GetFolder(1, buffer, sizeof(buffer), 0));  // missing key, no fallback
    EXPECT_NE(0u, CKdmSysInfo::GetFolder(5, buffer, sizeof(buffer), 3));
    // Database roots fall back to the registry, TMPDIR to the install folder.
    EXPECT_EQ(2u, CKdmSysInfo::GetFolder(0, buffer, sizeof(buffer), 0));
    ScopedRegKey key(kSettingsKey, kView32);
    key.SetString("KdmDBRoot", "G:\\db");
    EXPECT_EQ(0u, CKdmSysInfo::GetFolder(0, buffer, sizeof(buffer), 0));
    EXPECT_STREQ("G:\\db", buffer);
    EXPECT_EQ(0u, CKdmSysInfo::GetFolder(9, buffer, sizeof(buffer), 0));
    EXPECT_EQ(dir.path() + "\\tmp", buffer);
}

TEST_F(SysInfo, RegStrRejectsBadNames) {
    CKdmRegStrR noKey(nullptr, "LOGDIR");
    EXPECT_EQ(87u, GetLastError());
    CKdmRegStrR emptyValue("KdmInst", "");
    EXPECT_EQ(87u, GetLastError());
    std::string longKey(513, 'k');
    CKdmRegStrR tooLong(longKey.c_str(), "Foo");
    EXPECT_EQ(1743u, GetLastError());
    EXPECT_STREQ("", tooLong.m_value);
}

TEST_F(SysInfo, RegStrLogDirFromSettingsFileThenRegistry) {
    TempDir dir("kdxinst");
    ScopedEnv env("VELMOR_INSTDIR", dir.path().c_str());
    ScopedRegKey key(kSettingsKey, kView32);
    key.SetString("LOGDIR", "C:\\RegLogs");
    WriteBytes(dir / "KDMSys.ini", "[PATH]\r\nLOGDIR=C:\\IniLogs\r\nREPORTDIR=C:\\Rep\r\n");
    {
        CKdmRegStrR logDir("KdmInst", "LOGDIR");
        EXPECT_EQ(0u, GetLastError());
        EXPECT_STREQ("C:\\IniLogs", logDir.m_value);
        CKdmRegStrR reportDir("KdmInst", "REPORTDIR");
        EXPECT_STREQ("C:\\Rep", reportDir.m_value);
        char viaWriterHook[MAX_PATH];
        GetProductLogDir(viaWriterHook, sizeof(viaWriterHook));
        EXPECT_STREQ("C:\\IniLogs", viaWriterHook);
    }
    WriteBytes(dir / "KDMSys.ini", "[PATH]\r\nLOGDIR=\r\n");
    CKdmRegStrR logDir("KdmInst", "LOGDIR");
    EXPECT_STREQ("C:\\RegLogs", logDir.m_value);
    CKdmRegStrR tmpDir("KdmInst", "TMPDIR");
    EXPECT_EQ(dir.path() + "\\tmp", tmpDir.m_value);
}

TEST_F(SysInfo, RegStrGenericValuesMustBeStrings) {
    ScopedRegKey key("SOFTWARE\\Zev Product\\VELMORClientView\\Other", kView32);
    key.SetString("Name", "テキスト");
    DWORD expandBytes = 6;
    RegSetValueExA(key.get(), "Expand", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>("%TMP%"), expandBytes);
    CKdmRegStrR name("Other", "Name");
    EXPECT_EQ(0u, GetLastError());
    EXPECT_STREQ("テキスト", name.m_value);
    CKdmRegStrR expand("Other", "Expand");
    EXPECT_EQ(1629u, GetLastError());
    EXPECT_STREQ("", expand.m_value);
    CKdmRegStrR missing("Other", "Missing");
    EXPECT_EQ(2u, GetLastError());
    CKdmRegStrR noLogDir("KdmInst", "LOGDIR");  // nothing anywhere: empty, caller falls back
    EXPECT_STREQ("", noLogDir.m_value);
    EXPECT_NE(0u, GetLastError());
}

TEST_F(SysInfo, ProductInfoThroughRegistryInstallPath) {
    char buffer[MAX_PATH];
    EXPECT_EQ(2u, CKdmSysInfo::GetRvuDllPath(buffer, sizeof(buffer)));
    EXPECT_NE(0u, CKdmSysInfo::QueryProductInfo("P", "K", 4, buffer, sizeof(buffer)));
    TempDir dir("kdxrvu");
    CreateDirectoryA((dir / "ZevRvuC").c_str(), nullptr);
    ASSERT_TRUE(testutil::Copy(RvuDll(), dir / "ZevRvuC\\ZevRvuC.dll"));
    ScopedRegKey key(kRvuKey, kView32);
    key.SetString("InstallPath", dir.path());
    EXPECT_EQ(0u, CKdmSysInfo::GetRvuDllPath(buffer, sizeof(buffer)));
    EXPECT_EQ(dir / "ZevRvuC\\ZevRvuC.dll", buffer);

    CKdmRegStrR name("KdmInst", "ProductName");
    EXPECT_EQ(0u, GetLastError());
    EXPECT_STREQ("name:VELMORClientView:KdmInst", name.m_value);
    CKdmRegStrR treatment("KdmInst", "ProductTreatment");
    EXPECT_STREQ("treatment:VELMORClientView:KdmInst", treatment.m_value);
    CKdmRegStrR special("Other", "Special");
    EXPECT_STREQ("special:VELMORClientView:Other", special.m_value);
    // The library's own error comes back, with an empty text.
    EXPECT_EQ(87u, CKdmSysInfo::QueryProductInfo("P", "K", 9, buffer, sizeof(buffer)));
    EXPECT_STREQ("", buffer);
    EXPECT_EQ(122u, CKdmSysInfo::QueryProductInfo("P", "K", 4, buffer, 4));
}

TEST_F(SysInfo, ProductInfoBesideProgramWinsOverRegistry) {
    ProbeCopy probe;
    ASSERT_TRUE(testutil::Copy(RvuDll(), probe.dir / "ZevRvuC.dll"));
    ScopedRegKey key(kRvuKey, kView32);
    key.SetString("InstallPath", "C:\\NoSuchRvu");
    EXPECT_EQ("0|" + (probe.dir / "ZevRvuC.dll"), probe.Run({"rvupath"}));
    EXPECT_EQ("0|special:VELMORClientView:KdmInst", probe.Run({"regstr", "KdmInst", "Special"}));
}
