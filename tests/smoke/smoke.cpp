#include <windows.h>
#include <gtest/gtest.h>
TEST(Smoke, CodePage) { EXPECT_EQ(932u, GetACP()); EXPECT_STREQ("\x83\x5c", "ソ"); }
