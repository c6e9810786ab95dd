#include "LIB/Util/AgentRegistry.h"

#include "INC/OSVersion.h"
#include "LIB/Util/PellionUtil.h"
#include "INC/SystemDll.h"

namespace {
typedef LONG(WINAPI* RegDeleteKeyExAFn)(HKEY, LPCSTR, REGSAM, DWORD);
}

int RemoveAgentRegistryKey() {
    COSVersion os;
    const REGSAM access = KEY_ALL_ACCESS | InstallKeyView(os);

    // RegDeleteKeyExA is missing before Vista; without it nothing is deleted,
    // since a plain RegDeleteKeyA would act on the wrong view.
    CRuntimeDll advapi("Advapi32.dll");
    if (!advapi.get()) return 0;
    RegDeleteKeyExAFn deleteKey = advapi.Get<RegDeleteKeyExAFn>("RegDeleteKeyExA");
    LONG status = deleteKey ? deleteKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane", access, 0)
                            : static_cast<LONG>(GetLastError());
    return status == ERROR_SUCCESS ? 1 : 0;
}
