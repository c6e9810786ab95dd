// The Windows classification row by row, its range tests, and the real
// queries of the bench the test runs on.
#include <gtest/gtest.h>
#include "LIB/Util/OSVersion.h"
#include "TestUtil.h"

namespace {

OSVersionFacts Nine(DWORD minor, wchar_t csd1 = 0) {
    OSVersionFacts f;
    f.queryOk = true;
    f.platformId = VER_PLATFORM_WIN32_WINDOWS;
    f.major = 4;
    f.minor = minor;
    f.csdChar1 = csd1;
    return f;
}

OSVersionFacts NT(DWORD major, DWORD minor, BYTE type = VER_NT_WORKSTATION) {
    OSVersionFacts f;
    f.queryOk = true;
    f.platformId = VER_PLATFORM_WIN32_NT;
    f.major = major;
    f.minor = minor;
    f.exOk = true;
    f.productType = type;
    return f;
}

OSVersionFacts NoEx(OSVersionFacts f) {
    f.exOk = false;
    f.productType = 0;
    return f;
}

OSVersionFacts Product(DWORD minor, DWORD product) {
    OSVersionFacts f = NT(6, minor);
    f.productInfoOk = true;
    f.product = product;
    return f;
}

}  // namespace

TEST(OSClassification, Undetermined) {
    OSVersionFacts failed;
    EXPECT_EQ(-1, ClassifyOS(failed));
    OSVersionFacts ce = NT(5, 0);
    ce.platformId = 3;
    EXPECT_EQ(-1, ClassifyOS(ce));
    OSVersionFacts nine = Nine(0);
    nine.major = 5;
    EXPECT_EQ(-1, ClassifyOS(nine));
    nine.major = 3;
    EXPECT_EQ(-1, ClassifyOS(nine));
}

TEST(OSClassification, Win32sAndWindows9x) {
    OSVersionFacts s = Nine(0);
    s.platformId = VER_PLATFORM_WIN32s;
    EXPECT_EQ(0, ClassifyOS(s));
    EXPECT_EQ(1, ClassifyOS(Nine(0)));
    EXPECT_EQ(1, ClassifyOS(Nine(0, L'A')));
    EXPECT_EQ(1, ClassifyOS(Nine(3)));
    EXPECT_EQ(2, ClassifyOS(Nine(0, L'B')));
    EXPECT_EQ(2, ClassifyOS(Nine(0, L'C')));
    EXPECT_EQ(3, ClassifyOS(Nine(10)));
    EXPECT_EQ(3, ClassifyOS(Nine(10, L'B')));
    EXPECT_EQ(4, ClassifyOS(Nine(10, L'A')));
    EXPECT_EQ(5, ClassifyOS(Nine(90)));
}

TEST(OSClassification, NT3To2000ByProductType) {
    const DWORD versions[][3] = {{3, 51, 6}, {4, 0, 9}, {5, 0, 12}};
    for (const auto& v : versions) {
        const int base = static_cast<int>(v[2]);
        EXPECT_EQ(base, ClassifyOS(NT(v[0], v[1], VER_NT_WORKSTATION))) << v[0];
        EXPECT_EQ(base + 1, ClassifyOS(NT(v[0], v[1], VER_NT_SERVER))) << v[0];
        EXPECT_EQ(base + 2, ClassifyOS(NT(v[0], v[1], VER_NT_DOMAIN_CONTROLLER))) << v[0];
        EXPECT_EQ(base, ClassifyOS(NoEx(NT(v[0], v[1])))) << v[0];
    }
}

TEST(OSClassification, XPAndServer2003) {
    OSVersionFacts home = NT(5, 1);
    home.suiteMask = VER_SUITE_PERSONAL;
    EXPECT_EQ(15, ClassifyOS(home));
    home.tabletPC = true;
    EXPECT_EQ(15, ClassifyOS(home));
    EXPECT_EQ(15, ClassifyOS(NoEx(NT(5, 1))));
    EXPECT_EQ(16, ClassifyOS(NT(5, 1)));
    OSVersionFacts tablet = NT(5, 1);
    tablet.tabletPC = true;
    EXPECT_EQ(17, ClassifyOS(tablet));
    EXPECT_EQ(16, ClassifyOS(NT(5, 2, VER_NT_WORKSTATION)));
    EXPECT_EQ(18, ClassifyOS(NT(5, 2, VER_NT_SERVER)));
    EXPECT_EQ(18, ClassifyOS(NoEx(NT(5, 2))));
    EXPECT_EQ(19, ClassifyOS(NT(5, 2, VER_NT_DOMAIN_CONTROLLER)));
    EXPECT_EQ(47, ClassifyOS(NT(5, 3)));
}

TEST(OSClassification, VistaEditions) {
    const DWORD rows[][2] = {{6, 20}, {16, 20}, {4, 21}, {3, 22}, {2, 23}, {5, 23}, {1, 24}, {48, 47}, {0, 47}};
    for (const auto& r : rows) EXPECT_EQ(static_cast<int>(r[1]), ClassifyOS(Product(0, r[0]))) << r[0];
    EXPECT_EQ(47, ClassifyOS(NT(6, 0)));  // no GetProductInfo
}

