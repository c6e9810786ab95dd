#include "INC/OSVersion.h"

#include "INC/SystemDll.h"

namespace {

// Workstation, server and domain controller kinds come in threes; a failed
// extended query gives no product type and counts as a workstation.
int ByProductType(int workstationKind, BYTE productType) {
    if (productType == VER_NT_DOMAIN_CONTROLLER) return workstationKind + 2;
    if (productType == VER_NT_SERVER) return workstationKind + 1;
    return workstationKind;
}

int ClassifyWindows9x(const OSVersionFacts& f) {
    if (f.major != 4) return OSKIND_UNKNOWN;
    switch (f.minor) {
    case 10: return f.csdChar1 == L'A' ? 4 : 3;
    case 90: return 5;
    default: return (f.minor == 0 && (f.csdChar1 == L'B' || f.csdChar1 == L'C')) ? 2 : 1;
    }
}

int ClassifyVista(DWORD product) {
    switch (product) {
    case 6: case 16: return 20;  // Business
    case 4: return 21;           // Enterprise
    case 3: return 22;           // Home Premium
    case 2: case 5: return 23;   // Home Basic
    case 1: return 24;           // Ultimate
    default: return OSKIND_NT_OTHER;
    }
}

int ClassifyWindows7(DWORD product) {
    switch (product) {
    case 11: case 47: return 27;  // Starter
    case 2: case 5: return 28;    // Home Basic
    case 3: case 26: return 29;   // Home Premium
    case 4: case 27: return 31;   // Enterprise
    case 1: case 28: return 32;   // Ultimate
    default: return 30;           // Professional, and every other product
    }
}

int ClassifyWindows8(DWORD product) {
    switch (product) {
    case 98: case 100: case 101: return 33;        // Windows 8
    case 48: case 49: case 103: return 34;         // Pro
    case 4: case 27: case 72: case 84: return 35;  // Enterprise
    default: return OSKIND_NT_OTHER;
    }
}

int ClassifyVersion6(const OSVersionFacts& f) {
    if (!f.exOk) return OSKIND_NT_OTHER;
    const bool workstation = f.productType == VER_NT_WORKSTATION;
    const bool dc = f.productType == VER_NT_DOMAIN_CONTROLLER;
    switch (f.minor) {
    case 0:
        if (!workstation) return dc ? 26 : 25;
        return f.productInfoOk ? ClassifyVista(f.product) : OSKIND_NT_OTHER;
    case 1:
        if (!workstation) return dc ? 26 : 25;
        return f.productInfoOk ? ClassifyWindows7(f.product) : 30;
    case 2:
        if (!workstation) return dc ? 37 : 36;
        return f.productInfoOk ? ClassifyWindows8(f.product) : OSKIND_NT_OTHER;
    default:
        return OSKIND_NT_OTHER;
    }
}

int ClassifyNT(const OSVersionFacts& f) {
    switch (f.major) {
    case 3: return ByProductType(6, f.productType);
    case 4: return ByProductType(9, f.productType);
    case 5:
        switch (f.minor) {
        case 0: return ByProductType(12, f.productType);
        case 1:
            if (!f.exOk || (f.suiteMask & VER_SUITE_PERSONAL)) return 15;
            return f.tabletPC ? 17 : 16;
        case 2:
            if (!f.exOk) return 18;
            if (f.productType == VER_NT_WORKSTATION) return 16;  // XP Professional x64
            return f.productType == VER_NT_DOMAIN_CONTROLLER ? 19 : 18;
        default: return OSKIND_NT_OTHER;
        }
    case 6: return ClassifyVersion6(f);
    default: return OSKIND_NT_OTHER;
    }
}

typedef BOOL(WINAPI* GetProductInfoFn)(DWORD, DWORD, DWORD, DWORD, PDWORD);
typedef void(WINAPI* GetNativeSystemInfoFn)(LPSYSTEM_INFO);

}  // namespace

int ClassifyOS(const OSVersionFacts& f) {
    if (!f.queryOk) return OSKIND_UNKNOWN;
    switch (f.platformId) {
    case VER_PLATFORM_WIN32s: return 0;
    case VER_PLATFORM_WIN32_WINDOWS: return ClassifyWindows9x(f);
    case VER_PLATFORM_WIN32_NT: return ClassifyNT(f);
    default: return OSKIND_UNKNOWN;
    }
}

COSVersion::COSVersion() : m_kind(OSKIND_UNKNOWN), m_lastError(0), m_is64Bit(FALSE) {
    OSVERSIONINFOW basic = {};
    basic.dwOSVersionInfoSize = sizeof(basic);
    OSVersionFacts f;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExW(&basic)) {
        m_lastError = GetLastError();
        return;
    }
    f.queryOk = true;
    f.platformId = basic.dwPlatformId;
    f.major = basic.dwMajorVersion;
    f.minor = basic.dwMinorVersion;
    f.csdChar1 = basic.szCSDVersion[0] ? basic.szCSDVersion[1] : 0;

    OSVERSIONINFOEXW ex = {};
    ex.dwOSVersionInfoSize = sizeof(ex);
    if (GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&ex))) {
        f.exOk = true;
        f.productType = ex.wProductType;
        f.suiteMask = ex.wSuiteMask;
    }
#pragma GCC diagnostic pop
    // kernel32 is always loaded: its handle is taken without a reference.
    CRuntimeDll kernel32;
    kernel32.UseLoaded("kernel32.dll");
    if (f.platformId == VER_PLATFORM_WIN32_NT && f.major == 6) {
        if (auto getProductInfo = kernel32.Get<GetProductInfoFn>("GetProductInfo")) {
            DWORD product = 0;
            getProductInfo(f.major, f.minor, ex.wServicePackMajor, ex.wServicePackMinor, &product);
            f.productInfoOk = true;
            f.product = product;
        }
    }
    if (f.platformId == VER_PLATFORM_WIN32_NT && f.major == 5 && f.minor == 1)
        f.tabletPC = GetSystemMetrics(SM_TABLETPC) != 0;
    m_kind = ClassifyOS(f);

    if (f.platformId == VER_PLATFORM_WIN32_NT) {
        if (auto getNative = kernel32.Get<GetNativeSystemInfoFn>("GetNativeSystemInfo")) {
            SYSTEM_INFO si = {};
            getNative(&si);
            m_is64Bit = si.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
        }
    }
}

COSVersion::COSVersion(const OSVersionFacts& facts, BOOL is64Bit)
    : m_kind(ClassifyOS(facts)), m_lastError(0), m_is64Bit(is64Bit) {}

COSVersion::~COSVersion() {}
