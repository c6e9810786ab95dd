// The built AgentUninstaller_Win.exe read back: icon, manifest, imports (its texts: where it shows them, tests/e2e).
#include <gtest/gtest.h>
#include <windows.h>
#include <imagehlp.h>
#include <shlwapi.h>
#include <string>

namespace {

const char* AgentExe() { return getenv("AGENT_EXE") ? getenv("AGENT_EXE") : ""; }
// The program mapped as an image for its resources and headers only: no code runs, no imports are bound.
const HMODULE kProgram = LoadLibraryExA(AgentExe(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);

std::string Resource(LPCSTR type, UINT id) {
    HRSRC r = FindResourceA(kProgram, MAKEINTRESOURCEA(id), type);
    const char* p = r ? static_cast<const char*>(LockResource(LoadResource(kProgram, r))) : nullptr;
    return p ? std::string(p, SizeofResource(kProgram, r)) : std::string();
}

// The icon; a manifest asking for elevation and controls 6, naming the newest systems so they report their version.
TEST(Resources, IconAndManifest) {
    EXPECT_FALSE(Resource(RT_GROUP_ICON, 128).empty());
    const std::string xml = Resource(RT_MANIFEST, 1);
    for (const char* part : {"level=\"requireAdministrator\" uiAccess=\"false\"",
                             "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
                             "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"})
        EXPECT_NE(std::string::npos, xml.find(part)) << part;
}

// Only DLLs the loader takes from the system whatever lies beside the program: known DLLs, and comctl32, which the
// manifest sends to the side-by-side store. Others, which could be planted there, are loaded at run time.
TEST(Imports, SystemDllsOnly) {
    // Mapped as an image, the headers give addresses from the base; the handle's low bits are flags.
    char* base = reinterpret_cast<char*>(reinterpret_cast<ULONG_PTR>(kProgram) & ~ULONG_PTR(3));
    ULONG size = 0;
    EXPECT_EQ(nullptr, ImageDirectoryEntryToData(base, TRUE, IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT, &size));
    auto* d = static_cast<const IMAGE_IMPORT_DESCRIPTOR*>(
        ImageDirectoryEntryToData(base, TRUE, IMAGE_DIRECTORY_ENTRY_IMPORT, &size));
    ASSERT_TRUE(d && d->Name) << "AGENT_EXE=" << AgentExe();
    const char* const system =
        " advapi32.dll comctl32.dll gdi32.dll imm32.dll kernel32.dll msvcrt.dll ole32.dll "
        "oleaut32.dll shell32.dll shlwapi.dll user32.dll ";
    for (; d->Name; ++d)
        EXPECT_NE(nullptr, StrStrIA(system, (" " + std::string(base + d->Name) + " ").c_str())) << base + d->Name;
}

}  // namespace
