// probe kdx <lookup> [args]: one product-environment lookup from the program's own folder, printed as "<code>|<text>";
// installdir adds "|" and VELMOR_INSTDIR, a load adds "|planted" when it took the test DLL planted under a system name.
#include <windows.h>
#include <stdio.h>
#include <string>
#include "INC/SystemDll.h"
#include "Util/KDXGlobal.h"

int KdxMain(int argc, char** argv) {
    const std::string command = argc >= 2 ? argv[1] : "";
    char buffer[1024] = {0};
    DWORD code = 0;
    if (command == "installdir") {
        code = CKdmSysInfo::GetInstallDir(buffer, sizeof(buffer));
        const int used = lstrlenA(lstrcatA(buffer, "|"));  // then the variable, which the lookup sets as well
        GetEnvironmentVariableA("VELMOR_INSTDIR", buffer + used, sizeof(buffer) - used);
    } else if (command == "regstr" && argc == 4) {
        CKdmRegStrR value(argv[2], argv[3]);
        code = GetLastError();
        lstrcpynA(buffer, value.m_value, sizeof(buffer));
    } else if (argc == 3 && command.compare(0, 4, "load") == 0) {
        HMODULE module = command == "loadsys"       ? LoadSystemDll(argv[2])
                         : command == "loadsyspath" ? LoadSystemDllByPath(argv[2])
                                                    : LoadLibraryA(argv[2]);
        code = module ? 0 : GetLastError();
        if (module) GetModuleFileNameA(module, buffer, sizeof(buffer));
        if (module && GetProcAddress(module, "RVUGetProductInfo")) lstrcatA(buffer, "|planted");
    } else {
        return 2;
    }
    printf("%lu|%s", code, buffer);
    return 0;
}
