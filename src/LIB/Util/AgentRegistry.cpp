#include "LIB/Util/AgentRegistry.h"

#include "LIB/Util/OSVersion.h"
#include "LIB/Util/PellionUtil.h"
#include "Util/SystemDll.h"

namespace {
typedef LONG(WINAPI* RegDeleteKeyExAFn)(HKEY, LPCSTR, REGSAM, DWORD);
}

int RemoveAgentRegistryKey() {
    COSVersion os;
    const REGSAM access = KEY_ALL_ACCESS | InstallKeyView(os);

    // RegDeleteKeyExA is missing before Vista; without it nothing is deleted,
    // since a plain RegDeleteKeyA would act on the wrong view.
    HMODULE advapi = LoadSystemDll("Advapi32.dll");
    if (!advapi) return 0;
    LONG status;
    RegDeleteKeyExAFn deleteKey = reinterpret_cast<RegDeleteKeyExAFn>(GetProcAddress(advapi, "RegDeleteKeyExA"));
    if (!deleteKey)
        status = static_cast<LONG>(GetLastError());
    else
        status = deleteKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane", access, 0);
    FreeLibrary(advapi);
    return status == ERROR_SUCCESS ? 1 : 0;
}
