// probe kdx <lookup> [args]: runs one product-environment lookup from its own folder
// and prints "<code>|<text>" so a test can place it where the folder matters.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "Util/KDXGlobal.h"
#include "INC/SystemDll.h"

int KdxMain(int argc, char** argv) {
    if (argc < 2) return 2;
    const char* command = argv[1];
    char buffer[1024] = {0};
    DWORD code = 0;
    if (!strcmp(command, "installdir")) {
        code = CKdmSysInfo::GetInstallDir(buffer, sizeof(buffer));
        char env[1024] = {0};
        GetEnvironmentVariableA("VELMOR_INSTDIR", env, sizeof(env));
        printf("%lu|%s|%s", code, buffer, env);
        return 0;
    }
    if (!strcmp(command, "regstr") && argc == 4) {
        CKdmRegStrR value(argv[2], argv[3]);
        code = GetLastError();
        lstrcpynA(buffer, value.m_value, sizeof(buffer));
    } else if (!strcmp(command, "folder") && argc == 4) {
        code = CKdmSysInfo::GetFolder(atoi(argv[2]), buffer, sizeof(buffer), atoi(argv[3]));
    } else if (!strcmp(command, "rvupath")) {
        code = CKdmSysInfo::GetRvuDllPath(buffer, sizeof(buffer));
    } else if (argc == 3 && !strncmp(command, "load", 4)) {  // loadsys, loadsyspath, loadplain
        HMODULE module = !strcmp(command, "loadsys")       ? LoadSystemDll(argv[2])
                         : !strcmp(command, "loadsyspath") ? LoadSystemDllByPath(argv[2])
                                                           : LoadLibraryA(argv[2]);
        code = module ? 0 : GetLastError();
        if (module) {
            GetModuleFileNameA(module, buffer, sizeof(buffer));
            // The test DLL that is planted beside the program under system names.
            if (GetProcAddress(module, "RVUGetProductInfo")) lstrcatA(buffer, "|planted");
        }
    } else {
        return 2;
    }
    printf("%lu|%s", code, buffer);
    return 0;
}