TEST(OSClassification, Windows7Editions) {
    const DWORD rows[][2] = {{11, 27}, {47, 27}, {2, 28}, {5, 28}, {3, 29}, {26, 29}, {48, 30}, {49, 30},
                             {4, 31}, {27, 31}, {1, 32}, {28, 32}, {999, 30}, {0, 30}};
    for (const auto& r : rows) EXPECT_EQ(static_cast<int>(r[1]), ClassifyOS(Product(1, r[0]))) << r[0];
    EXPECT_EQ(30, ClassifyOS(NT(6, 1)));  // no GetProductInfo
}

TEST(OSClassification, Windows8Editions) {
    const DWORD rows[][2] = {{98, 33}, {100, 33}, {101, 33}, {48, 34}, {49, 34}, {103, 34},
                             {4, 35},  {27, 35},  {72, 35},  {84, 35}, {1, 47},  {0, 47}};
    for (const auto& r : rows) EXPECT_EQ(static_cast<int>(r[1]), ClassifyOS(Product(2, r[0]))) << r[0];
    EXPECT_EQ(47, ClassifyOS(NT(6, 2)));
}

TEST(OSClassification, Servers2008And2012) {
    for (DWORD minor : {0u, 1u}) {
        EXPECT_EQ(25, ClassifyOS(NT(6, minor, VER_NT_SERVER)));
        EXPECT_EQ(26, ClassifyOS(NT(6, minor, VER_NT_DOMAIN_CONTROLLER)));
    }
    EXPECT_EQ(36, ClassifyOS(NT(6, 2, VER_NT_SERVER)));
    EXPECT_EQ(37, ClassifyOS(NT(6, 2, VER_NT_DOMAIN_CONTROLLER)));
}

TEST(OSClassification, OtherNTSystems) {
    EXPECT_EQ(47, ClassifyOS(Product(3, 48)));  // 8.1
    EXPECT_EQ(47, ClassifyOS(NT(10, 0)));
    EXPECT_EQ(47, ClassifyOS(NT(10, 0, VER_NT_SERVER)));
    for (DWORD minor : {0u, 1u, 2u}) EXPECT_EQ(47, ClassifyOS(NoEx(Product(minor, 1)))) << minor;
}

TEST(OSClassification, RangeTests) {
    struct Row { OSVersionFacts facts; int kind; bool classified, namespaces, vista, eight; };
    const Row rows[] = {
        {OSVersionFacts(), -1, false, false, false, false},
        {Nine(90), 5, true, false, false, false},
        {NT(4, 0, VER_NT_DOMAIN_CONTROLLER), 11, true, false, false, false},
        {NT(5, 0), 12, true, true, false, false},
        {NT(5, 2, VER_NT_DOMAIN_CONTROLLER), 19, true, true, false, false},
        {Product(0, 6), 20, true, true, true, false},
        {Product(1, 1), 32, true, true, true, false},
        {Product(2, 98), 33, true, true, true, true},
        {NT(6, 2, VER_NT_DOMAIN_CONTROLLER), 37, true, true, true, true},
        {NT(10, 0), 47, true, true, true, true},
    };
    for (const Row& r : rows) {
        COSVersion os(r.facts, FALSE);
        EXPECT_EQ(r.kind, os.GetKind());
        EXPECT_EQ(r.classified, os.IsClassified()) << r.kind;
        EXPECT_EQ(r.namespaces, os.HasObjectNamespaces()) << r.kind;
        EXPECT_EQ(r.vista, os.IsVistaOrLater()) << r.kind;
        EXPECT_EQ(r.eight, os.IsWindows8OrLater()) << r.kind;
    }
}

TEST(OSVersionReal, FactsOfThisBench) {
    COSVersion os;
    EXPECT_EQ(0u, os.GetLastErrorCode());
    EXPECT_TRUE(os.IsClassified());
    EXPECT_TRUE(os.HasObjectNamespaces());
    const bool win64 = testutil::BenchKind() == "win64";
    EXPECT_EQ(win64, os.Is64BitOS() != FALSE);
    EXPECT_EQ(testutil::IsWow64Process(), os.Is64BitOS() != FALSE);

    OSVERSIONINFOW v = {sizeof(v)};
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    ASSERT_TRUE(GetVersionExW(&v));
    if (v.dwMajorVersion == 6 && v.dwMinorVersion == 1) {  // Wine's default, Windows 7
        EXPECT_GE(os.GetKind(), 27);
        EXPECT_LE(os.GetKind(), 32);
        EXPECT_TRUE(os.IsVistaOrLater());
        EXPECT_FALSE(os.IsWindows8OrLater());
    } else if (v.dwMajorVersion >= 10) {
        EXPECT_EQ(47, os.GetKind());
        EXPECT_TRUE(os.IsWindows8OrLater());
    }
}
